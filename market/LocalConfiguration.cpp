#include "market/LocalConfiguration.h"

#include "market/Gbk.h"
#include "market/JsonText.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kFolderName = "yuefengxuan";

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsUtf8(const std::string& s)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t len = 0;
        unsigned cp = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1Fu;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0Fu;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07u;
        } else {
            return false;
        }
        if (i + len > n)
            return false;
        for (std::size_t k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i + k] & 0x3Fu);
        }
        if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        i += len;
    }
    return true;
}

bool IsDigits(const std::string& s)
{
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

// A text member as a person may write it: a string, or for ids a whole number.
bool ReadId(const yfx::json::Document& doc, const Json::Value& v, std::string& out)
{
    if (v.isString()) {
        out = yfx::Utf8ToGb18030(yfx::json::ReadText(doc, v));
        return true;
    }
    if (v.isNumeric()) {
        std::string digits = yfx::json::ReadText(doc, v);
        if (IsDigits(digits)) {
            out = std::move(digits);
            return true;
        }
    }
    return false;
}

bool ReadString(const yfx::json::Document& doc, const Json::Value& v, std::string& out)
{
    if (!v.isString())
        return false;
    out = yfx::Utf8ToGb18030(yfx::json::ReadText(doc, v));
    return true;
}

// "sellerids": seller nickname -> the platform's numeric seller id, as digits (a number as sent,
// or a text); values that are not 1 to 20 digits are left out. Names are GB18030 from `utf8`
// texts, kept as they are otherwise (the remote document's GBK).
std::map<std::string, std::string> ReadSellerIds(const yfx::json::Document& doc, const Json::Value& v, bool utf8)
{
    std::map<std::string, std::string> ids;
    for (auto it = v.begin(); it != v.end(); ++it) {
        if (!it->isString() && !it->isNumeric())
            continue;
        const std::string id = yfx::json::ReadText(doc, *it);
        if (!id.empty() && id.size() <= 20 && IsDigits(id))
            ids[utf8 ? yfx::Utf8ToGb18030(it.name()) : it.name()] = id;
    }
    return ids;
}

// An array of objects whose `key` member is a string; every element must be so.
bool ReadObjectList(const yfx::json::Document& doc, const Json::Value& v, const char* key,
                    std::vector<std::string>& out)
{
    if (!v.isArray())
        return false;
    for (Json::ArrayIndex i = 0; i < v.size(); ++i) {
        const Json::Value& element = v[i];
        std::string text;
        if (!element.isObject() || !ReadString(doc, yfx::json::Member(element, key), text))
            return false;
        out.push_back(std::move(text));
    }
    return true;
}

bool IsServerAddress(const std::string& s)
{
    for (const char* scheme : {"http://", "https://"}) {
        const std::size_t n = std::strlen(scheme);
        if (s.size() > n && s.compare(0, n, scheme) == 0)
            return s.find_first_of(" \t\r\n", n) == std::string::npos;
    }
    return false;
}

void ReadMembers(const yfx::json::Document& doc, LocalConfigFile& out, LocalConfigProblem& problem)
{
    const Json::Value& root = doc.root;
    auto bad = [&problem](const char* name) {
        problem.kind = LocalConfigProblem::Kind::BadMembers;
        problem.members.emplace_back(name);
    };
    auto id = [&](const char* name, std::optional<std::string>& member) {
        if (!root.isMember(name))
            return;
        std::string text;
        if (ReadId(doc, root[name], text))
            member = std::move(text);
        else
            bad(name);
    };
    id("appkey", out.members.appKey);
    id("secret", out.members.appSecret);
    id("pid", out.members.pid);

    std::string text;
    if (root.isMember("search")) {
        if (ReadString(doc, root["search"], text))
            out.members.source = text == "material" ? ResultSource::OpenPlatform : ResultSource::ListSearch;
        else
            bad("search");
    }
    if (root.isMember("sign_method")) {
        if (ReadString(doc, root["sign_method"], text))
            out.members.signMethod = text == "hmac-sha256" ? SignMethod::HmacSha256 : SignMethod::Md5;
        else
            bad("sign_method");
    }
    if (root.isMember("nicks")) {
        std::vector<std::string> nicks;
        if (ReadObjectList(doc, root["nicks"], "nick", nicks)) {
            std::map<std::string, int> map;
            for (std::size_t i = 0; i < nicks.size(); ++i)
                map[nicks[i]] = static_cast<int>(i);
            out.members.sellerNicks = std::move(map);
        } else {
            bad("nicks");
        }
    }
    if (root.isMember("sellerids")) {
        if (root["sellerids"].isObject())
            out.members.sellerIds = ReadSellerIds(doc, root["sellerids"], true);
        else
            bad("sellerids");
    }
    if (root.isMember("affiches")) {
        std::vector<std::string> affiches;
        if (ReadObjectList(doc, root["affiches"], "affiche", affiches))
            out.members.announcements = std::move(affiches);
        else
            bad("affiches");
    }
    if (root.isMember("source")) {
        const Json::Value& v = root["source"];
        const std::string s = v.isString() ? yfx::json::ReadText(doc, v) : std::string();
        if (s == "demo")
            out.dataSource = DataSource::Demo;
        else if (s == "platform")
            out.dataSource = DataSource::OpenPlatform;
        else if (s == "server")
            out.dataSource = DataSource::Server;
        else
            bad("source");
    }
    if (root.isMember("config_server")) {
        const Json::Value& v = root["config_server"];
        std::string s = v.isString() ? yfx::json::ReadText(doc, v) : std::string();
        while (!s.empty() && s.back() == '/')
            s.pop_back();
        if (IsServerAddress(s))
            out.configServer = std::move(s);
        else
            bad("config_server");
    }
}

// Each folder of a ':'-separated list that is absolute, in order.
std::vector<std::string> AbsoluteFolders(const char* list)
{
    std::vector<std::string> out;
    if (!list)
        return out;
    std::string all = list;
    std::size_t pos = 0;
    while (pos <= all.size()) {
        const std::size_t end = std::min(all.find(':', pos), all.size());
        std::string folder = all.substr(pos, end - pos);
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        if (!folder.empty() && folder.front() == '/')
            out.push_back(std::move(folder));
        pos = end + 1;
    }
    return out;
}

std::string TrimmedAbsolute(const char* value)
{
    if (!value || value[0] != '/')
        return {};
    std::string s = value;
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s == "/" ? std::string() : s; // the root folder: the names below start with '/'
}

// An absolute value, or the folder under HOME that the rules name when it is unset.
std::string AbsoluteOr(const char* value, const char* home, const char* underHome)
{
    if (value && value[0] == '/')
        return TrimmedAbsolute(value);
    if (!home || home[0] != '/')
        return {};
    return TrimmedAbsolute(home) + underHome;
}

// Makes `folder` and its missing parents (0700). True when it is a folder in the end.
bool MakeFolders(const std::string& folder)
{
    if (folder.empty())
        return false;
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    const std::size_t slash = folder.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolders(folder.substr(0, slash)))
        return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

} // namespace

