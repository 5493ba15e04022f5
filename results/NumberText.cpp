#include "results/NumberText.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace yfx {
namespace {

bool IsCSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Skips white space and an optional sign; returns the position after them.
size_t SkipSpaceAndSign(std::string_view text, bool& negative)
{
    size_t pos = 0;
    while (pos < text.size() && IsCSpace(text[pos]))
        ++pos;
    negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    return pos;
}

// The power of ten of a decimal number's first significant digit, plus one ("123" 3,
// "0.001" -2, "5e7" 8), saturating; only its sign matters to the caller.
long DecimalMagnitude(std::string_view number)
{
    size_t pos = 0;
    long magnitude = 0;
    bool significant = false;
    for (; pos < number.size() && IsDigit(number[pos]); ++pos) {
        if (number[pos] != '0')
            significant = true;
        if (significant && magnitude < 100000)
            ++magnitude;
    }
    if (pos < number.size() && number[pos] == '.') {
        for (++pos; pos < number.size() && IsDigit(number[pos]); ++pos) {
            if (significant)
                continue;
            if (number[pos] != '0')
                significant = true;
            else if (magnitude > -100000)
                --magnitude;
        }
    }
    if (pos < number.size() && (number[pos] == 'e' || number[pos] == 'E'))
        magnitude += std::clamp(LeadingLong(number.substr(pos + 1)), -1000000L, 1000000L);
    return magnitude;
}

} // namespace

double LeadingDouble(std::string_view text)
{
    bool negative = false;
    const size_t pos = SkipSpaceAndSign(text, negative);
    // Only decimal numbers count: "inf", "nan" and hexadecimal forms are not numbers here.
    const bool digitFirst = pos < text.size() && IsDigit(text[pos]);
    const bool pointFirst = pos + 1 < text.size() && text[pos] == '.' && IsDigit(text[pos + 1]);
    if (!digitFirst && !pointFirst)
        return 0.0;
    // from_chars is locale-independent and takes the longest leading decimal number; "1e"
    // and "1e+" stop before the 'e' as strtod does.
    const char* first = text.data() + pos;
    const char* last = text.data() + text.size();
    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone: tell an overflow from an underflow by the
        // number's decimal magnitude, the way strtod reports HUGE_VAL or 0.
        value = DecimalMagnitude(std::string_view(first, static_cast<size_t>(ptr - first))) > 0
                    ? std::numeric_limits<double>::infinity()
                    : 0.0;
    } else if (ec != std::errc()) {
        return 0.0;
    }
    return negative ? -value : value;
}

long LeadingLong(std::string_view text)
{
    bool negative = false;
    size_t pos = SkipSpaceAndSign(text, negative);
    constexpr long kMax = std::numeric_limits<long>::max();
    constexpr long kMin = std::numeric_limits<long>::min();
    long value = 0;
    for (; pos < text.size() && IsDigit(text[pos]); ++pos) {
        const long digit = text[pos] - '0';
        // Accumulate towards the sign so that the most negative value is reachable.
        if (negative) {
            if (value < (kMin + digit) / 10)
                return kMin;
            value = value * 10 - digit;
        } else {
            if (value > (kMax - digit) / 10)
                return kMax;
            value = value * 10 + digit;
        }
    }
    return value;
}

} // namespace yfx
