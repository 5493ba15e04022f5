// libFuzzer: any text read as the item details of a watch check, or as a rate limit's message,
// must end in an orderly way: a bounded number of prices that are never negative, and a ban
// that is never longer than the longest one taken.
#include "watch/BackOff.h"
#include "watch/ItemPrices.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<yfx::watch::ItemPrice> prices = yfx::watch::ReadItemPrices(text);
    if (prices.size() > yfx::watch::kMaxItemPrices)
        __builtin_trap();
    for (const yfx::watch::ItemPrice& p : prices)
        for (const std::optional<std::int64_t>& amount : {p.price, p.finalPrice, p.coupon, p.sales})
            if (amount && *amount < 0)
                __builtin_trap();
    if (const auto ban = yfx::watch::AnnouncedBan(text); ban && (ban->count() < 0 || *ban > yfx::watch::kLongestAnnouncedBan))
        __builtin_trap();
    return 0;
}