LocalConfigProblem ReadLocalConfigText(const std::string& utf8, LocalConfigFile& out)
{
    out = LocalConfigFile{};
    LocalConfigProblem problem;
    try {
        if (!IsUtf8(utf8)) {
            problem.kind = LocalConfigProblem::Kind::NotUtf8;
            return problem;
        }
        if (utf8.find_first_not_of(" \t\r\n") == std::string::npos)
            return problem; // an empty file says nothing
        yfx::json::Document doc;
        if (!yfx::json::Parse(utf8, doc) || !doc.root.isObject()) {
            problem.kind = LocalConfigProblem::Kind::NotJson;
            return problem;
        }
        ReadMembers(doc, out, problem);
    } catch (...) {
        out = LocalConfigFile{};
        problem = LocalConfigProblem{};
        problem.kind = LocalConfigProblem::Kind::Unreadable;
    }
    return problem;
}

LocalConfigProblem ReadLocalConfigFile(const std::string& path, LocalConfigFile& out)
{
    out = LocalConfigFile{};
    std::string text;
    bool missing = false;
    if (!ReadSmallFile(path, kMaxConfigurationBytes, text, missing)) {
        LocalConfigProblem problem;
        if (!missing)
            problem.kind = LocalConfigProblem::Kind::Unreadable;
        return problem;
    }
    return ReadLocalConfigText(text, out);
}

