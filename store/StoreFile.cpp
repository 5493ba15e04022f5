#include "store/StoreFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace yfx::store {

namespace {

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Takes group and other access away from something of ours.
void MakePrivate(const char* path, const struct stat& st)
{
    if (st.st_uid == geteuid() && (st.st_mode & 077) != 0)
        chmod(path, st.st_mode & 0700);
}

bool MakeFolders(const std::string& folder, std::string& problem)
{
    struct stat st {};
    if (stat(folder.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) {
            problem = folder + " 不是文件夹";
            return false;
        }
        return true;
    }
    const std::string parent = FolderOf(folder);
    if (parent != folder && !MakeFolders(parent, problem))
        return false;
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        problem = "无法建立文件夹 " + folder + "：" + ErrnoText(errno);
        return false;
    }
    return true;
}

} // namespace

std::string ErrnoText(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return "没有权限";
    case EROFS:
        return "只读文件系统";
    case ENOSPC:
        return "磁盘已满";
    case EISDIR:
        return "是一个文件夹";
    case ENOENT:
        return "不存在";
    default:
        return std::strerror(error);
    }
}

std::string DefaultStorePath()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    std::string base;
    if (data && data[0] == '/') {
        base = data;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || home[0] != '/')
            return {};
        base = std::string(home) + "/.local/share";
    }
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + "/yuefengxuan/prices.sqlite";
}

bool PrepareStoreFolder(const std::string& path, std::string& problem)
{
    const std::string folder = FolderOf(path);
    if (!MakeFolders(folder, problem))
        return false;
    struct stat st {};
    if (stat(folder.c_str(), &st) == 0)
        MakePrivate(folder.c_str(), st);
    return true;
}

bool PrepareStoreFile(const std::string& path, std::string& problem)
{
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        problem = path + " 是一个文件夹";
        return false;
    }
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        problem = "无法写入 " + path + "：" + ErrnoText(errno);
        return false;
    }
    if (fstat(fd, &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            close(fd);
            problem = path + " 不是普通文件";
            return false;
        }
        if (st.st_uid == geteuid() && (st.st_mode & 077) != 0)
            fchmod(fd, st.st_mode & 0700);
    }
    close(fd);
    // The folder must take new files too: the write-ahead log and its index sit beside it.
    const std::string folder = FolderOf(path);
    if (faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
        problem = "无法写入文件夹 " + folder + "：" + ErrnoText(errno);
        return false;
    }
    return true;
}

std::string CorruptName(const std::string& path, std::int64_t time)
{
    const std::time_t t = static_cast<std::time_t>(time);
    std::tm tm{};
    localtime_r(&t, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
    return path + ".corrupt-" + stamp;
}

bool SetAside(const std::string& path, const std::string& newName, std::string& problem)
{
    if (std::rename(path.c_str(), newName.c_str()) != 0) {
        problem = "无法改名 " + path + "：" + ErrnoText(errno);
        return false;
    }
    // A log left beside a fresh file would be read into it: it goes with the damaged file.
    const std::string wal = path + "-wal";
    if (access(wal.c_str(), F_OK) == 0)
        std::rename(wal.c_str(), (newName + "-wal").c_str());
    unlink((path + "-shm").c_str());
    return true;
}

} // namespace yfx::store
