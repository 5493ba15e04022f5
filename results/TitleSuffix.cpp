#include "results/TitleSuffix.h"

#include <string_view>

namespace yfx {

bool SwitchTitleSuffix(std::string& utf8Title, int order)
{
    static constexpr std::string_view kSales = "销量";
    static constexpr std::string_view kPrice = "价格";
    const std::string_view from = order == 1 ? kSales : kPrice;
    const std::string_view to = order == 1 ? kPrice : kSales;
    if (!utf8Title.ends_with(from))
        return false;
    utf8Title.replace(utf8Title.size() - from.size(), from.size(), to);
    return true;
}

} // namespace yfx
