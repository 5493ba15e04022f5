#include "market/PictureCache.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <ctime>
#include <curl/curl.h>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace yfx {
namespace {

constexpr std::int64_t kMaxLifetime = 365 * 24 * 3600;
constexpr std::string_view kRecordMagic = "yfx-picture 1";
constexpr std::string_view kTempSuffix = ".part-"; // followed by six characters (mkostemp)
constexpr std::size_t kMaxRecordBytes = 8192;

// A real directory of ours, closed to everybody else, at `path` (created when missing); a
// link or someone else's folder planted there is refused.
bool MakePrivateFolder(const std::string& path)
{
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return false; // lstat: a link planted in its place is not followed
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return false;
    return (st.st_mode & 077) == 0 || ::chmod(path.c_str(), 0700) == 0;
}

std::string WithoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

bool UsableName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name != ".info" &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string::npos;
}

// The temporary names of the transfers ("<name>.part-XXXXXX" or ".part-XXXXXX") and of the
// records (".part-XXXXXX").
bool IsTemporary(const std::string& name)
{
    return name.size() >= kTempSuffix.size() + 6 &&
           name.compare(name.size() - 6 - kTempSuffix.size(), kTempSuffix.size(), kTempSuffix) == 0;
}

bool OneLine(const std::string& value)
{
    return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
}

std::string Lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string_view Trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

template <typename T>
bool ReadInt(std::string_view text, T& out)
{
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && ptr == text.data() + text.size() && !text.empty();
}

std::int64_t Clamped(std::int64_t seconds)
{
    return std::clamp<std::int64_t>(seconds, 0, kMaxLifetime);
}

} // namespace

std::string MakePictureCacheFolderUnder(const std::string& cacheHome)
{
    const std::string base = WithoutTrailingSlashes(cacheHome);
    if (base.empty())
        return {};
    // The cache home is the user's (it may be a link to elsewhere); only what is ours below
    // it must be private.
    if (::mkdir(base.c_str(), 0700) != 0 && errno != EEXIST)
        return {};
    struct stat st {};
    if (::stat(base.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return {};
    const std::string app = base + "/yuefengxuan";
    const std::string pictures = app + "/pictures";
    if (!MakePrivateFolder(app) || !MakePrivateFolder(pictures))
        return {};
    return pictures + "/";
}

std::string MakePictureCacheFolder()
{
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && xdg[0] == '/')
        return MakePictureCacheFolderUnder(xdg);
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') {
        const passwd* pw = ::getpwuid(::getuid());
        home = pw ? pw->pw_dir : nullptr;
    }
    if (!home || home[0] != '/')
        return {};
    return MakePictureCacheFolderUnder(WithoutTrailingSlashes(home) + "/.cache");
}

std::int64_t FreshnessLifetime(const net::ResponseHeaders& headers, std::int64_t now)
{
    bool haveMaxAge = false;
    std::int64_t maxAge = 0;
    std::string_view rest = headers.cacheControl;
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        const std::string token = Lower(Trimmed(rest.substr(0, comma)));
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        if (token == "no-store" || token == "no-cache")
            return 0;
        if (token.starts_with("max-age=") && !haveMaxAge) {
            std::string_view value = std::string_view(token).substr(8);
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                value = value.substr(1, value.size() - 2);
            if (!value.empty() && value.find_first_not_of("0123456789") == std::string_view::npos) {
                haveMaxAge = true; // (more digits than a year's seconds need: the longest lifetime)
                maxAge = value.size() > 12 ? kMaxLifetime : std::stoll(std::string(value));
            }
        }
    }
    if (haveMaxAge)
        return Clamped(maxAge);
    if (!headers.expires.empty()) {
        const time_t expires = curl_getdate(headers.expires.c_str(), nullptr);
        if (expires == -1)
            return 0; // an Expires that cannot be read means already expired
        const time_t date = headers.date.empty() ? -1 : curl_getdate(headers.date.c_str(), nullptr);
        return Clamped(static_cast<std::int64_t>(expires) - (date == -1 ? now : static_cast<std::int64_t>(date)));
    }
    return kPictureDefaultLifetime;
}

PictureCache::PictureCache(std::string folder, std::uint64_t budget)
    : m_folder(folder.empty() || folder.back() == '/' ? std::move(folder) : std::move(folder) + "/"), m_budget(budget)
{
}

