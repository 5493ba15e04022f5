#include "tests/panes/finder/SessionFiles.h"

#include <lz4.h>

namespace yfx::test {
namespace {

void AppendTab(std::string& out, std::string_view url, std::string_view title)
{
    out += R"({"entries":[{"url":")";
    out += url;
    out += R"(","title":")";
    out += title;
    out += R"(","charset":"UTF-8","ID":7}],"index":1,"hidden":false},)";
}

} // namespace

std::string MozLz4Bytes(std::string_view text, std::uint32_t declaredSize)
{
    std::string block(static_cast<std::size_t>(LZ4_compressBound(static_cast<int>(text.size()))), '\0');
    const int n = LZ4_compress_default(text.data(), block.data(), static_cast<int>(text.size()),
                                       static_cast<int>(block.size()));
    if (n <= 0)
        return {};
    block.resize(static_cast<std::size_t>(n));
    std::string file("mozLz40\0", 8);
    for (int shift = 0; shift < 32; shift += 8)
        file.push_back(static_cast<char>((declaredSize >> shift) & 0xFF));
    return file + block;
}

std::string LargeSessionDocument(std::size_t bytes, const std::vector<BrowserPage>& last)
{
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 ";
    std::string out;
    out.reserve(bytes + 4096);
    out += R"({"version":["sessionrestore",1],"windows":[{"tabs":[)";
    std::uint64_t state = 0x9E3779B97F4A7C15ULL;
    std::string title(2000, ' ');
    for (int tab = 0; out.size() < bytes; ++tab) {
        for (char& c : title) {
            state = state * 6364136223846793005ULL + 1442695040888963407ULL;
            c = kLetters[(state >> 33) % (sizeof kLetters - 1)];
        }
        AppendTab(out, "http://www.example.org/page/" + std::to_string(tab), title);
    }
    for (const BrowserPage& page : last)
        AppendTab(out, page.url, page.title);
    out.pop_back(); // the last comma
    out += R"(],"selected":1}],"selectedWindow":1,"_closedWindows":[],"session":{"lastUpdate":1733700000456}})";
    return out;
}

std::string LargeSessionFile(std::size_t bytes, const std::vector<BrowserPage>& last)
{
    // the tabs' markup compresses a little: grow the document until the file is large enough
    for (std::size_t text = bytes;;) {
        const std::string doc = LargeSessionDocument(text, last);
        std::string file = MozLz4Bytes(doc, static_cast<std::uint32_t>(doc.size()));
        if (file.empty() || file.size() >= bytes)
            return file;
        text += (bytes - file.size()) * 11 / 10 + 4096;
    }
}

} // namespace yfx::test
