#pragma once
// A small deterministic random source (SplitMix64). The catalogue is generated only from it, with
// integer arithmetic, so that one seed gives the same catalogue byte for byte on every run.
#include <cstdint>
#include <string_view>
#include <vector>

namespace yfx::server {

class Prng {
public:
    explicit Prng(std::uint64_t seed) : m_state(seed) {}

    std::uint64_t Next();

    // A value in [0, bound); 0 when bound is 0.
    std::uint64_t Below(std::uint64_t bound);

    // A value in [low, high] (inclusive); low when high < low.
    std::int64_t Between(std::int64_t low, std::int64_t high);

    // True with the probability percent / 100.
    bool Chance(int percent) { return static_cast<int>(Below(100)) < percent; }

    // One element of a non-empty list.
    template <typename T>
    const T& Pick(const std::vector<T>& list)
    {
        return list[static_cast<std::size_t>(Below(list.size()))];
    }

private:
    std::uint64_t m_state;
};

} // namespace yfx::server