std::int64_t PictureCache::Now()
{
    return static_cast<std::int64_t>(std::time(nullptr));
}

bool PictureCache::FileOf(const std::string& name, FileId& id) const
{
    struct stat st {};
    if (!UsableName(name) || ::lstat(PathOf(name).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    id.inode = static_cast<std::uint64_t>(st.st_ino);
    id.size = static_cast<std::uint64_t>(st.st_size);
    id.mtimeSec = static_cast<std::int64_t>(st.st_mtim.tv_sec);
    id.mtimeNsec = static_cast<std::int64_t>(st.st_mtim.tv_nsec);
    return true;
}

bool PictureCache::WriteRecord(const std::string& name, const FileId& file, const CachedPicture& record) const
{
    if (!OneLine(record.url) || !OneLine(record.etag) || !OneLine(record.lastModified))
        return false; // a value that cannot be written on its line: no record, fetched anew next time
    std::string text(kRecordMagic);
    text += "\nfile " + std::to_string(file.inode) + ' ' + std::to_string(file.size) + ' ' +
            std::to_string(file.mtimeSec) + ' ' + std::to_string(file.mtimeNsec);
    text += "\nexpires " + std::to_string(record.expires);
    text += "\nurl " + record.url;
    text += "\netag " + record.etag;
    text += "\nlast-modified " + record.lastModified + "\nend\n"; // a record cut short has no end
    if (text.size() > kMaxRecordBytes || !MakePrivateFolder(WithoutTrailingSlashes(InfoFolder())))
        return false;
    std::string tmpl = InfoFolder() + std::string(kTempSuffix) + "XXXXXX";
    const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = true;
    for (std::size_t done = 0; ok && done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        done += ok ? static_cast<std::size_t>(n) : 0;
    }
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(tmpl.c_str(), (InfoFolder() + name).c_str()) == 0;
    if (!ok)
        ::unlink(tmpl.c_str());
    return ok;
}

bool PictureCache::ReadRecord(const std::string& name, const FileId& file, CachedPicture& out) const
{
    const int fd = ::open((InfoFolder() + name).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    std::string text(kMaxRecordBytes + 1, '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (got > kMaxRecordBytes)
        return false;
    text.resize(got);

    CachedPicture record;
    bool magic = false, matches = false, expires = false, end = false;
    std::string_view rest = text;
    while (!rest.empty()) {
        const std::size_t eol = rest.find('\n');
        if (eol == std::string_view::npos)
            return false; // cut short
        const std::string_view line = rest.substr(0, eol);
        rest.remove_prefix(eol + 1);
        if (end)
            return false; // nothing after the end
        if (!magic) {
            if (line != kRecordMagic)
                return false;
            magic = true;
            continue;
        }
        const std::size_t space = line.find(' ');
        const std::string_view key = line.substr(0, space);
        const std::string_view value = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
        if (key == "file") {
            FileId id;
            std::string_view fields = value;
            std::string_view parts[4];
            for (auto& part : parts) {
                const std::size_t sp = fields.find(' ');
                part = fields.substr(0, sp);
                fields = sp == std::string_view::npos ? std::string_view() : fields.substr(sp + 1);
            }
            matches = ReadInt(parts[0], id.inode) && ReadInt(parts[1], id.size) && ReadInt(parts[2], id.mtimeSec) &&
                      ReadInt(parts[3], id.mtimeNsec) && fields.empty() && id == file;
        } else if (key == "expires") {
            expires = ReadInt(value, record.expires);
        } else if (key == "url") {
            record.url = std::string(value);
        } else if (key == "etag") {
            record.etag = std::string(value);
        } else if (key == "last-modified") {
            record.lastModified = std::string(value);
        } else if (key == "end" && space == std::string_view::npos) {
            end = true;
        }
    }
    if (!magic || !matches || !expires || !end)
        return false;
    record.present = true;
    record.recorded = true;
    out = std::move(record);
    return true;
}

CachedPicture PictureCache::Lookup(const std::string& name) const
{
    CachedPicture found;
    FileId file;
    if (!FileOf(name, file))
        return found;
    found.present = true;
    ReadRecord(name, file, found);
    return found;
}

bool PictureCache::Stored(const std::string& name, const std::string& url, const net::ResponseHeaders& headers,
                          std::int64_t now)
{
    FileId file;
    if (!FileOf(name, file))
        return false;
    CachedPicture record;
    record.url = url;
    record.etag = headers.etag;
    record.lastModified = headers.lastModified;
    record.expires = now + FreshnessLifetime(headers, now);
    WriteRecord(name, file, record);
    // (counted again in full by the next Trim; a file that replaced another is counted twice
    // until then, which only brings that Trim forward)
    const std::uint64_t total = m_bytes.fetch_add(file.size + 256) + file.size + 256;
    return total > m_budget && !m_trimDue.exchange(true);
}

bool PictureCache::Revalidated(const std::string& name, const std::string& url,
                               const net::ResponseHeaders& headers, std::int64_t now)
{
    FileId file;
    CachedPicture record;
    if (!FileOf(name, file) || !ReadRecord(name, file, record) || record.url != url)
        return false;
    record.expires = now + FreshnessLifetime(headers, now);
    if (!headers.etag.empty())
        record.etag = headers.etag;
    if (!headers.lastModified.empty())
        record.lastModified = headers.lastModified;
    if (!WriteRecord(name, file, record))
        return false;
    Touch(name);
    return true;
}

void PictureCache::Touch(const std::string& name) const
{
    if (!UsableName(name))
        return;
    const timespec times[2] = {{0, UTIME_NOW}, {0, UTIME_OMIT}};
    ::utimensat(AT_FDCWD, PathOf(name).c_str(), times, AT_SYMLINK_NOFOLLOW);
}

PictureCache::TrimResult PictureCache::Trim(std::int64_t now)
{
    std::lock_guard lock(m_trimMutex);
    m_trimDue = false; // what arrives from now on may call for the next one
    TrimResult result;
    struct Entry {
        std::string name;
        std::uint64_t bytes = 0;
        timespec used{};
    };
    std::vector<Entry> entries;
    std::unordered_map<std::string, std::size_t> byName;
    std::uint64_t total = 0;

    // Leftover temporary files go; a young one may belong to a transfer of another run.
    const auto sweepable = [now](const struct stat& st) {
        return static_cast<std::int64_t>(st.st_mtim.tv_sec) <= now - kLeftoverAgeSeconds;
    };
    const auto walk = [](const std::string& folder, auto&& visit) {
        DIR* dir = ::opendir(folder.c_str());
        if (!dir)
            return;
        while (const dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..")
                continue;
            struct stat st {};
            if (::lstat((folder + name).c_str(), &st) == 0 && S_ISREG(st.st_mode))
                visit(name, st);
        }
        ::closedir(dir);
    };

    walk(m_folder, [&](const std::string& name, const struct stat& st) {
        if (IsTemporary(name)) {
            if (sweepable(st) && ::unlink((m_folder + name).c_str()) == 0)
                ++result.leftovers;
            else
                total += static_cast<std::uint64_t>(st.st_size);
            return;
        }
        byName.emplace(name, entries.size());
        entries.push_back({name, static_cast<std::uint64_t>(st.st_size), st.st_atim});
        total += static_cast<std::uint64_t>(st.st_size);
    });
    const std::string info = InfoFolder();
    walk(info, [&](const std::string& name, const struct stat& st) {
        const auto it = byName.find(name);
        if (it == byName.end() && (!IsTemporary(name) || sweepable(st))) {
            if (::unlink((info + name).c_str()) == 0)
                ++result.leftovers;
            return;
        }
        if (it != byName.end())
            entries[it->second].bytes += static_cast<std::uint64_t>(st.st_size);
        total += static_cast<std::uint64_t>(st.st_size);
    });

    if (total > m_budget) {
        std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
            return a.used.tv_sec != b.used.tv_sec ? a.used.tv_sec < b.used.tv_sec : a.used.tv_nsec < b.used.tv_nsec;
        });
        const std::uint64_t lowWater = m_budget / 10 * 9;
        for (const Entry& e : entries) {
            if (total <= lowWater)
                break;
            ::unlink((m_folder + e.name).c_str());
            ::unlink((info + e.name).c_str());
            total -= std::min(total, e.bytes);
            ++result.evicted;
        }
    }
    m_bytes = total;
    result.bytes = total;
    return result;
}

} // namespace yfx
