#include "results/PriceMarker.h"

#include <cstdio>

namespace yfx {

PriceMarker ChooseMarker(const store::PriceSummary& s)
{
    if (s.rows <= 0)
        return {};
    if (s.days >= 2 && s.currentTotal <= s.lowest && s.highest > s.currentTotal)
        return {MarkerKind::Lowest, 0};
    if (!s.lastDifferent)
        return {};
    if (s.currentTotal < *s.lastDifferent)
        return {MarkerKind::Lower, *s.lastDifferent - s.currentTotal};
    return {MarkerKind::Higher, s.currentTotal - *s.lastDifferent};
}

std::string YuanText(std::int64_t cents)
{
    const bool negative = cents < 0;
    const unsigned long long magnitude =
        negative ? 0ULL - static_cast<unsigned long long>(cents) : static_cast<unsigned long long>(cents);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%s\xC2\xA5%llu.%02llu", negative ? "-" : "", magnitude / 100, magnitude % 100);
    return buf;
}

std::vector<std::string> MarkerTexts(const PriceMarker& marker)
{
    switch (marker.kind) {
    case MarkerKind::Lower:
        return {"降" + YuanText(marker.difference), "降"};
    case MarkerKind::Higher:
        return {"涨" + YuanText(marker.difference), "涨"};
    case MarkerKind::Lowest:
        return {"历史最低", "最低"};
    case MarkerKind::None:
        break;
    }
    return {};
}

std::string MarkerToolTip(const store::PriceSummary& s, const std::string& lowestDate)
{
    if (s.rows <= 0)
        return {};
    return "最低 " + YuanText(s.lowest) + "（" + lowestDate + "）· 最高 " + YuanText(s.highest) + " · 记录 " +
           std::to_string(s.days) + " 天";
}

MarkerFit FitMarker(int priceTextRight, int roomRight, int gap, const std::vector<int>& widths)
{
    const int x = priceTextRight + gap;
    for (std::size_t i = 0; i < widths.size(); ++i)
        if (widths[i] > 0 && x + widths[i] <= roomRight)
            return {static_cast<int>(i), x, widths[i]};
    return {};
}

} // namespace yfx
