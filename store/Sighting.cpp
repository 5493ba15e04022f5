#include "store/Sighting.h"

#include "market/Gbk.h"

#include <algorithm>

namespace yfx::store {

namespace {

constexpr std::int64_t kMaxYuan = 10'000'000'000'000; // 10^13

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

std::optional<std::int64_t> ParseCents(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    if (i < text.size() && text[i] == '+')
        ++i;
    if (i >= text.size() || !IsDigit(text[i]))
        return std::nullopt;
    std::int64_t yuan = 0;
    for (; i < text.size() && (IsDigit(text[i]) || text[i] == ','); ++i) {
        if (text[i] == ',')
            continue;
        yuan = yuan * 10 + (text[i] - '0');
        if (yuan >= kMaxYuan)
            return std::nullopt;
    }
    std::int64_t cents = 0;
    if (i < text.size() && text[i] == '.') {
        ++i;
        int digits[3] = {0, 0, 0};
        for (int d = 0; d < 3 && i < text.size() && IsDigit(text[i]); ++d, ++i)
            digits[d] = text[i] - '0';
        cents = digits[0] * 10 + digits[1] + (digits[2] >= 5 ? 1 : 0);
    }
    return yuan * 100 + cents;
}

std::optional<std::int64_t> ParseCount(std::string_view text)
{
    std::int64_t n = 0;
    bool any = false;
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    for (; i < text.size() && (IsDigit(text[i]) || text[i] == ','); ++i) {
        if (text[i] == ',')
            continue;
        any = true;
        if (n < kMaxYuan)
            n = n * 10 + (text[i] - '0');
    }
    return any ? std::optional<std::int64_t>(n) : std::nullopt;
}

ItemKey KeyOf(const CTBRecord& record)
{
    return {record.source, GbkToUtf8(record.itemId())};
}

std::optional<std::int64_t> ShownTotal(const CTBRecord& record)
{
    const std::optional<std::int64_t> price = ParseCents(record.currentPrice());
    if (!price)
        return std::nullopt;
    return *price + ParseCents(record.ship()).value_or(0);
}

std::optional<Sighting> SightingFromRecord(const CTBRecord& record)
{
    const std::optional<std::int64_t> price = ParseCents(record.currentPrice());
    if (record.itemId().empty() || !price)
        return std::nullopt;
    Sighting s;
    s.key = KeyOf(record);
    s.title = GbkToUtf8(record.tip());
    s.picture = GbkToUtf8(record.originalImage().empty() ? record.image() : record.originalImage());
    s.page = GbkToUtf8(record.href());
    s.shop = GbkToUtf8(record.nick());
    s.price = *price;
    s.postage = ParseCents(record.ship()).value_or(0);
    s.finalPrice = record.finalPrice.empty() ? std::nullopt : ParseCents(record.finalPrice);
    s.coupon = record.couponFee.empty() ? std::nullopt : ParseCents(record.couponFee);
    s.sales = ParseCount(record.tradeNum());
    return s;
}

std::string PictureFileOf(const std::string& picture, int edge)
{
    // an address of ASCII alone, as they come, is the same in either encoding
    const bool ascii = std::all_of(picture.begin(), picture.end(), [](char c) { return (c & 0x80) == 0; });
    return ThumbnailOf(ascii ? picture : Utf8ToGbk(picture), edge).fileName;
}

} // namespace yfx::store
