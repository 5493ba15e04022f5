#pragma once
// What a price-drop notice says, without Qt: its title, its body for one item or for several,
// and which file of the picture folder holds an item's picture. Texts are UTF-8.
#include "store/WatchTypes.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace yfx {

// "降价提醒": the title of every notice.
std::string AlertTitle();

// One item: "<title> ¥old → ¥new", followed by "（目标 ¥t）" when the item has a target. An
// empty title reads "关注的商品".
std::string AlertBody(const store::PriceAlert& alert);

// Several items in one check: "3 件关注的商品降价了".
std::string AlertsSummaryBody(std::size_t count);

// The notice for what one check found: one item's body, or the summary for several; "" for
// none.
std::string AlertsBody(const std::vector<store::PriceAlert>& alerts);


// The file name under which the picture folder keeps the picture of `pictureAddress` (the
// tile's thumbnail of it), "" when the address gives no usable name.
std::string PictureFileName(const std::string& pictureAddress);
// The same for the larger thumbnail that tiles on an enlarged desktop keep instead.
std::string LargerPictureFileName(const std::string& pictureAddress);

} // namespace yfx
