#include "market/Gbk.h"

#include <cerrno>
#include <iconv.h>

namespace yfx {
namespace {

// Runs one iconv conversion over the whole input. On a sequence that does not convert the
// replacement is appended and the input skips ahead by `skip(in, left)` bytes.
template <typename Skip>
std::string Convert(const char* to, const char* from, std::string_view input, std::string_view replacement,
                    Skip skip)
{
    std::string out;
    if (input.empty())
        return out;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::string(input); // no converter: keep the bytes rather than lose them
    out.reserve(input.size() * 2);
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    char buf[4096];
    while (inLeft > 0) {
        char* outPtr = buf;
        size_t outLeft = sizeof buf;
        size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buf, static_cast<size_t>(outPtr - buf));
        if (r != static_cast<size_t>(-1))
            continue;
        if (errno == E2BIG)
            continue;
        // EILSEQ (no such character) or EINVAL (cut-off sequence at the end)
        out.append(replacement);
        size_t n = skip(reinterpret_cast<const unsigned char*>(in), inLeft);
        in += n;
        inLeft -= n;
    }
    // flush any shift state
    char* outPtr = buf;
    size_t outLeft = sizeof buf;
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buf, static_cast<size_t>(outPtr - buf));
    iconv_close(cd);
    return out;
}

size_t Utf8SequenceLength(const unsigned char* p, size_t left)
{
    size_t want = 1;
    if (p[0] >= 0xF0)
        want = 4;
    else if (p[0] >= 0xE0)
        want = 3;
    else if (p[0] >= 0xC0)
        want = 2;
    size_t n = 1;
    while (n < want && n < left && (p[n] & 0xC0) == 0x80)
        ++n;
    return n;
}

} // namespace

std::string Utf8ToGbk(std::string_view utf8)
{
    return Convert("GBK", "UTF-8", utf8, "?", Utf8SequenceLength);
}

std::string Utf8ToGb18030(std::string_view utf8)
{
    return Convert("GB18030", "UTF-8", utf8, "?", Utf8SequenceLength);
}

std::string GbkToUtf8(std::string_view gbk)
{
    // A lead byte whose partner is missing or invalid costs one byte; the next byte is
    // decoded on its own so that an ASCII character after a broken pair survives.
    return Convert("UTF-8", "GB18030", gbk, "\xEF\xBF\xBD", [](const unsigned char*, size_t) { return size_t{1}; });
}

bool GbkContains(std::string_view text, std::string_view word)
{
    const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    const auto pairAt = [&text](std::size_t i) {
        return IsGbkLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size();
    };
    if (word.empty())
        return true;
    for (std::size_t i = 0; i < text.size(); i += pairAt(i) ? 2 : 1) {
        // walk text and word together, one character of the text at a time
        std::size_t t = i, n = 0;
        while (n < word.size() && t < text.size()) {
            if (pairAt(t)) {
                if (n + 1 >= word.size() || text[t] != word[n] || text[t + 1] != word[n + 1])
                    break;
                t += 2;
                n += 2;
            } else {
                if (fold(text[t]) != fold(word[n]))
                    break;
                ++t;
                ++n;
            }
        }
        if (n == word.size())
            return true;
    }
    return false;
}

std::size_t FindLastGbkChar(std::string_view gbk, char ch)
{
    std::size_t found = std::string_view::npos;
    for (std::size_t i = 0; i < gbk.size();) {
        unsigned char c = static_cast<unsigned char>(gbk[i]);
        if (IsGbkLeadByte(c) && i + 1 < gbk.size()) {
            i += 2;
            continue;
        }
        if (gbk[i] == ch)
            found = i;
        ++i;
    }
    return found;
}

} // namespace yfx
