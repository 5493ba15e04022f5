#pragma once
// The lock that keeps two checks of the watch list from running at once, whichever programs
// run them (the window's timer, the headless check): an flock on a file in the store's folder,
// which also holds the time the last check finished. The lock goes with the process: a check
// that is killed leaves no stale lock.
#include <cstdint>
#include <string>

namespace yfx::watch {

class CCheckLock {
public:
    // "check.lock" beside the store file `storePath`.
    static std::string PathFor(const std::string& storePath);

    explicit CCheckLock(std::string path);
    ~CCheckLock(); // unlocks
    CCheckLock(const CCheckLock&) = delete;
    CCheckLock& operator=(const CCheckLock&) = delete;

    // Blocks until this process holds the lock. `waited` says whether another check held it
    // first (it has just finished a check). False with `problem` when the file cannot be had.
    bool Lock(bool& waited, std::string& problem);
    // Takes the lock only when it is free, without waiting: `busy` says another check holds
    // it. False when it was not taken.
    bool TryLock(bool& busy, std::string& problem);
    void Unlock();

    // The time the last check finished, seconds since the epoch (0: none known). Any time.
    std::int64_t LastCheck() const;
    // Records it (while locked).
    void SetLastCheck(std::int64_t time);

private:
    std::string m_path;
    int m_fd = -1;
};

} // namespace yfx::watch
