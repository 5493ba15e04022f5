// Kills a child that writes batches to a store file at 200 random moments (while it opens the
// file and while it writes); after every kill the file passes SQLite's integrity check and holds
// every batch the child reported committed.
#include "StoreTestSupport.h"

#include <gtest/gtest.h>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <cstdio>
#include <poll.h>
#include <random>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

struct Child {
    pid_t pid = -1;
    int out = -1; // read end of its standard output
};

Child Spawn(const std::string& path, long firstBatch)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    const std::string first = std::to_string(firstBatch);
    char* argv[] = {const_cast<char*>(YFX_KILL_CHILD), const_cast<char*>(path.c_str()), const_cast<char*>(first.c_str()),
                    nullptr};
    Child c;
    if (posix_spawn(&c.pid, YFX_KILL_CHILD, &actions, nullptr, argv, environ) != 0)
        c.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    c.out = fds[0];
    return c;
}

// Reads what the child wrote until `until` says stop or the time is up.
bool ReadUntil(int fd, std::string& text, const std::function<bool()>& until, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!until()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
            return false;
        char buf[4096];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            return until();
        text.append(buf, static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace

TEST(StoreKill, EveryCommittedBatchSurvivesAKillAtAnyMoment)
{
    yfx::test::TempFolder folder;
    const std::string path = folder.File("prices.sqlite");
    std::mt19937 random(20261209);
    std::uniform_int_distribution<int> batchesFirst(0, 3);    // batches the child reports first
    std::uniform_int_distribution<int> thenWrite(0, 3000);    // microseconds into the writing after them
    std::uniform_int_distribution<int> whileOpening(0, 4000); // microseconds after the start
    long nextBatch = 0;
    long committedTotal = 0;
    int killedWhileWriting = 0;
    for (int kill = 0; kill < 200; ++kill) {
        SCOPED_TRACE("kill " + std::to_string(kill));
        const Child child = Spawn(path, nextBatch);
        ASSERT_GT(child.pid, 0);
        std::string text;
        // One kill in four lands while the child starts and opens the file.
        if (kill % 4 == 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(whileOpening(random)));
        } else {
            // A moment while it writes, however fast this build writes: after some batches, and
            // some way into the next.
            const int batches = batchesFirst(random);
            auto reported = [&] {
                if (text.find("ready\n") == std::string::npos)
                    return false;
                int n = 0;
                for (std::size_t at = text.find("committed "); at != std::string::npos; at = text.find("committed ", at + 1))
                    ++n;
                return n >= batches;
            };
            ASSERT_TRUE(ReadUntil(child.out, text, reported, std::chrono::seconds(30)));
            std::this_thread::sleep_for(std::chrono::microseconds(thenWrite(random)));
            ++killedWhileWriting;
        }
        ::kill(child.pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child.pid, &status, 0), child.pid);
        ReadUntil(child.out, text, [] { return false; }, std::chrono::milliseconds(0));
        for (char buf[4096];;) { // the rest of what it wrote before it died
            const ssize_t n = read(child.out, buf, sizeof buf);
            if (n <= 0)
                break;
            text.append(buf, static_cast<std::size_t>(n));
        }
        close(child.out);

        std::vector<long> committed;
        for (std::size_t at = text.find("committed "); at != std::string::npos; at = text.find("committed ", at + 1))
            committed.push_back(std::atol(text.c_str() + at + 10));
        committedTotal += static_cast<long>(committed.size());
        nextBatch += 1000; // every child writes batches of its own

        if (!std::filesystem::exists(path))
            continue; // killed before it made the file
        SQLite::Database db(path, SQLite::OPEN_READONLY, 5000);
        ASSERT_EQ(db.execAndGet("PRAGMA integrity_check").getString(), "ok");
        if (committed.empty())
            continue;
        SQLite::Statement count(db, "SELECT count(*) FROM items i JOIN prices p ON p.item = i.id"
                                    " WHERE i.source = 0 AND i.item >= ?1 AND i.item < ?2 AND p.price = ?3");
        for (long batch : committed) {
            const std::string prefix = "b" + std::to_string(batch) + "-";
            count.reset();
            count.bind(1, prefix);
            count.bind(2, "b" + std::to_string(batch) + ".");
            count.bind(3, static_cast<std::int64_t>(batch));
            ASSERT_TRUE(count.executeStep());
            ASSERT_EQ(count.getColumn(0).getInt(), 40) << "batch " << batch;
        }
    }
    // the kills did land while batches were written
    EXPECT_GT(killedWhileWriting, 100);
    EXPECT_GT(committedTotal, 200);
}
