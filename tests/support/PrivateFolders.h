#pragma once
// The XDG folders of a test (configuration, system configuration, cache, runtime) in a fresh
// temporary folder, set in the process's environment for the life of the object and removed
// afterwards: no test reads or writes the user's own settings, cache or config.json.
#include <string>
#include <vector>

namespace yfx::test {

class PrivateFolders {
public:
    PrivateFolders();  // makes the folders and sets XDG_CONFIG_HOME, XDG_CONFIG_DIRS, XDG_CACHE_HOME, XDG_DATA_HOME, XDG_RUNTIME_DIR
    ~PrivateFolders(); // puts the old values back and removes the folders
    PrivateFolders(const PrivateFolders&) = delete;
    PrivateFolders& operator=(const PrivateFolders&) = delete;

    const std::string& Root() const { return m_root; }
    std::string ConfigHome() const { return m_root + "/config"; }
    std::string SystemConfig() const { return m_root + "/xdg"; }
    std::string CacheHome() const { return m_root + "/cache"; }
    std::string DataHome() const { return m_root + "/data"; }
    std::string Runtime() const { return m_root + "/runtime"; }
    // The user's and the system's config.json of the program.
    std::string UserConfigFile() const { return ConfigHome() + "/yuefengxuan/config.json"; }
    std::string SystemConfigFile() const { return SystemConfig() + "/yuefengxuan/config.json"; }
    // "NAME=value" for each variable, for a child's environment.
    std::vector<std::string> Environment() const;

private:
    std::string m_root;
    std::vector<std::pair<std::string, std::string>> m_saved; // name, old value ("\x01": unset)
};

} // namespace yfx::test
