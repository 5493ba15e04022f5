#include "market/AppState.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace yfx {

std::string MakePictureFolderUnder(const std::string& parent)
{
    if (parent.empty())
        return {};
    std::string base = parent;
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    const std::string folder = base + "/yuefengxuan-" + std::to_string(::getuid());

    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return {};
    // Whatever stands there now must be our own real folder, closed to everybody else:
    // lstat does not follow a link planted in its place.
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0)
        return {};
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return {};
    if ((st.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0)
        return {};
    return folder + "/";
}

std::string MakePictureFolder()
{
    for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
        const char* v = std::getenv(name);
        if (v && *v) {
            std::string folder = MakePictureFolderUnder(v);
            if (!folder.empty())
                return folder;
        }
    }
    return MakePictureFolderUnder("/tmp");
}

BadgeTable::BadgeTable()
{
    for (int n = 1; n <= kLevels; ++n)
        m_ids[static_cast<size_t>(n - 1)] = 314u + static_cast<unsigned>(n);
}

unsigned BadgeTable::ForLevel(int level) const
{
    if (level < 1 || level > kLevels)
        return 0;
    return m_ids[static_cast<size_t>(level - 1)];
}

} // namespace yfx
