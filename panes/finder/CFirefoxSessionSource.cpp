#include "panes/finder/CFirefoxSessionSource.h"

#include "panes/finder/UntrustedJson.h"

#include <lz4.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace yfx {
namespace {

namespace fs = std::filesystem;

constexpr char kMagic[8] = {'m', 'o', 'z', 'L', 'z', '4', '0', '\0'};
constexpr std::size_t kHeaderBytes = 12;
// An ini file bigger than this is not Firefox's.
constexpr std::uintmax_t kMaxIniBytes = 1024 * 1024;

// The whole content of a regular file of at most `limit` bytes. Opening never blocks (a FIFO
// or device in place of the file is refused), and a file that grows past the limit while it
// is read is refused too.
std::optional<std::string> ReadRegularFile(const fs::path& path, std::uintmax_t limit)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    std::optional<std::string> result;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<std::uintmax_t>(st.st_size) <= limit) {
        std::string data;
        data.reserve(static_cast<std::size_t>(st.st_size));
        char buf[65536];
        bool ok = true;
        for (;;) {
            ssize_t n = ::read(fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                ok = false;
                break;
            }
            if (n == 0)
                break;
            data.append(buf, static_cast<std::size_t>(n));
            if (data.size() > limit) {
                ok = false;
                break;
            }
        }
        if (ok)
            result = std::move(data);
    }
    return result;
}

std::string_view Trim(std::string_view s)
{
    const char* spaces = " \t\r\n";
    std::size_t begin = s.find_first_not_of(spaces);
    if (begin == std::string_view::npos)
        return {};
    std::size_t end = s.find_last_not_of(spaces);
    return s.substr(begin, end - begin + 1);
}

struct IniSection {
    std::string name;
    std::vector<std::pair<std::string, std::string>> values;

    std::string Value(std::string_view key) const
    {
        for (const auto& [k, v] : values) {
            if (k == key)
                return v;
        }
        return {};
    }
};

// Firefox's ini files: "[Section]" lines and "Key=Value" lines; anything else is ignored.
std::vector<IniSection> ParseIni(std::string_view text)
{
    std::vector<IniSection> sections;
    while (!text.empty()) {
        std::size_t eol = text.find('\n');
        std::string_view line = Trim(text.substr(0, eol));
        text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
        if (line.empty() || line.front() == ';' || line.front() == '#')
            continue;
        if (line.front() == '[') {
            std::size_t close = line.find(']');
            if (close != std::string_view::npos)
                sections.push_back(IniSection{std::string(Trim(line.substr(1, close - 1))), {}});
            continue;
        }
        std::size_t eq = line.find('=');
        if (eq == std::string_view::npos || sections.empty())
            continue;
        sections.back().values.emplace_back(std::string(Trim(line.substr(0, eq))),
                                            std::string(Trim(line.substr(eq + 1))));
    }
    return sections;
}

std::vector<IniSection> ReadIni(const fs::path& path)
{
    std::optional<std::string> text = ReadRegularFile(path, kMaxIniBytes);
    return text ? ParseIni(*text) : std::vector<IniSection>();
}

