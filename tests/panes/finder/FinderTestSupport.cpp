#include "tests/panes/finder/FinderTestSupport.h"

#include "market/Gbk.h"
#include "tests/panes/finder/SessionFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <vector>

namespace yfx {

bool operator==(const BrowserPage& a, const BrowserPage& b)
{
    return a.url == b.url && a.title == b.title;
}

void PrintTo(const BrowserPage& page, std::ostream* os)
{
    *os << "{" << page.url << ", " << page.title << "}";
}

} // namespace yfx

namespace yfx::test {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "yfx-finder-XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!::mkdtemp(buf.data()))
        ADD_FAILURE() << "mkdtemp failed for " << pattern;
    else
        m_path = buf.data();
}

TempDir::~TempDir()
{
    if (!m_path.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
}

void WriteFile(const std::filesystem::path& path, std::string_view bytes)
{
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    ASSERT_TRUE(out.good()) << "cannot write " << path;
}

std::string MozLz4(std::string_view text)
{
    return MozLz4(text, static_cast<std::uint32_t>(text.size()));
}

std::string MozLz4(std::string_view text, std::uint32_t declaredSize)
{
    std::string file = MozLz4Bytes(text, declaredSize);
    EXPECT_FALSE(file.empty()) << "liblz4 could not compress " << text.size() << " bytes";
    return file;
}

std::string Gbk(std::string_view utf8)
{
    return Utf8ToGbk(utf8);
}

ItemHosts::ItemHosts(const std::string& marketItem, const std::string& mallItem)
{
    SetEndpointOverride(Endpoint::MarketItem, marketItem);
    SetEndpointOverride(Endpoint::MallItem, mallItem);
}

ItemHosts::~ItemHosts()
{
    SetEndpointOverride(Endpoint::MarketItem, "");
    SetEndpointOverride(Endpoint::MallItem, "");
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : m_name(name)
{
    if (const char* old = std::getenv(name)) {
        m_bHad = true;
        m_old = old;
    }
    ::setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv()
{
    if (m_bHad)
        ::setenv(m_name.c_str(), m_old.c_str(), 1);
    else
        ::unsetenv(m_name.c_str());
}

} // namespace yfx::test