bool ReadConfigurationLayer(int fetchResult, const std::string& text, ConfigurationLayer& out)
{
    out = ConfigurationLayer{};
    try {
        if (fetchResult < 0)
            return false;
        if (text.empty())
            return true;
        if (text.size() > kMaxConfigurationBytes)
            return false;
        yfx::json::Document doc;
        if (!yfx::json::Parse(text, doc) || doc.root.isNull())
            return false;
        const Json::Value& root = doc.root;
        auto has = [&root](const char* name) { return root.isObject() && root.isMember(name); };
        auto textOf = [&doc, &root](const char* name) { return yfx::json::MemberText(doc, root, name); };
        if (has("appkey"))
            out.appKey = textOf("appkey");
        if (has("secret"))
            out.appSecret = textOf("secret");
        if (has("pid"))
            out.pid = textOf("pid");
        if (has("search"))
            out.source = textOf("search") == "material" ? ResultSource::OpenPlatform : ResultSource::ListSearch;
        if (has("sign_method"))
            out.signMethod = textOf("sign_method") == "hmac-sha256" ? SignMethod::HmacSha256 : SignMethod::Md5;
        if (has("nicks")) {
            std::map<std::string, int> map;
            const Json::Value& nicks = root["nicks"];
            if (nicks.isArray()) {
                for (Json::ArrayIndex i = 0; i < nicks.size(); ++i)
                    map[yfx::json::MemberText(doc, nicks[i], "nick")] = static_cast<int>(i);
            }
            out.sellerNicks = std::move(map);
        }
        if (has("sellerids") && root["sellerids"].isObject())
            out.sellerIds = ReadSellerIds(doc, root["sellerids"], false);
        if (has("affiches")) {
            std::vector<std::string> list;
            const Json::Value& affiches = root["affiches"];
            if (affiches.isArray()) {
                for (Json::ArrayIndex i = 0; i < affiches.size(); ++i)
                    list.push_back(yfx::json::MemberText(doc, affiches[i], "affiche"));
            }
            out.announcements = std::move(list);
        }
        return true;
    } catch (...) {
        // out of memory while reading: nothing rather than an exception
    }
    out = ConfigurationLayer{};
    return false;
}

DataSource ChosenDataSource(const std::vector<LocalConfigFile>& local)
{
    for (const LocalConfigFile& f : local)
        if (f.dataSource != DataSource::Unset)
            return f.dataSource;
    return DataSource::Unset;
}

std::string ChosenConfigServer(const std::vector<LocalConfigFile>& local)
{
    for (const LocalConfigFile& f : local)
        if (!f.configServer.empty())
            return f.configServer;
    return {};
}

Configuration MergeConfiguration(const std::vector<LocalConfigFile>& local, const ConfigurationLayer& remote,
                                 bool demo)
{
    const DataSource chosen = ChosenDataSource(local);
    const bool localCounts = !demo && chosen != DataSource::Demo;
    const bool localApplication = localCounts && chosen != DataSource::Server;

    std::vector<const ConfigurationLayer*> application; // for key, secret, pid, search, signing
    std::vector<const ConfigurationLayer*> lists;       // for nicks and announcements
    for (const LocalConfigFile& f : local) {
        if (localApplication)
            application.push_back(&f.members);
        if (localCounts)
            lists.push_back(&f.members);
    }
    application.push_back(&remote);
    lists.push_back(&remote);

    auto first = [](const std::vector<const ConfigurationLayer*>& layers, auto member, auto fallback) {
        for (const ConfigurationLayer* layer : layers)
            if ((layer->*member).has_value())
                return *(layer->*member);
        return fallback;
    };
    Configuration cfg;
    cfg.appKey = first(application, &ConfigurationLayer::appKey, std::string());
    cfg.appSecret = first(application, &ConfigurationLayer::appSecret, std::string());
    cfg.pid = first(application, &ConfigurationLayer::pid, std::string());
    cfg.source = first(application, &ConfigurationLayer::source, ResultSource::ListSearch);
    cfg.signMethod = first(application, &ConfigurationLayer::signMethod, SignMethod::Md5);
    cfg.sellerNicks = first(lists, &ConfigurationLayer::sellerNicks, std::map<std::string, int>());
    cfg.sellerIds = first(lists, &ConfigurationLayer::sellerIds, std::map<std::string, std::string>());
    cfg.announcements = first(lists, &ConfigurationLayer::announcements, std::vector<std::string>());
    return cfg;
}

bool SecretFromKeyring(const std::vector<LocalConfigFile>& local, bool demo)
{
    const DataSource chosen = ChosenDataSource(local);
    if (demo || chosen == DataSource::Demo || chosen == DataSource::Server)
        return false;
    bool key = false;
    for (const LocalConfigFile& f : local) {
        if (f.members.appSecret)
            return false;
        key = key || f.members.appKey.has_value();
    }
    return key;
}