bool StartsWith(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

// A profile path as the ini files write it: absolute, or relative to the profile root.
fs::path ResolveProfile(const fs::path& root, const std::string& path, bool relative)
{
    fs::path p(path);
    if (!relative || p.is_absolute())
        return p.lexically_normal();
    return (root / p).lexically_normal();
}

// Adds a profile unless the same folder (after resolving links) is already there.
class ProfileList {
public:
    void Add(const fs::path& profile)
    {
        if (profile.empty())
            return;
        std::error_code ec;
        fs::path key = fs::weakly_canonical(profile, ec);
        if (ec)
            key = profile;
        if (std::find(m_keys.begin(), m_keys.end(), key) != m_keys.end())
            return;
        m_keys.push_back(std::move(key));
        m_profiles.push_back(profile);
    }
    std::vector<fs::path> Take() { return std::move(m_profiles); }

private:
    std::vector<fs::path> m_keys;
    std::vector<fs::path> m_profiles;
};

// The tab's current entry, the way Firefox picks it when it restores a tab.
const Json::Value* CurrentEntry(const Json::Value& tab)
{
    const Json::Value& entries = tab["entries"];
    if (!entries.isArray() || entries.empty())
        return nullptr;
    const Json::ArrayIndex count = entries.size();
    Json::ArrayIndex pick = count; // 1-based; a missing or 0 index means the last entry
    const Json::Value& index = tab["index"];
    if (index.isNumeric()) {
        double d = index.asDouble();
        if (std::isfinite(d) && d != 0) {
            if (d < 1)
                pick = 1;
            else if (d < static_cast<double>(count))
                pick = static_cast<Json::ArrayIndex>(d);
        }
    }
    const Json::Value& entry = entries[pick - 1];
    return entry.isObject() ? &entry : nullptr;
}

} // namespace

CFirefoxSessionSource::CFirefoxSessionSource()
{
    const char* home = std::getenv("HOME");
    if (home && *home)
        m_profileRoots = ProfileRootsUnder(home);
}

CFirefoxSessionSource::CFirefoxSessionSource(std::vector<std::filesystem::path> profileRoots)
    : m_profileRoots(std::move(profileRoots))
{
}

std::vector<std::filesystem::path> CFirefoxSessionSource::ProfileRootsUnder(const std::filesystem::path& home)
{
    const fs::path snap = home / "snap" / "firefox" / "common";          // Ubuntu's Firefox snap
    const fs::path flatpak = home / ".var" / "app" / "org.mozilla.firefox"; // the Flatpak
    return {home / ".mozilla" / "firefox", home / ".config" / "mozilla" / "firefox",
            snap / ".mozilla" / "firefox", snap / ".config" / "mozilla" / "firefox",
            flatpak / ".mozilla" / "firefox", flatpak / "config" / "mozilla" / "firefox",
            // derivatives that keep Firefox's layout under a folder of their own
            home / ".librewolf", home / ".waterfox"};
}

std::vector<std::filesystem::path> CFirefoxSessionSource::Profiles() const
{
    std::vector<fs::path> inUse;
    std::vector<fs::path> listed;
    for (const fs::path& root : m_profileRoots) {
        for (const IniSection& section : ReadIni(root / "profiles.ini")) {
            if (StartsWith(section.name, "Install")) {
                if (std::string path = section.Value("Default"); !path.empty())
                    inUse.push_back(ResolveProfile(root, path, true));
            } else if (StartsWith(section.name, "Profile")) {
                if (std::string path = section.Value("Path"); !path.empty())
                    listed.push_back(ResolveProfile(root, path, section.Value("IsRelative") != "0"));
            }
        }
        for (const IniSection& section : ReadIni(root / "installs.ini")) {
            if (std::string path = section.Value("Default"); !path.empty())
                inUse.push_back(ResolveProfile(root, path, true));
        }
    }
    ProfileList profiles;
    for (const fs::path& p : inUse)
        profiles.Add(p);
    for (const fs::path& p : listed)
        profiles.Add(p);
    return profiles.Take();
}

std::vector<BrowserPage> CFirefoxSessionSource::Pages()
{
    std::vector<BrowserPage> pages;
    try {
        for (const fs::path& profile : Profiles()) {
            if (HasStaleLock(profile))
                continue;
            std::optional<std::string> file =
                ReadRegularFile(profile / "sessionstore-backups" / "recovery.jsonlz4", kMaxFileBytes);
            if (!file)
                continue;
            std::optional<std::string> json = DecodeSessionFile(*file);
            file.reset();
            if (!json)
                continue;
            std::vector<BrowserPage> more = PagesFromSessionJson(*json);
            pages.insert(pages.end(), std::make_move_iterator(more.begin()),
                         std::make_move_iterator(more.end()));
        }
    } catch (const std::exception&) {
        // out of memory or a file-system error: keep what was read so far
    }
    return pages;
}

