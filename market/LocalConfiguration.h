#pragma once
// The configuration as the program composes it: the user's own file, the system's files and
// the remote document, member by member, and the files on disk that hold it.
//
// A local file ($XDG_CONFIG_HOME/yuefengxuan/config.json, then each folder of
// $XDG_CONFIG_DIRS) is UTF-8 JSON written by a person. It takes the members of the remote
// document ("appkey", "secret", "pid", "search", "sign_method", "nicks", "sellerids",
// "affiches") and two
// of its own: "source" ("demo", "platform" or "server": what the settings dialog chose) and
// "config_server" (the configuration server's address). Texts become GB18030 bytes, as the
// rest of the core keeps them.
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "market/Configuration.h"

// The members one source gives; a member it lacks is empty here.
struct ConfigurationLayer {
    std::optional<std::string> appKey;
    std::optional<std::string> appSecret;
    std::optional<std::string> pid;
    std::optional<ResultSource> source;   // "search"
    std::optional<SignMethod> signMethod; // "sign_method"
    std::optional<std::map<std::string, int>> sellerNicks;
    std::optional<std::map<std::string, std::string>> sellerIds; // "sellerids"
    std::optional<std::vector<std::string>> announcements;
};

// Where the user asked the results to come from ("source" of a local file).
enum class DataSource {
    Unset,        // no choice: the documents as they come
    Demo,         // the bundled server, started for the program
    OpenPlatform, // the user's own open-platform application
    Server,       // a configuration server ("config_server")
};

struct LocalConfigFile {
    ConfigurationLayer members;
    DataSource dataSource = DataSource::Unset;
    std::string configServer; // "config_server", "" when absent
};

// What was wrong with a local file (the file or its members were left out).
struct LocalConfigProblem {
    enum class Kind {
        None,
        Unreadable, // the file exists but cannot be read, or is longer than kMaxConfigurationBytes
        NotUtf8,    // bytes that are not UTF-8
        NotJson,    // no JSON object
        BadMembers, // the members named in `members` had the wrong type and were left out
    };
    Kind kind = Kind::None;
    std::vector<std::string> members;
};

// Reads a local file's text. An empty text (or only white space) is an empty file. A text that is not UTF-8 or not a JSON object gives an empty
// file; a member of the wrong type is left out and named in the problem. Accepted types:
// "appkey", "secret", "pid" a string or a whole number (its digits); "search", "sign_method",
// "source" strings; "config_server" an http or https address; "nicks" an array of objects
// whose "nick" is a string; "sellerids" an object of seller ids (numbers or texts of 1 to 20
// digits; other values are left out); "affiches" an array of objects whose "affiche" is a string.
// Unknown members are ignored. Never throws.
LocalConfigProblem ReadLocalConfigText(const std::string& utf8, LocalConfigFile& out);

// Reads the file at `path`: a missing file is an empty one without a problem. Never throws.
LocalConfigProblem ReadLocalConfigFile(const std::string& path, LocalConfigFile& out);

// The remote document's members (`fetchResult` as HttpGetText gives it): present when the
// document has the member, read by the rules of ReadConfigurationText. False as it reports.
bool ReadConfigurationLayer(int fetchResult, const std::string& text, ConfigurationLayer& out);

// The choice of the first local file (most wanted first) that makes one.
DataSource ChosenDataSource(const std::vector<LocalConfigFile>& local);
// The configuration server's address of the first local file that names one, or "".
std::string ChosenConfigServer(const std::vector<LocalConfigFile>& local);

// Each member from the first of the local files (most wanted first), then the remote
// document, that has it. In demo (`demo`, or a local choice of the demo) only the remote
// document counts; with the choice of a configuration server the local files give only
// "nicks" and "affiches", so that the server's application is used. A member none has is
// empty (list search, MD5).
Configuration MergeConfiguration(const std::vector<LocalConfigFile>& local, const ConfigurationLayer& remote,
                                 bool demo);

// True when the local files give an application key but no secret: the secret is then the
// keyring's. Never in demo or with the choice of a configuration server.
bool SecretFromKeyring(const std::vector<LocalConfigFile>& local, bool demo);

// True when nothing can give results: not in demo, no server chosen (an endpoint named on the
// command line, in the environment or in a file), no remote document ever read, and no
// open-platform application of the user's own (material search with key and affiliate id).
bool NothingToReach(const Configuration& merged, bool demo, bool serverChosen, bool remoteRead);

// The folders of the XDG Base Directory rules, from the values of XDG_CONFIG_HOME,
// XDG_CONFIG_DIRS, XDG_CACHE_HOME and HOME (null: unset). A relative or empty value counts as
// unset.
struct XdgFolders {
    std::string userConfigFile;                // <config home>/yuefengxuan/config.json
    std::vector<std::string> systemConfigFiles; // <each config dir>/yuefengxuan/config.json, in order
    std::string cacheFolder;                   // <cache home>/yuefengxuan
};
XdgFolders XdgFoldersFrom(const char* configHome, const char* configDirs, const char* cacheHome, const char* home);
// The same from the process's environment.
XdgFolders XdgFoldersNow();

// Reads a whole file of at most `maxBytes`. Missing: false with `missing` set; unreadable or
// longer: false. Never throws.
bool ReadSmallFile(const std::string& path, std::size_t maxBytes, std::string& text, bool& missing);

// Writes `bytes` to `path`, readable by the user only (0600): a new file in the same folder,
// flushed to the disk, renamed over the old one, so that a crash leaves one or the other whole.
// Missing folders are made (0700). False with `error` when it cannot be done.
bool WritePrivateFile(const std::string& path, const std::string& bytes, std::string& error);

// Sets (a value) or removes (nothing) members of the local file at `path`, keeping the rest of
// it, and writes it anew with WritePrivateFile. Values are UTF-8. False with `error` when the
// file is there but is no JSON object (it is left as it is) or cannot be written.
bool UpdateLocalConfigFile(const std::string& path,
                           const std::vector<std::pair<std::string, std::optional<std::string>>>& members,
                           std::string& error);

// The documents kept for the next start, in the cache folder.
inline constexpr const char* kCachedConfigDocument = "config-document";
inline constexpr const char* kCachedCategoryDocument = "category-document";