bool NothingToReach(const Configuration& merged, bool demo, bool serverChosen, bool remoteRead)
{
    if (demo || serverChosen || remoteRead)
        return false;
    return merged.source != ResultSource::OpenPlatform || merged.appKey.empty() || merged.pid.empty();
}

XdgFolders XdgFoldersFrom(const char* configHome, const char* configDirs, const char* cacheHome, const char* home)
{
    XdgFolders out;
    const std::string tail = std::string("/") + kFolderName;
    const std::string config = AbsoluteOr(configHome, home, "/.config");
    if (!config.empty())
        out.userConfigFile = config + tail + "/config.json";
    std::vector<std::string> dirs = AbsoluteFolders(configDirs);
    if (dirs.empty())
        dirs.emplace_back("/etc/xdg");
    for (const std::string& d : dirs)
        out.systemConfigFiles.push_back((d == "/" ? std::string() : d) + tail + "/config.json");
    const std::string cache = AbsoluteOr(cacheHome, home, "/.cache");
    if (!cache.empty())
        out.cacheFolder = cache + tail;
    return out;
}

XdgFolders XdgFoldersNow()
{
    return XdgFoldersFrom(std::getenv("XDG_CONFIG_HOME"), std::getenv("XDG_CONFIG_DIRS"),
                          std::getenv("XDG_CACHE_HOME"), std::getenv("HOME"));
}

bool ReadSmallFile(const std::string& path, std::size_t maxBytes, std::string& text, bool& missing)
{
    text.clear();
    missing = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        missing = errno == ENOENT || errno == ENOTDIR;
        return false;
    }
    bool ok = true;
    try {
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
            ok = false;
        char buf[16384];
        while (ok) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                ok = false;
            if (n <= 0)
                break;
            if (text.size() + static_cast<std::size_t>(n) > maxBytes)
                ok = false;
            else
                text.append(buf, static_cast<std::size_t>(n));
        }
    } catch (...) {
        ok = false;
    }
    ::close(fd);
    if (!ok)
        text.clear();
    return ok;
}

bool WritePrivateFile(const std::string& path, const std::string& bytes, std::string& error)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0) {
        error = "no folder in " + path;
        return false;
    }
    const std::string folder = path.substr(0, slash);
    if (!MakeFolders(folder)) {
        error = "cannot make the folder " + folder + ": " + std::strerror(errno);
        return false;
    }
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC); // 0600
    if (fd < 0) {
        error = "cannot write in " + folder + ": " + std::strerror(errno);
        return false;
    }
    std::size_t done = 0;
    bool ok = true;
    while (ok && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ok = false;
        else
            done += static_cast<std::size_t>(n);
    }
    ok = ok && ::fchmod(fd, 0600) == 0 && ::fsync(fd) == 0;
    const int writeErrno = errno;
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
        error = "cannot write " + path + ": " + std::strerror(ok ? errno : writeErrno);
        ::unlink(temp.c_str());
        return false;
    }
    // the rename itself reaches the disk with the folder
    if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

bool UpdateLocalConfigFile(const std::string& path,
                           const std::vector<std::pair<std::string, std::optional<std::string>>>& members,
                           std::string& error)
{
    try {
        std::string text;
        bool missing = false;
        Json::Value root(Json::objectValue);
        if (ReadSmallFile(path, kMaxConfigurationBytes, text, missing)) {
            yfx::json::Document doc;
            const bool blank = text.find_first_not_of(" \t\r\n") == std::string::npos;
            if (!blank && (!IsUtf8(text) || !yfx::json::Parse(text, doc) || !doc.root.isObject())) {
                error = path + " is not a JSON object; it was left as it is";
                return false;
            }
            if (!blank)
                root = doc.root;
        } else if (!missing) {
            error = "cannot read " + path;
            return false;
        }
        for (const auto& [name, value] : members) {
            if (value)
                root[name] = *value;
            else
                root.removeMember(name);
        }
        Json::StreamWriterBuilder builder;
        builder["indentation"] = "  ";
        builder["emitUTF8"] = true;
        return WritePrivateFile(path, Json::writeString(builder, root) + "\n", error);
    } catch (...) {
        error = "cannot write " + path;
        return false;
    }
}
