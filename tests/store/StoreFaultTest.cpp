// Every fault of the store's file, through the store thread as the program uses it: the
// program runs on with memory off (and says why), or sets a damaged file aside and starts a
// fresh one; a file it cannot read as its own is never changed.
#include "StoreTestSupport.h"

#include "store/CPriceStore.h"

#include <gtest/gtest.h>

#include <SQLiteCpp/Database.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <future>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace yfx;
using namespace yfx::store;
using yfx::test::MakeSighting;
using yfx::test::QueryText;
using yfx::test::TempFolder;
namespace fs = std::filesystem;

namespace {

// Root reads and writes whatever the modes say: a test run as root gives up the capabilities
// that override file modes, so that a file of mode 0400 is read-only to it as to anyone.
class WithoutFileModeOverride : public testing::Environment {
public:
    void SetUp() override
    {
        if (geteuid() != 0)
            return;
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2]{};
        ASSERT_EQ(syscall(SYS_capget, &header, data), 0);
        for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER}) {
            data[0].effective &= ~(1u << cap);
            data[0].permitted &= ~(1u << cap);
        }
        ASSERT_EQ(syscall(SYS_capset, &header, data), 0);
    }
};
const testing::Environment* const g_environment = testing::AddGlobalTestEnvironment(new WithoutFileModeOverride);

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// A store file with some rows, its log folded in.
void MakeStore(const std::string& path, int items)
{
    {
        CPriceStore::Settings settings;
        settings.database.path = path;
        CPriceStore store(settings, {});
        std::vector<Sighting> batch;
        for (int i = 0; i < items; ++i)
            batch.push_back(MakeSighting("item-" + std::to_string(i), 100 + i));
        store.Record(batch);
    }
    SQLite::Database db(path, SQLite::OPEN_READWRITE);
    db.exec("PRAGMA wal_checkpoint(TRUNCATE)");
}

struct Opened {
    StoreStatus status;
    int written = 0;      // rows of a batch written afterwards
    std::size_t answers = 0; // summaries answered afterwards
};

// Opens a store on `path` as the program does, then writes one batch and asks one question.
Opened OpenAndUse(const std::string& path, int busyTimeoutMs = 3000)
{
    CPriceStore::Settings settings;
    settings.database.path = path;
    settings.database.busyTimeoutMs = busyTimeoutMs;
    std::promise<StoreStatus> status;
    std::promise<int> written;
    std::promise<std::size_t> answers;
    CPriceStore store(settings, [&](const StoreStatus& s) { status.set_value(s); });
    store.Record(std::vector<Sighting>{MakeSighting("new", 500)}, [&](int n) { written.set_value(n); });
    store.AskSummaries({{{ResultSource::ListSearch, "new"}, 500}},
                       [&](std::vector<PriceSummary> s) { answers.set_value(s.size()); });
    return {status.get_future().get(), written.get_future().get(), answers.get_future().get()};
}

struct FaultCase {
    const char* name;
    // Damages the store at `path` (in the folder `folder`); may leave something to clean up.
    std::function<void(const std::string& path, const std::string& folder)> damage;
    StoreStatus::State state;
    const char* says; // part of the message
};

class StoreFault : public testing::TestWithParam<FaultCase> {};

} // namespace

