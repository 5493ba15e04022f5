#include "market/DecimalAmount.h"

#include <charconv>
#include <limits>

namespace yfx {
namespace {

bool AllDigits(std::string_view text)
{
    return text.find_first_not_of("0123456789") == std::string_view::npos;
}

} // namespace

bool ReadDecimalAmount(std::string_view text, DecimalAmount& amount, bool allowSign)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return false;
    std::string_view t = text.substr(first, text.find_last_not_of(' ') - first + 1);
    DecimalAmount read;
    if (t.front() == '+' || t.front() == '-') {
        if (!allowSign)
            return false;
        read.sign = true;
        read.negative = t.front() == '-';
        t.remove_prefix(1);
    }
    const std::size_t point = t.find('.');
    read.whole = t.substr(0, point);
    read.fraction = point == std::string_view::npos ? std::string_view() : t.substr(point + 1);
    if ((read.whole.empty() && read.fraction.empty()) || !AllDigits(read.whole) || !AllDigits(read.fraction))
        return false;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), read.value, std::chars_format::fixed);
    if (ec == std::errc::result_out_of_range) {
        // beyond a double: too large when a whole digit is not 0, else too small to tell from 0
        read.value = read.whole.find_first_not_of('0') != std::string_view::npos
                         ? std::numeric_limits<double>::infinity()
                         : 0.0;
    } else if (ec != std::errc() || end != t.data() + t.size()) {
        return false;
    }
    if (read.negative)
        read.value = -read.value;
    amount = read;
    return true;
}

} // namespace yfx
