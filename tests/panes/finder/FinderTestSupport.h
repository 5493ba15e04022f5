#pragma once
// Helpers shared by the browsed-item finder's tests: temporary folders, files written in
// Firefox's session-store format, and endpoint settings that undo themselves.
#include "market/Endpoints.h"
#include "panes/finder/BrowserPage.h"

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <string_view>

namespace yfx {

// Pages compare and print in test expectations.
bool operator==(const BrowserPage& a, const BrowserPage& b);
void PrintTo(const BrowserPage& page, std::ostream* os);

} // namespace yfx

namespace yfx::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// Writes `bytes` to `path`, creating the folders on the way. Fails the test on error.
void WriteFile(const std::filesystem::path& path, std::string_view bytes);

// A mozLz4 file as Firefox writes it: "mozLz40\0", the size of `text` as uint32
// little-endian, then `text` compressed as one raw LZ4 block (liblz4).
std::string MozLz4(std::string_view text);
// The same with another declared size (for files that lie about it).
std::string MozLz4(std::string_view text, std::uint32_t declaredSize);

// GBK bytes of a UTF-8 literal.
std::string Gbk(std::string_view utf8);

// Points the two item-page endpoints at the given bases for the life of the object.
class ItemHosts {
public:
    ItemHosts(const std::string& marketItem, const std::string& mallItem);
    ~ItemHosts();
    ItemHosts(const ItemHosts&) = delete;
    ItemHosts& operator=(const ItemHosts&) = delete;
};

// The hosts of the real item pages.
inline constexpr const char* kMarketItemBase = "http://item.taobao.com";
inline constexpr const char* kMallItemBase = "http://detail.tmall.com";

// Sets an environment variable for the life of the object, then restores it.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    bool m_bHad = false;
    std::string m_old;
};

} // namespace yfx::test
