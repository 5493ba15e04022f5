#include "tools/market-server/Prng.h"

namespace yfx::server {

std::uint64_t Prng::Next()
{
    std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

std::uint64_t Prng::Below(std::uint64_t bound)
{
    if (bound == 0)
        return 0;
    // Rejection keeps the draw unbiased; the loop ends almost always at once.
    const std::uint64_t limit = UINT64_MAX - UINT64_MAX % bound;
    std::uint64_t v;
    do {
        v = Next();
    } while (v >= limit);
    return v % bound;
}

std::int64_t Prng::Between(std::int64_t low, std::int64_t high)
{
    if (high < low)
        return low;
    return low + static_cast<std::int64_t>(Below(static_cast<std::uint64_t>(high - low) + 1));
}

} // namespace yfx::server
