#pragma once
// The arithmetic of the price chart, without any window: the step series of an item's rows,
// the value range, the mapping of times and amounts to pixels, the date ticks and the value
// under a point. Amounts are cents, times seconds since the epoch.
#include "store/StoreTypes.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace yfx {

// A step: from `time` on the value is `value`, until the next step.
struct ChartStep {
    std::int64_t time = 0;
    std::int64_t value = 0;
    bool operator==(const ChartStep&) const = default;
};

struct ChartSeries {
    std::vector<ChartStep> total;       // price plus postage, one step per change
    std::vector<ChartStep> afterCoupon; // price after coupon plus postage, where the rows give it
    std::int64_t firstTime = 0;
    std::int64_t lastTime = 0; // the end of the chart: now, or the last row when it is later
    std::int64_t lowest = 0;   // of `total`
    std::int64_t highest = 0;
    std::int64_t current = 0; // the last row's total
    bool empty = true;
};

// The series of rows in time order; the chart runs until `now`. Rows of a repeated value add
// no step. A row without a price after coupon ends that series' step there (a gap).
ChartSeries BuildChartSeries(const std::vector<store::PricePoint>& points, std::int64_t now);

// The value of a step series at `time`: the last step at or before it; none before the first
// step or inside a gap (a step of value -1).
std::optional<std::int64_t> ValueAt(const std::vector<ChartStep>& steps, std::int64_t time);

// Maps the series onto a plot area of whole pixels. Amounts get a margin of a tenth of their
// range (at least one yuan) above and below, then the range widens to whole steps of a round
// amount (1, 2, 2.5 or 5 times a power of ten cents) that give at most five intervals; a flat
// series sits in the middle.
class ChartScale {
public:
    ChartScale(const ChartSeries& series, int left, int top, int width, int height);
    double X(std::int64_t time) const;
    double Y(std::int64_t value) const;
    // The time at pixel column x (clamped to the chart's span).
    std::int64_t TimeAt(double x) const;
    std::int64_t LowValue() const { return m_v0; }
    std::int64_t HighValue() const { return m_v1; }
    // The round amount between two value lines.
    std::int64_t Step() const { return m_step; }

private:
    int m_left, m_top, m_width, m_height;
    std::int64_t m_t0, m_t1, m_v0, m_v1, m_step;
};

// Day numbers to label between firstDay and lastDay inclusive, at most maxTicks of them, a
// whole number of days apart (1, 2, 7, 14, 30, 60, 91, 182 or 365), starting at firstDay.
std::vector<int> DayTicks(int firstDay, int lastDay, int maxTicks);

} // namespace yfx
