#pragma once
// The order word at the end of a results window title ("... - 销量" / "... - 价格").
#include <string>

namespace yfx {

// Switches the title (UTF-8) to the word of `order`: for order 1 (price) a title ending with
// "销量" comes to end with "价格"; for any other order a title ending with "价格" comes to
// end with "销量". Returns whether the title changed; a title ending with neither word, or
// already with the right one, is left alone.
bool SwitchTitleSuffix(std::string& utf8Title, int order);

} // namespace yfx
