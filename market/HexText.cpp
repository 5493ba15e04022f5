#include "market/HexText.h"

namespace yfx {

void AppendHex(std::string& out, unsigned char byte)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out.push_back(kDigits[byte >> 4]);
    out.push_back(kDigits[byte & 15]);
}

void AppendPercentEncoded(std::string& out, unsigned char byte)
{
    out.push_back('%');
    AppendHex(out, byte);
}

std::string HexUpper(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes)
        AppendHex(out, static_cast<unsigned char>(c));
    return out;
}

} // namespace yfx
