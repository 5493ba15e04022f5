#include "tests/support/PrivateFolders.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>

namespace yfx::test {

namespace {
constexpr const char* kUnset = "\x01";
}

PrivateFolders::PrivateFolders()
{
    std::string tmpl = (std::filesystem::temp_directory_path() / "yfx-home-XXXXXX").string();
    if (!::mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp failed");
    m_root = tmpl;
    for (const std::string& d : {ConfigHome(), SystemConfig(), CacheHome(), DataHome(), Runtime()})
        ::mkdir(d.c_str(), 0700);
    for (const std::string& e : Environment()) {
        const std::string name = e.substr(0, e.find('='));
        const char* old = std::getenv(name.c_str());
        m_saved.emplace_back(name, old ? old : kUnset);
        ::setenv(name.c_str(), e.substr(name.size() + 1).c_str(), 1);
    }
}

PrivateFolders::~PrivateFolders()
{
    for (const auto& [name, value] : m_saved) {
        if (value == kUnset)
            ::unsetenv(name.c_str());
        else
            ::setenv(name.c_str(), value.c_str(), 1);
    }
    std::error_code ignored;
    std::filesystem::remove_all(m_root, ignored);
}

std::vector<std::string> PrivateFolders::Environment() const
{
    return {"XDG_CONFIG_HOME=" + ConfigHome(), "XDG_CONFIG_DIRS=" + SystemConfig(), "XDG_CACHE_HOME=" + CacheHome(),
            "XDG_DATA_HOME=" + DataHome(), "XDG_RUNTIME_DIR=" + Runtime()};
}

} // namespace yfx::test
