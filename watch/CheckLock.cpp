#include "watch/CheckLock.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace yfx::watch {

std::string CCheckLock::PathFor(const std::string& storePath)
{
    const std::size_t slash = storePath.find_last_of('/');
    return (slash == std::string::npos ? std::string(".") : storePath.substr(0, slash)) + "/check.lock";
}

CCheckLock::CCheckLock(std::string path) : m_path(std::move(path)) {}

CCheckLock::~CCheckLock()
{
    Unlock();
}

bool CCheckLock::TryLock(bool& busy, std::string& problem)
{
    busy = false;
    if (m_fd < 0) {
        m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0) {
            problem = "无法打开 " + m_path + "（" + std::strerror(errno) + "）";
            return false;
        }
    }
    if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0)
        return true;
    busy = errno == EWOULDBLOCK;
    if (!busy)
        problem = "无法锁住 " + m_path + "（" + std::strerror(errno) + "）";
    return false;
}

bool CCheckLock::Lock(bool& waited, std::string& problem)
{
    waited = false;
    if (TryLock(waited, problem))
        return true;
    if (!waited)
        return false;
    while (::flock(m_fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            problem = "无法锁住 " + m_path + "（" + std::strerror(errno) + "）";
            return false;
        }
    }
    return true;
}

void CCheckLock::Unlock()
{
    if (m_fd >= 0)
        ::close(m_fd); // the lock goes with the descriptor
    m_fd = -1;
}

std::int64_t CCheckLock::LastCheck() const
{
    const int fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    char buf[32] = {};
    const ssize_t n = ::pread(fd, buf, sizeof buf - 1, 0);
    ::close(fd);
    if (n <= 0)
        return 0;
    char* end = nullptr;
    const long long t = std::strtoll(buf, &end, 10);
    return end != buf && t > 0 ? t : 0;
}

void CCheckLock::SetLastCheck(std::int64_t time)
{
    if (m_fd < 0)
        return;
    const std::string text = std::to_string(time) + "\n";
    // not synced: a time lost in a crash only makes the next check come sooner
    if (::ftruncate(m_fd, 0) == 0)
        (void)::pwrite(m_fd, text.data(), text.size(), 0);
}

} // namespace yfx::watch
