#pragma once
// What a tile says about its item's remembered prices, without any window: which marker it
// shows beside its price, the marker's texts, the line its tooltip gains, and where the marker
// fits. Texts are UTF-8; amounts are whole cents of price plus postage.
#include "store/StoreTypes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace yfx {

enum class MarkerKind {
    None,   // first seen, or nothing to say
    Lower,  // lower than the last different price: "降¥x.xx"
    Higher, // higher than the last different price: "涨¥x.xx"
    Lowest, // the lowest the store has seen over at least two local days: "历史最低"
};

struct PriceMarker {
    MarkerKind kind = MarkerKind::None;
    std::int64_t difference = 0; // cents, positive; Lower and Higher only
    bool operator==(const PriceMarker&) const = default;
};

// The marker for the total a tile shows now (summary.currentTotal). No rows: none. The lowest
// total of every row, reached now, over rows of at least two local days, and higher at some
// time: Lowest. Otherwise the latest total that differs from now decides Lower or Higher by
// the difference; none when every row had today's total.
PriceMarker ChooseMarker(const store::PriceSummary& summary);

// "¥12.50" (a minus sign before the sign for negative amounts).
std::string YuanText(std::int64_t cents);

// The marker's texts, longest first, each a shorter form for less room: Lower
// {"降¥12.50", "降"}, Higher {"涨¥3.00", "涨"}, Lowest {"历史最低", "最低"}; none for None.
std::vector<std::string> MarkerTexts(const PriceMarker& marker);

// The tooltip's line for an item with rows: "最低 ¥a（DATE）· 最高 ¥b · 记录 n 天", DATE being
// `lowestDate`, the day of the lowest total in the reader's date format. Empty without rows.
std::string MarkerToolTip(const store::PriceSummary& summary, const std::string& lowestDate);

// Where the marker sits in the price row: `gap` pixels after the price's text, which ends at
// `priceTextRight`, and left of `roomRight` (the first pixel it may not use). `widths` are the
// widths of MarkerTexts in the same order. The first text that fits; text -1 when none does.
struct MarkerFit {
    int text = -1;
    int x = 0;
    int width = 0;
    bool operator==(const MarkerFit&) const = default;
};
MarkerFit FitMarker(int priceTextRight, int roomRight, int gap, const std::vector<int>& widths);

} // namespace yfx