TEST_P(StoreFault, RunsOnWithoutMemoryOrAFreshFile)
{
    const FaultCase& c = GetParam();
    TempFolder temp;
    const std::string folder = temp.File("data");
    const std::string path = folder + "/prices.sqlite";
    fs::create_directories(folder);
    MakeStore(path, 200);
    c.damage(path, folder);
    std::error_code ec;
    const bool isFile = fs::is_regular_file(path, ec);
    const std::string before = isFile ? ReadAll(path) : std::string();

    const Opened o = OpenAndUse(path, 300);
    EXPECT_EQ(o.status.state, c.state) << o.status.message;
    EXPECT_NE(o.status.message.find(c.says), std::string::npos) << o.status.message;
    if (c.state == StoreStatus::State::Unavailable) {
        EXPECT_EQ(o.written, -1);
        EXPECT_EQ(o.answers, 0u);
        if (isFile) {
            chmod(path.c_str(), 0600);
            chmod(folder.c_str(), 0700);
            EXPECT_EQ(ReadAll(path), before) << "a file that cannot be used is left as it was";
        }
    } else {
        // set aside whole under the name the status gives, a fresh file in its place
        EXPECT_EQ(o.status.message.rfind(path + ".corrupt-", 0), 0u) << o.status.message;
        EXPECT_EQ(ReadAll(o.status.message), before);
        EXPECT_EQ(o.written, 1);
        EXPECT_EQ(o.answers, 1u);
        EXPECT_EQ(QueryText(path, "PRAGMA integrity_check"), "ok");
        EXPECT_EQ(QueryText(path, "SELECT count(*) FROM items"), "1");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, StoreFault,
    testing::Values(
        FaultCase{"Garbage",
                  [](const std::string& path, const std::string&) {
                      std::string junk;
                      while (junk.size() < 8192)
                          junk += "this is no database, just text \x01\x02\xff ";
                      WriteAll(path, junk);
                  },
                  StoreStatus::State::Renamed, ".corrupt-"},
        FaultCase{"Truncated",
                  [](const std::string& path, const std::string&) {
                      fs::resize_file(path, fs::file_size(path) / 2);
                  },
                  StoreStatus::State::Renamed, ".corrupt-"},
        FaultCase{"ReadOnlyFile",
                  [](const std::string& path, const std::string&) { chmod(path.c_str(), 0400); },
                  StoreStatus::State::Unavailable, "没有权限"},
        FaultCase{"ReadOnlyFolder",
                  [](const std::string&, const std::string& folder) { chmod(folder.c_str(), 0400); },
                  StoreStatus::State::Unavailable, "没有权限"},
        FaultCase{"FolderInPlaceOfTheFile",
                  [](const std::string& path, const std::string&) {
                      fs::remove(path);
                      fs::create_directory(path);
                  },
                  StoreStatus::State::Unavailable, "是一个文件夹"},
        FaultCase{"NewerSchema",
                  [](const std::string& path, const std::string&) {
                      SQLite::Database db(path, SQLite::OPEN_READWRITE);
                      db.exec("PRAGMA user_version = 99");
                      db.exec("PRAGMA wal_checkpoint(TRUNCATE)");
                  },
                  StoreStatus::State::Unavailable, "较新版本"}),
    [](const testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

TEST(StoreFaults, LockedBySecondConnectionPastTheBusyTimeOut)
{
    TempFolder temp;
    const std::string path = temp.File("prices.sqlite");
    MakeStore(path, 10);
    SQLite::Database holder(path, SQLite::OPEN_READWRITE);
    holder.exec("PRAGMA locking_mode = EXCLUSIVE");
    holder.exec("BEGIN EXCLUSIVE");
    holder.exec("DELETE FROM items WHERE item = 'item-0'"); // the lock is taken and kept
    const Opened o = OpenAndUse(path, 200);
    EXPECT_EQ(o.status.state, StoreStatus::State::Unavailable);
    EXPECT_NE(o.status.message.find("锁住"), std::string::npos) << o.status.message;
    EXPECT_EQ(o.written, -1);
    holder.exec("ROLLBACK");
}

TEST(StoreFaults, FullDiskWhileWritingTurnsMemoryOffOnce)
{
    TempFolder temp;
    const std::string path = temp.File("prices.sqlite");
    CPriceStore::Settings settings;
    settings.database.path = path;
    std::vector<StoreStatus> statuses;
    std::mutex lock;
    std::promise<void> opened;
    std::vector<int> written;
    {
        CPriceStore store(settings, [&](const StoreStatus& s) {
            std::lock_guard guard(lock);
            statuses.push_back(s);
            if (statuses.size() == 1)
                opened.set_value();
        });
        opened.get_future().wait();
        store.Record(std::vector<Sighting>{MakeSighting("before", 1)}, [&](int n) { written.push_back(n); });
        std::promise<void> ready;
        store.Call([&] { ready.set_value(); });
        ready.get_future().wait();

        // The file may grow no further: the next big window cannot be written.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        const std::uintmax_t largest = std::max(fs::file_size(path), fs::file_size(path + "-wal"));
        const rlimit small{static_cast<rlim_t>(largest + 4096), old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &small);
        std::vector<Sighting> big;
        for (int i = 0; i < 400; ++i)
            big.push_back(MakeSighting("big-" + std::to_string(i), i));
        store.Record(big, [&](int n) { written.push_back(n); });
        store.Record(std::vector<Sighting>{MakeSighting("after", 1)}, [&](int n) { written.push_back(n); });
        std::promise<void> done;
        store.Call([&] { done.set_value(); });
        done.get_future().wait();
        setrlimit(RLIMIT_FSIZE, &old);
        EXPECT_FALSE(store.Available());
    }
    EXPECT_EQ(written, (std::vector<int>{1, -1, -1}));
    ASSERT_EQ(statuses.size(), 2u);
    EXPECT_EQ(statuses[0].state, StoreStatus::State::Ready);
    EXPECT_EQ(statuses[1].state, StoreStatus::State::Unavailable);
    EXPECT_FALSE(statuses[1].message.empty());
    // what was written before is intact
    EXPECT_EQ(QueryText(path, "PRAGMA integrity_check"), "ok");
    EXPECT_EQ(QueryText(path, "SELECT group_concat(item) FROM items"), "before");
}
