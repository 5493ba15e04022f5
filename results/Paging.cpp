#include "results/Paging.h"

#include <charconv>

namespace yfx {

std::string ListPageAddress(const std::string& first, int page)
{
    if (page <= 0)
        return first;
    return first + "&s=" + std::to_string(static_cast<std::size_t>(page) * kPageItems);
}

bool HasMorePages(const PageAnswer& page)
{
    if (page.itemsFull || page.pagesShown >= kMaxPages || page.received < kPageItems)
        return false;
    if (page.source != ResultSource::OpenPlatform || page.totalResults.empty())
        return true;
    unsigned long long total = 0;
    const char* end = page.totalResults.data() + page.totalResults.size();
    const auto [ptr, ec] = std::from_chars(page.totalResults.data(), end, total);
    if (ec == std::errc::result_out_of_range)
        return true; // more than anyone pages through
    if (ec != std::errc() || ptr != end)
        return true; // not a number: the full page decides
    return static_cast<unsigned long long>(page.pagesShown) * kPageItems < total;
}

bool NearEnd(int top, int viewportHeight, int contentHeight)
{
    const long long bottom = static_cast<long long>(top) + viewportHeight;
    return bottom + viewportHeight >= contentHeight;
}

} // namespace yfx
