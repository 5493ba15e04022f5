#pragma once
// Numbers inside record texts, read the way the marketplace's texts were always read: the
// leading part of the text, with everything after it ignored. Both readers are independent of
// the C locale ("12.50" is 12.5 whatever LC_NUMERIC says) and never fail.
#include <string_view>

namespace yfx {

// Like atof limited to decimal numbers: leading white space skipped, then the longest
// leading number (optional sign, digits, optional decimal point and fraction, optional
// exponent). A text that does not begin with a number gives 0. A number too large for a
// double gives plus or minus infinity, one too small gives 0.
double LeadingDouble(std::string_view text);

// Like atol: leading white space skipped, optional sign, then decimal digits. A text without
// digits there gives 0. A value beyond the range of long is clamped to its limit.
long LeadingLong(std::string_view text);

} // namespace yfx
