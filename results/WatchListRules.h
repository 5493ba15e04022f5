#pragma once
// The rules of the watch list, without any window: the orders of the "我的关注" page's rows,
// the drop since an item was added, the price line of a row, the points of its 30-day line
// and the reading of a typed target price. Texts
// are UTF-8, amounts whole cents of the watched price.
#include "store/WatchTypes.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace yfx {

enum class WatchOrder {
    Drop,  // the largest drop since added first; items that went up last, gone ones after
    Price, // the cheapest first; items without a current price last
    Title, // by title, in the order `titleLess` gives
};

// What the item has become cheaper since it was added (negative: dearer); 0 without a
// current price or for an item the platform no longer knows.
std::int64_t DropSinceAdded(const store::WatchedItem& item);

// Sorts `items` in `order`, stably; ties keep the order of addition (earlier first).
void SortWatched(std::vector<store::WatchedItem>& items, WatchOrder order,
                 const std::function<bool(const std::string&, const std::string&)>& titleLess);

// The row's price line: "¥12.50 · 最低 ¥10.00 · 目标 ¥9.00", leaving out what is unknown;
// "已下架" before it for an item the platform no longer knows; "尚未检查" alone for an item with
// no price yet.
std::string WatchPriceLine(const store::WatchedItem& item);

// The line of the last 30 days (today included) in a box of `width` × `height` pixels: one
// point per day with a price, x by day, y by price (the lowest at the bottom, a flat line in
// the middle). Fewer than two days: no line.
std::vector<std::pair<int, int>> SparkLine(const std::vector<store::DayPrice>& days, int today, int width, int height);

// What the user typed as a target price: nothing typed is "no target" (a valid answer), a
// positive amount in yuan is its cents, anything else is not an answer.
struct TargetEntry {
    bool valid = false;
    std::optional<std::int64_t> cents;
};
TargetEntry ReadTargetText(std::string_view text);

} // namespace yfx
