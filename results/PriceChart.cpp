#include "results/PriceChart.h"

#include <algorithm>
#include <cmath>

namespace yfx {

namespace {

constexpr std::int64_t kGap = -1;

// The smallest round amount (1, 2, 2.5 or 5 times a power of ten) not below `raw`.
std::int64_t RoundStep(std::int64_t raw)
{
    for (std::int64_t power = 1;; power *= 10) {
        for (std::int64_t tenths : {10, 20, 25, 50}) {
            const std::int64_t step = power * tenths / 10;
            if (step >= std::max<std::int64_t>(1, raw) && step > 0)
                return step;
        }
    }
}

} // namespace

ChartSeries BuildChartSeries(const std::vector<store::PricePoint>& points, std::int64_t now)
{
    ChartSeries s;
    if (points.empty())
        return s;
    s.empty = false;
    s.firstTime = points.front().time;
    s.lastTime = std::max(now, points.back().time);
    s.lowest = s.highest = points.front().Total();
    for (const store::PricePoint& p : points) {
        const std::int64_t total = p.Total();
        s.lowest = std::min(s.lowest, total);
        s.highest = std::max(s.highest, total);
        if (s.total.empty() || s.total.back().value != total)
            s.total.push_back({p.time, total});
        const std::int64_t after = p.finalPrice ? *p.finalPrice + p.postage : kGap;
        if (s.afterCoupon.empty() ? after != kGap : s.afterCoupon.back().value != after)
            s.afterCoupon.push_back({p.time, after});
    }
    s.current = points.back().Total();
    return s;
}

std::optional<std::int64_t> ValueAt(const std::vector<ChartStep>& steps, std::int64_t time)
{
    const auto after = std::upper_bound(steps.begin(), steps.end(), time,
                                        [](std::int64_t t, const ChartStep& step) { return t < step.time; });
    if (after == steps.begin())
        return std::nullopt;
    const std::int64_t value = std::prev(after)->value;
    if (value == kGap)
        return std::nullopt;
    return value;
}

ChartScale::ChartScale(const ChartSeries& series, int left, int top, int width, int height)
    : m_left(left), m_top(top), m_width(std::max(1, width)), m_height(std::max(1, height)),
      m_t0(series.firstTime), m_t1(std::max(series.lastTime, series.firstTime + 1))
{
    std::int64_t low = series.lowest;
    std::int64_t high = series.highest;
    for (const ChartStep& step : series.afterCoupon)
        if (step.value != kGap) {
            low = std::min(low, step.value);
            high = std::max(high, step.value);
        }
    const std::int64_t margin = std::max<std::int64_t>(100, (high - low) / 10);
    const std::int64_t v0 = std::max<std::int64_t>(0, low - margin);
    const std::int64_t v1 = high + margin;
    m_step = RoundStep((v1 - v0 + 4) / 5);
    m_v0 = v0 / m_step * m_step;
    m_v1 = (v1 + m_step - 1) / m_step * m_step;
}

double ChartScale::X(std::int64_t time) const
{
    return m_left + static_cast<double>(time - m_t0) * m_width / static_cast<double>(m_t1 - m_t0);
}

double ChartScale::Y(std::int64_t value) const
{
    return m_top + m_height - static_cast<double>(value - m_v0) * m_height / static_cast<double>(m_v1 - m_v0);
}

std::int64_t ChartScale::TimeAt(double x) const
{
    const double f = std::clamp((x - m_left) / m_width, 0.0, 1.0);
    return m_t0 + static_cast<std::int64_t>(std::llround(f * static_cast<double>(m_t1 - m_t0)));
}

std::vector<int> DayTicks(int firstDay, int lastDay, int maxTicks)
{
    std::vector<int> ticks;
    if (lastDay < firstDay || maxTicks <= 0)
        return ticks;
    static const int kSteps[] = {1, 2, 7, 14, 30, 60, 91, 182, 365};
    int step = kSteps[std::size(kSteps) - 1];
    for (int candidate : kSteps)
        if ((lastDay - firstDay) / candidate + 1 <= maxTicks) {
            step = candidate;
            break;
        }
    for (int day = firstDay; day <= lastDay && static_cast<int>(ticks.size()) < maxTicks; day += step)
        ticks.push_back(day);
    return ticks;
}

} // namespace yfx
