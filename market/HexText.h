#pragma once
// Bytes written as upper-case hexadecimal digits: digests, and the percent-encoding of
// addresses and form bodies.
#include <string>
#include <string_view>

namespace yfx {

// Appends `byte` as two upper-case hexadecimal digits ("0A", "FF").
void AppendHex(std::string& out, unsigned char byte);

// Appends `byte` percent-encoded: '%' and its two digits ("%2C").
void AppendPercentEncoded(std::string& out, unsigned char byte);

// Every byte of `bytes` as two upper-case hexadecimal digits.
std::string HexUpper(std::string_view bytes);

} // namespace yfx
