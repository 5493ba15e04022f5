#include "results/WatchListRules.h"

#include "results/PriceMarker.h"
#include "store/Sighting.h"

#include <algorithm>

namespace yfx {

std::int64_t DropSinceAdded(const store::WatchedItem& item)
{
    if (item.gone || !item.current)
        return 0;
    return item.addedPrice - *item.current;
}

void SortWatched(std::vector<store::WatchedItem>& items, WatchOrder order,
                 const std::function<bool(const std::string&, const std::string&)>& titleLess)
{
    const auto byAdded = [](const store::WatchedItem& a, const store::WatchedItem& b) { return a.addedTime < b.addedTime; };
    std::stable_sort(items.begin(), items.end(), byAdded);
    switch (order) {
    case WatchOrder::Drop:
        std::stable_sort(items.begin(), items.end(), [](const store::WatchedItem& a, const store::WatchedItem& b) {
            if (a.gone != b.gone)
                return b.gone;
            return DropSinceAdded(a) > DropSinceAdded(b);
        });
        break;
    case WatchOrder::Price:
        std::stable_sort(items.begin(), items.end(), [](const store::WatchedItem& a, const store::WatchedItem& b) {
            const bool aKnown = a.current && !a.gone;
            const bool bKnown = b.current && !b.gone;
            if (aKnown != bKnown)
                return aKnown;
            return aKnown && *a.current < *b.current;
        });
        break;
    case WatchOrder::Title:
        std::stable_sort(items.begin(), items.end(), [&titleLess](const store::WatchedItem& a, const store::WatchedItem& b) {
            return titleLess(a.title, b.title);
        });
        break;
    }
}

std::string WatchPriceLine(const store::WatchedItem& item)
{
    std::string line;
    const auto add = [&line](const std::string& part) {
        if (!line.empty())
            line += " · ";
        line += part;
    };
    if (item.gone)
        add("已下架");
    if (item.current)
        add(YuanText(*item.current));
    else if (!item.gone)
        add("尚未检查");
    if (item.lowest && item.current && *item.lowest < *item.current)
        add("最低 " + YuanText(*item.lowest));
    if (item.target)
        add("目标 " + YuanText(*item.target));
    return line;
}

std::vector<std::pair<int, int>> SparkLine(const std::vector<store::DayPrice>& days, int today, int width, int height)
{
    constexpr int kDays = 30;
    std::vector<store::DayPrice> shown;
    for (const store::DayPrice& d : days)
        if (d.day > today - kDays && d.day <= today)
            shown.push_back(d);
    if (shown.size() < 2 || width < 2 || height < 1)
        return {};
    const auto [low, high] = std::minmax_element(shown.begin(), shown.end(),
                                                 [](const store::DayPrice& a, const store::DayPrice& b) { return a.price < b.price; });
    const std::int64_t span = high->price - low->price;
    std::vector<std::pair<int, int>> points;
    points.reserve(shown.size());
    for (const store::DayPrice& d : shown) {
        const int x = static_cast<int>(static_cast<std::int64_t>(d.day - (today - kDays + 1)) * (width - 1) / (kDays - 1));
        const int y = span == 0 ? height / 2
                                : static_cast<int>((high->price - d.price) * (height - 1) / span);
        points.emplace_back(x, y);
    }
    return points;
}

TargetEntry ReadTargetText(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    if (text.empty())
        return {true, std::nullopt};
    if (text.find_first_not_of("0123456789.,") != std::string_view::npos)
        return {};
    const std::optional<std::int64_t> cents = store::ParseCents(text);
    if (!cents || *cents <= 0)
        return {};
    return {true, cents};
}

} // namespace yfx
