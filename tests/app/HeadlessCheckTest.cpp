// `yuefengxuan --check-watched` from outside, in processes with no display at all: one check
// against the bundled server, two checks started at once, and the two ways it refuses (no
// keys, no store).
#include "PrivateFolders.h"
#include "tests/support/MarketServerProcess.h"

#include "store/CPriceDatabase.h"
#include "tools/market-server/Catalogue.h"
#include "tools/market-server/MaterialGateway.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace yfx;

namespace {

struct Child {
    pid_t pid = -1;
    std::string outPath, errPath;
    int status = -1;
    std::string out, err;
};

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Starts the program with `args` and exactly `env` as its environment (no DISPLAY,
// WAYLAND_DISPLAY or QT_QPA_PLATFORM).
Child Start(const std::vector<std::string>& args, const std::vector<std::string>& env, const std::string& folder, int n)
{
    Child r;
    r.outPath = folder + "/out" + std::to_string(n);
    r.errPath = folder + "/err" + std::to_string(n);
    r.pid = fork();
    if (r.pid == 0) {
        const int out = open(r.outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(r.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char*> argv{const_cast<char*>(YFX_PROGRAM_PATH)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (const std::string& e : env)
            envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        execve(YFX_PROGRAM_PATH, argv.data(), envp.data());
        _exit(127);
    }
    return r;
}

void Wait(Child& r)
{
    int status = 0;
    waitpid(r.pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = ReadAll(r.outPath);
    r.err = ReadAll(r.errPath);
}

class HeadlessCheckTest : public testing::Test {
protected:
    std::vector<std::string> Environment() const
    {
        std::vector<std::string> env = m_folders.Environment();
        env.push_back("HOME=" + m_folders.Root());
        env.push_back("PATH=/usr/bin:/bin");
        // a sanitizer build's options (suppressions, halting) hold for the program too
        for (const char* name : {"TSAN_OPTIONS", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
            if (const char* value = std::getenv(name))
                env.push_back(std::string(name) + "=" + value);
        return env;
    }
    void WriteConfig(const std::string& text)
    {
        std::filesystem::create_directories(m_folders.ConfigHome() + "/yuefengxuan");
        std::ofstream(m_folders.UserConfigFile()) << text;
    }
    // Watches `count` items of the server's catalogue (its default seed and size).
    void WatchItems(int count)
    {
        store::CPriceDatabase::Options o;
        o.path = m_folders.DataHome() + "/yuefengxuan/prices.sqlite";
        store::CPriceDatabase db(o);
        ASSERT_NE(db.Open().state, store::StoreStatus::State::Unavailable);
        static const server::Catalogue catalogue = server::Catalogue::Generate(20130328, 2000);
        for (int i = 0; i < count; ++i) {
            const server::CatalogueItem& item = catalogue.Items()[static_cast<std::size_t>(i)];
            store::Sighting s;
            s.key = {ResultSource::OpenPlatform, server::MaterialGateway::ItemId(item)};
            s.title = item.titleUtf8;
            s.price = item.priceCents * 2; // dearer when added: the check finds drops
            ASSERT_EQ(db.Watch(s, {}), store::WatchOutcome::Added);
        }
    }

    test::PrivateFolders m_folders;
};

const char* kKeys = R"({"appkey": "12345678", "secret": "yfx-local-secret", "pid": "mm_10000001_2000002_30000003"})";

} // namespace

TEST_F(HeadlessCheckTest, TwoChecksAtOnceWithoutADisplayCheckOnce)
{
    // the first request waits a little, so that the second check starts while the first runs
    test::MarketServerProcess server({"--fault", "/router/rest=delay:2000@1"});
    ASSERT_TRUE(server.Started()) << server.Error();
    WriteConfig(kKeys);
    WatchItems(25);
    const std::vector<std::string> args = {"--check-watched", "--server", server.BaseUrl()};
    Child first = Start(args, Environment(), m_folders.Root(), 1);
    Child second = Start(args, Environment(), m_folders.Root(), 2);
    Wait(first);
    Wait(second);
    for (const Child* r : {&first, &second})
        EXPECT_EQ(r->status, 0) << r->out << r->err;
    const std::string both = first.out + second.out;
    EXPECT_NE(both.find("checked 25 watched items: 25 found, 0 gone, 25 alerts, 2 requests"), std::string::npos) << both;
    EXPECT_NE(both.find("another check has just finished"), std::string::npos) << both;
    std::size_t asked = 0;
    for (const test::MarketRequest& r : server.Requests())
        asked += r.path == "/router/rest";
    EXPECT_EQ(asked, 2u); // one check of 25 items: 20 + 5
    EXPECT_NE(both.find("降价提醒"), std::string::npos);
}

TEST_F(HeadlessCheckTest, NoKeysOrNoStoreExitNonZeroWithOneLine)
{
    test::MarketServerProcess server;
    ASSERT_TRUE(server.Started()) << server.Error();
    const struct {
        const char* name;
        const char* config;
        bool storeIsAFile;
        const char* says;
    } cases[] = {
        {"no keys", "{}", false, "AppKey"},
        {"no store", kKeys, true, "价格记忆不可用"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteConfig(c.config);
        std::vector<std::string> env = Environment();
        if (c.storeIsAFile) {
            const std::string file = m_folders.Root() + "/not-a-folder";
            std::ofstream(file) << "x";
            for (std::string& e : env)
                if (e.rfind("XDG_DATA_HOME=", 0) == 0)
                    e = "XDG_DATA_HOME=" + file;
        }
        Child r = Start({"--check-watched", "--server", server.BaseUrl()}, env, m_folders.Root(), 3);
        Wait(r);
        EXPECT_NE(r.status, 0);
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
}