std::optional<std::string> CFirefoxSessionSource::DecodeSessionFile(std::string_view fileBytes)
{
    if (fileBytes.size() < kHeaderBytes || std::memcmp(fileBytes.data(), kMagic, sizeof kMagic) != 0)
        return std::nullopt;
    const auto* sizeBytes = reinterpret_cast<const unsigned char*>(fileBytes.data() + sizeof kMagic);
    const std::uint32_t declared =
        static_cast<std::uint32_t>(sizeBytes[0]) | static_cast<std::uint32_t>(sizeBytes[1]) << 8 |
        static_cast<std::uint32_t>(sizeBytes[2]) << 16 | static_cast<std::uint32_t>(sizeBytes[3]) << 24;
    const std::size_t payload = fileBytes.size() - kHeaderBytes;
    if (declared == 0 || declared > kMaxSessionBytes || payload == 0 ||
        payload > static_cast<std::size_t>(INT_MAX))
        return std::nullopt;
    // One LZ4 block expands at most about 255 times: a larger claim is a lie, refused before
    // any memory is taken for it.
    if (declared / 256 > payload)
        return std::nullopt;
    std::string out(declared, '\0');
    int n = LZ4_decompress_safe(fileBytes.data() + kHeaderBytes, out.data(), static_cast<int>(payload),
                                static_cast<int>(declared));
    if (n < 0 || static_cast<std::uint32_t>(n) != declared)
        return std::nullopt;
    return out;
}

std::vector<BrowserPage> CFirefoxSessionSource::PagesFromSessionJson(std::string_view json)
{
    std::vector<BrowserPage> pages;
    try {
        Json::Value root;
        if (!ParseUntrustedJson(json, root) || !root.isObject())
            return pages;
        const Json::Value& windows = root["windows"];
        if (!windows.isArray())
            return pages;
        for (const Json::Value& window : windows) {
            if (!window.isObject() || window.isMember("closedAt"))
                continue;
            const Json::Value& tabs = window["tabs"];
            if (!tabs.isArray())
                continue;
            for (const Json::Value& tab : tabs) {
                if (!tab.isObject())
                    continue;
                const Json::Value* entry = CurrentEntry(tab);
                if (!entry)
                    continue;
                const Json::Value& url = (*entry)["url"];
                if (!url.isString())
                    continue;
                const Json::Value& title = (*entry)["title"];
                pages.push_back(
                    BrowserPage{url.asString(), title.isString() ? title.asString() : std::string()});
            }
        }
    } catch (const std::exception&) {
        // keep the pages read so far
    }
    return pages;
}

bool CFirefoxSessionSource::HasStaleLock(const std::filesystem::path& profile)
{
    // A Flatpak runs in a process-id namespace of its own: the number in its lock names no
    // process here, so its lock tells nothing.
    if (profile.generic_string().find("/.var/app/") != std::string::npos)
        return false;
    char target[256];
    ssize_t n = ::readlink((profile / "lock").c_str(), target, sizeof target - 1);
    if (n <= 0)
        return false;
    std::string_view link(target, static_cast<std::size_t>(n));
    std::size_t plus = link.rfind(":+");
    if (plus == std::string_view::npos)
        return false;
    std::string_view digits = link.substr(plus + 2);
    if (digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    long pid = std::strtol(std::string(digits).c_str(), nullptr, 10);
    if (pid <= 0)
        return false;
    if (::kill(static_cast<pid_t>(pid), 0) != 0)
        return errno == ESRCH;
    // a process that died but was not reaped yet still answers kill(): ask /proc for its state
    std::optional<std::string> stat = ReadRegularFile("/proc/" + std::to_string(pid) + "/stat", 4096);
    if (!stat)
        return false;
    std::size_t close = stat->rfind(") ");
    return close != std::string::npos && close + 2 < stat->size() &&
           ((*stat)[close + 2] == 'Z' || (*stat)[close + 2] == 'X');
}

} // namespace yfx
