#pragma once
// Amounts of money as a person types them or a server sends them: the one reader of plain
// decimal numbers ("12", " 12.50 ", ".5", "12."), independent of the C locale.
#include <string_view>

namespace yfx {

struct DecimalAmount {
    bool sign = false;          // a sign was written
    bool negative = false;      // that sign was '-'
    std::string_view whole;     // the digits before the point as written ("" for ".5")
    std::string_view fraction;  // the digits after it ("" without a point or for "12.")
    double value = 0;           // the amount with its sign; infinite when a double cannot hold it
};

// Reads `text`: spaces around, an optional sign when `allowSign`, then digits with at most one
// decimal point and at least one digit. No exponent, no other character, no space inside.
// False, `amount` untouched, for anything else. The views of `amount` point into `text`.
bool ReadDecimalAmount(std::string_view text, DecimalAmount& amount, bool allowSign = false);

} // namespace yfx
