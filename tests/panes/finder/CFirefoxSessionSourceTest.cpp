// Firefox's session store: profile discovery, the mozLz4 file format, the session document,
// and every way another program's file can be wrong.
#include "panes/finder/CFirefoxSessionSource.h"

#include "panes/finder/ItemPageRules.h"
#include "tests/panes/finder/FinderTestSupport.h"
#include "tests/panes/finder/SessionFiles.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <chrono>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace yfx {
namespace {

namespace fs = std::filesystem;
using test::Gbk;
using test::MozLz4;
using test::TempDir;
using test::WriteFile;

// A tab as Firefox stores it: its history entries and the 1-based index of the current one.
Json::Value Tab(const std::vector<BrowserPage>& entries, std::optional<Json::Value> index = std::nullopt)
{
    Json::Value tab(Json::objectValue);
    Json::Value list(Json::arrayValue);
    for (const BrowserPage& e : entries) {
        Json::Value entry(Json::objectValue);
        entry["url"] = e.url;
        entry["title"] = e.title;
        entry["charset"] = "UTF-8";
        entry["ID"] = 7;
        entry["triggeringPrincipal_base64"] = "{\"3\":{}}";
        list.append(entry);
    }
    tab["entries"] = list;
    if (index)
        tab["index"] = *index;
    tab["lastAccessed"] = 1733700000000.0;
    tab["hidden"] = false;
    tab["attributes"] = Json::Value(Json::objectValue);
    return tab;
}

Json::Value Window(const std::vector<Json::Value>& tabs, bool closed = false)
{
    Json::Value window(Json::objectValue);
    Json::Value list(Json::arrayValue);
    for (const Json::Value& t : tabs)
        list.append(t);
    window["tabs"] = list;
    window["selected"] = 1;
    window["_closedTabs"] = Json::Value(Json::arrayValue);
    if (closed)
        window["closedAt"] = 1733700000123.0;
    return window;
}

// The session document with its windows, written as Firefox does: compact UTF-8 JSON.
std::string Session(const std::vector<Json::Value>& windows)
{
    Json::Value root(Json::objectValue);
    root["version"][0] = "sessionrestore";
    root["version"][1] = 1;
    Json::Value list(Json::arrayValue);
    for (const Json::Value& w : windows)
        list.append(w);
    root["windows"] = list;
    root["selectedWindow"] = 1;
    root["_closedWindows"] = Json::Value(Json::arrayValue);
    root["session"]["lastUpdate"] = 1733700000456.0;
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    writer["emitUTF8"] = true;
    return Json::writeString(writer, root);
}

fs::path RecoveryFile(const fs::path& profile)
{
    return profile / "sessionstore-backups" / "recovery.jsonlz4";
}

const BrowserPage kBlank{"about:blank", "New Tab"};
const BrowserPage kMarketItem{"http://item.taobao.com/item.htm?id=101", "红色连衣裙 夏季-淘宝网"};
const BrowserPage kMallItem{"http://detail.tmall.com/item.htm?id=202&skuId=3", "男士皮鞋-tmall.com天猫"};
const BrowserPage kSecureItem{"https://item.taobao.com/item.htm?id=303", "安全连接-淘宝网"};
const BrowserPage kOther{"http://www.example.org/news", "News - Example"};
const BrowserPage kHyphenless{"http://item.taobao.com/item.htm?id=404", "无连字符"};
const BrowserPage kOldProfileItem{"http://item.taobao.com/item.htm?id=505", "旧档案的商品-淘宝网"};
const BrowserPage kClosedItem{"http://item.taobao.com/item.htm?id=606", "已关闭窗口-淘宝网"};

class FirefoxSessionTest : public ::testing::Test {
protected:
    fs::path Root() const { return m_home.Path() / ".mozilla" / "firefox"; }

    // Firefox's usual layout: a profile created by an older release marked Default=1 but
    // unused, and the profile the installation uses named by the [Install...] sections.
    void WriteIni()
    {
        WriteFile(Root() / "profiles.ini", "[Profile1]\n"
                                           "Name=default\n"
                                           "IsRelative=1\n"
                                           "Path=a1b2c3d4.default\n"
                                           "Default=1\n"
                                           "\n"
                                           "[Profile0]\n"
                                           "Name=default-release\n"
                                           "IsRelative=1\n"
                                           "Path=e5f6g7h8.default-release\n"
                                           "\n"
                                           "[General]\n"
                                           "StartWithLastProfile=1\n"
                                           "Version=2\n"
                                           "\n"
                                           "[Install4F96D1932A9F858E]\n"
                                           "Default=e5f6g7h8.default-release\n"
                                           "Locked=1\n");
        WriteFile(Root() / "installs.ini",
                  "[4F96D1932A9F858E]\r\nDefault=e5f6g7h8.default-release\r\nLocked=1\r\n");
    }

    fs::path InUse() const { return Root() / "e5f6g7h8.default-release"; }
    fs::path Unused() const { return Root() / "a1b2c3d4.default"; }

    void WriteUsualSessions()
    {
        WriteIni();
        const std::string inUse = Session({
            Window({
                Tab({kBlank, kMarketItem}, Json::Value(2)),                   // went on from a blank tab
                Tab({kSecureItem}, Json::Value(1)), Tab({kOther, kMallItem}), // no index: the last entry
                Tab({kMarketItem, kOther}, Json::Value(1)),                   // went back
            }),
            Window({Tab({kClosedItem}, Json::Value(1))}, true),
            Window({Tab({kHyphenless}, Json::Value(1)), Tab({kBlank, kMallItem}, Json::Value(7))}),
        });
        WriteFile(RecoveryFile(InUse()), MozLz4(inUse));
        WriteFile(RecoveryFile(Unused()),
                  MozLz4(Session({Window({Tab({kOldProfileItem}, Json::Value(1))})})));
    }

    std::vector<BrowserPage> UsualInUsePages() const
    {
        return {kMarketItem, kSecureItem, kMallItem, kMarketItem, kHyphenless, kMallItem};
    }

    CFirefoxSessionSource Source() const
    {
        return CFirefoxSessionSource(CFirefoxSessionSource::ProfileRootsUnder(m_home.Path()));
    }

    TempDir m_home;
};

TEST_F(FirefoxSessionTest, ReadsASessionFileJustUnderTheSizeLimit)
{
    // a long-running browser with tens of thousands of tabs: 60 MB that hardly compress
    WriteIni();
    const std::string file = test::LargeSessionFile(60'000'000, {kMallItem, kMarketItem});
    ASSERT_GE(file.size(), 60'000'000u);
    ASSERT_LE(file.size(), CFirefoxSessionSource::kMaxFileBytes);
    WriteFile(RecoveryFile(InUse()), file);
    const std::vector<BrowserPage> pages = Source().Pages();
    ASSERT_GT(pages.size(), 20000u);
    EXPECT_EQ(pages[pages.size() - 2], kMallItem);
    EXPECT_EQ(pages.back(), kMarketItem);
}

TEST_F(FirefoxSessionTest, ProfileInUseComesFirstAndEachProfileOnce)
{
    WriteIni();
    EXPECT_EQ(Source().Profiles(), (std::vector<fs::path>{InUse(), Unused()}));
}

TEST_F(FirefoxSessionTest, ReadsTheCurrentEntryOfEveryOpenTab)
{
    WriteUsualSessions();
    std::vector<BrowserPage> expected = UsualInUsePages();
    expected.push_back(kOldProfileItem);
    EXPECT_EQ(Source().Pages(), expected);
}

TEST_F(FirefoxSessionTest, GivesTheKeywordsOfBothHostsInOrder)
{
    WriteUsualSessions();
    test::ItemHosts hosts(test::kMarketItemBase, test::kMallItemBase);
    const std::vector<std::string> expected = {Gbk("红色连衣裙 夏季"), Gbk("男士皮鞋"),
                                               Gbk("红色连衣裙 夏季"), Gbk("无连字符"),
                                               Gbk("男士皮鞋"),        Gbk("旧档案的商品")};
    EXPECT_EQ(FindItemTitles(Source().Pages()), expected);
}

TEST_F(FirefoxSessionTest, DefaultSourceReadsUnderHome)
{
    WriteUsualSessions();
    test::ScopedEnv home("HOME", m_home.Path().string());
    CFirefoxSessionSource source;
    EXPECT_EQ(source.Pages().size(), UsualInUsePages().size() + 1);
}

TEST_F(FirefoxSessionTest, NoProfilesFileGivesNothing)
{
    EXPECT_TRUE(Source().Profiles().empty());
    EXPECT_TRUE(Source().Pages().empty());
    test::ScopedEnv home("HOME", "");
    EXPECT_TRUE(CFirefoxSessionSource().Pages().empty());
}

TEST_F(FirefoxSessionTest, ReadsTheNewerConfigRootAndAbsoluteProfiles)
{
    TempDir elsewhere;
    const fs::path config = m_home.Path() / ".config" / "mozilla" / "firefox";
    WriteFile(config / "profiles.ini",
              "[Profile0]\nName=work\nIsRelative=0\nPath=" + (elsewhere.Path() / "work").string() +
                  "\n\n[Profile1]\nName=home\nIsRelative=1\nPath=Profiles/x.home\n");
    WriteFile(RecoveryFile(elsewhere.Path() / "work"),
              MozLz4(Session({Window({Tab({kMallItem}, Json::Value(1))})})));
    WriteFile(RecoveryFile(config / "Profiles" / "x.home"),
              MozLz4(Session({Window({Tab({kMarketItem}, Json::Value(1))})})));
    EXPECT_EQ(Source().Pages(), (std::vector<BrowserPage>{kMallItem, kMarketItem}));
}

TEST_F(FirefoxSessionTest, DerivativesAreReadAfterFirefox)
{
    WriteFile(m_home.Path() / ".librewolf" / "profiles.ini", "[Profile0]\nIsRelative=1\nPath=lw.default\n");
    WriteFile(RecoveryFile(m_home.Path() / ".librewolf" / "lw.default"),
              MozLz4(Session({Window({Tab({kMallItem}, Json::Value(1))})})));
    WriteFile(Root() / "profiles.ini", "[Profile0]\nIsRelative=1\nPath=ff.default\n");
    WriteFile(RecoveryFile(Root() / "ff.default"),
              MozLz4(Session({Window({Tab({kMarketItem}, Json::Value(1))})})));
    EXPECT_EQ(Source().Pages(), (std::vector<BrowserPage>{kMarketItem, kMallItem}));
}

// Firefox packaged as a snap (Ubuntu's default) or a Flatpak keeps its profiles under the
// package's own folder, in the older or the newer layout.
class FirefoxPackageTest : public FirefoxSessionTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(FirefoxPackageTest, ProfilesOfThePackageAreRead)
{
    const fs::path root = m_home.Path() / GetParam();
    WriteFile(root / "profiles.ini", "[Profile0]\nIsRelative=1\nPath=pkg.default-release\n\n"
                                     "[Install4F96D1932A9F858E]\nDefault=pkg.default-release\n");
    WriteFile(RecoveryFile(root / "pkg.default-release"),
              MozLz4(Session({Window({Tab({kMarketItem}, Json::Value(1)), Tab({kMallItem}, Json::Value(1))})})));
    test::ScopedEnv home("HOME", m_home.Path().string());
    CFirefoxSessionSource source;
    EXPECT_EQ(source.Profiles(), std::vector<fs::path>{root / "pkg.default-release"});
    EXPECT_EQ(source.Pages(), (std::vector<BrowserPage>{kMarketItem, kMallItem}));
}

INSTANTIATE_TEST_SUITE_P(Packages, FirefoxPackageTest,
                         ::testing::Values("snap/firefox/common/.mozilla/firefox",
                                           "snap/firefox/common/.config/mozilla/firefox",
                                           ".var/app/org.mozilla.firefox/.mozilla/firefox",
                                           ".var/app/org.mozilla.firefox/config/mozilla/firefox"));

TEST_F(FirefoxSessionTest, FlatpakLockNamesNoProcessOfThisSystem)
{
    // The sandbox's own process ids: a number that is free here says nothing about Firefox.
    const fs::path profile = m_home.Path() / ".var/app/org.mozilla.firefox/.mozilla/firefox/pkg.default";
    fs::create_directories(profile);
    fs::create_symlink("127.0.0.1:+999999999", profile / "lock");
    EXPECT_FALSE(CFirefoxSessionSource::HasStaleLock(profile));
    const fs::path native = Root() / "pkg.default";
    fs::create_directories(native);
    fs::create_symlink("127.0.0.1:+999999999", native / "lock");
    EXPECT_TRUE(CFirefoxSessionSource::HasStaleLock(native));
}

TEST_F(FirefoxSessionTest, TheSameProfileListedTwiceIsReadOnce)
{
    WriteFile(Root() / "profiles.ini",
              "[Profile0]\nIsRelative=1\nPath=p.one\n\n[Profile1]\nIsRelative=1\nPath=./p.one\n\n"
              "[Profile2]\nIsRelative=0\nPath=" +
                  (Root() / "p.one").string() + "\n");
    WriteFile(RecoveryFile(Root() / "p.one"),
              MozLz4(Session({Window({Tab({kMarketItem}, Json::Value(1))})})));
    EXPECT_EQ(Source().Pages(), std::vector<BrowserPage>{kMarketItem});
}

TEST_F(FirefoxSessionTest, LockOfARunningFirefoxIsNotStale)
{
    WriteUsualSessions();
    fs::create_symlink("127.0.1.1:+" + std::to_string(::getpid()), InUse() / "lock");
    fs::create_symlink("garbage", Unused() / "lock");
    EXPECT_FALSE(CFirefoxSessionSource::HasStaleLock(InUse()));
    EXPECT_FALSE(CFirefoxSessionSource::HasStaleLock(Unused()));
    EXPECT_EQ(Source().Pages().size(), UsualInUsePages().size() + 1);
}

TEST_F(FirefoxSessionTest, LockOfAFirefoxThatDiedButWasNotReapedIsStale)
{
    WriteUsualSessions();
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        ::_exit(0);
    siginfo_t info{};
    ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT), 0); // a zombie now
    fs::create_symlink("127.0.1.1:+" + std::to_string(child), InUse() / "lock");
    EXPECT_TRUE(CFirefoxSessionSource::HasStaleLock(InUse()));
    EXPECT_EQ(Source().Pages(), std::vector<BrowserPage>{kOldProfileItem});
    ::waitpid(child, nullptr, 0);
}

// Each case spoils the profile in use; the other profile must still be read.
struct BadProfileCase {
    const char* name;
    std::function<void(const fs::path& profile)> spoil;
};

void PrintTo(const BadProfileCase& c, std::ostream* os)
{
    *os << c.name;
}

std::string ValidSession()
{
    return Session({Window({Tab({kMarketItem}, Json::Value(1)), Tab({kMallItem}, Json::Value(1))})});
}

class FirefoxBadProfileTest : public FirefoxSessionTest,
                              public ::testing::WithParamInterface<BadProfileCase> {};

TEST_P(FirefoxBadProfileTest, IsSkippedQuietly)
{
    WriteIni();
    WriteFile(RecoveryFile(Unused()), MozLz4(Session({Window({Tab({kOldProfileItem}, Json::Value(1))})})));
    GetParam().spoil(InUse());
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Source().Pages(), std::vector<BrowserPage>{kOldProfileItem});
    // robustness bound (a FIFO must not block the reader), not a speed target
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

INSTANTIATE_TEST_SUITE_P(
    Files, FirefoxBadProfileTest,
    ::testing::Values(
        BadProfileCase{"MissingProfileFolder", [](const fs::path&) {}},
        BadProfileCase{"MissingFile", [](const fs::path& p) { fs::create_directories(p / "sessionstore-backups"); }},
        BadProfileCase{"CleanQuitFileOnly", [](const fs::path& p) { WriteFile(p / "sessionstore.jsonlz4", MozLz4(ValidSession())); }},
        BadProfileCase{"EmptyFile", [](const fs::path& p) { WriteFile(RecoveryFile(p), ""); }},
        BadProfileCase{"HeaderOnly", [](const fs::path& p) { WriteFile(RecoveryFile(p), MozLz4(ValidSession()).substr(0, 12)); }},
        BadProfileCase{"WrongMagic",
                       [](const fs::path& p) {
                           std::string file = MozLz4(ValidSession());
                           file[6] = '1';
                           WriteFile(RecoveryFile(p), file);
                       }},
        BadProfileCase{"PlainJson", [](const fs::path& p) { WriteFile(RecoveryFile(p), ValidSession()); }},
        BadProfileCase{"Truncated",
                       [](const fs::path& p) {
                           std::string file = MozLz4(ValidSession());
                           WriteFile(RecoveryFile(p), file.substr(0, file.size() / 2));
                       }},
        BadProfileCase{"LastByteMissing",
                       [](const fs::path& p) {
                           std::string file = MozLz4(ValidSession());
                           WriteFile(RecoveryFile(p), file.substr(0, file.size() - 1));
                       }},
        BadProfileCase{"GarbageBlock",
                       [](const fs::path& p) {
                           std::string file = MozLz4(ValidSession());
                           std::fill(file.begin() + 12, file.end(), '\xFF');
                           WriteFile(RecoveryFile(p), file);
                       }},
        BadProfileCase{"DeclaresMoreThanItHolds",
                       [](const fs::path& p) {
                           std::string json = ValidSession();
                           WriteFile(RecoveryFile(p), MozLz4(json, static_cast<std::uint32_t>(json.size() + 1000)));
                       }},
        BadProfileCase{"DeclaresLessThanItHolds",
                       [](const fs::path& p) {
                           std::string json = ValidSession();
                           WriteFile(RecoveryFile(p), MozLz4(json, static_cast<std::uint32_t>(json.size() - 10)));
                       }},
        BadProfileCase{"DeclaresFourGigabytes",
                       [](const fs::path& p) { WriteFile(RecoveryFile(p), MozLz4(ValidSession(), 0xFFFFFFFFu)); }},
        BadProfileCase{"DeclaresAboveTheCap",
                       [](const fs::path& p) {
                           // a real block of that size, so only the cap can refuse it
                           std::string big(CFirefoxSessionSource::kMaxSessionBytes + 1u, ' ');
                           WriteFile(RecoveryFile(p), MozLz4(big));
                       }},
        BadProfileCase{"FileTooBig",
                       [](const fs::path& p) {
                           WriteFile(RecoveryFile(p), MozLz4(ValidSession()));
                           fs::resize_file(RecoveryFile(p), CFirefoxSessionSource::kMaxFileBytes + 1); // sparse
                       }},
        BadProfileCase{"NotJson", [](const fs::path& p) { WriteFile(RecoveryFile(p), MozLz4("this is not {json")); }},
        BadProfileCase{"JsonCutShort",
                       [](const fs::path& p) {
                           std::string json = ValidSession();
                           WriteFile(RecoveryFile(p), MozLz4(json.substr(0, json.size() - 3)));
                       }},
        BadProfileCase{"DeeplyNested",
                       [](const fs::path& p) { WriteFile(RecoveryFile(p), MozLz4("{\"windows\":" + std::string(100000, '['))); }},
        BadProfileCase{"WindowsNotAnArray",
                       [](const fs::path& p) { WriteFile(RecoveryFile(p), MozLz4(R"({"windows":{"tabs":[]}})")); }},
        BadProfileCase{"EveryPartMisshapen",
                       [](const fs::path& p) {
                           WriteFile(RecoveryFile(p), MozLz4(R"({"windows":[1,"w",null,{"tabs":"t"},{"tabs":[1,{"entries":"e"},)"
                                                             R"({"entries":[]},{"entries":[1]},{"entries":[{"url":5}]},)"
                                                             R"({"entries":[{"title":"no url"}]},{"entries":[[]],"index":1}]}]})"));
                       }},
        BadProfileCase{"RootIsArray", [](const fs::path& p) { WriteFile(RecoveryFile(p), MozLz4("[]")); }},
        BadProfileCase{"FifoInsteadOfFile",
                       [](const fs::path& p) {
                           fs::create_directories(p / "sessionstore-backups");
                           ASSERT_EQ(::mkfifo(RecoveryFile(p).c_str(), 0600), 0);
                       }},
        BadProfileCase{"FolderInsteadOfFile", [](const fs::path& p) { fs::create_directories(RecoveryFile(p)); }},
        BadProfileCase{"LinkToADevice",
                       [](const fs::path& p) {
                           fs::create_directories(p / "sessionstore-backups");
                           fs::create_symlink("/dev/zero", RecoveryFile(p));
                       }},
        BadProfileCase{"StaleAfterACrash",
                       [](const fs::path& p) {
                           WriteFile(RecoveryFile(p), MozLz4(ValidSession()));
                           // above any pid_max: no such process can exist
                           fs::create_symlink("127.0.1.1:+999999999", p / "lock");
                       }}),
    [](const ::testing::TestParamInfo<BadProfileCase>& info) { return std::string(info.param.name); });

struct IndexCase {
    const char* name;
    const char* index; // JSON text of the tab's "index", or nullptr for none
    std::size_t entry; // the 0-based entry expected
};

void PrintTo(const IndexCase& c, std::ostream* os)
{
    *os << c.name;
}

class FirefoxTabIndexTest : public ::testing::TestWithParam<IndexCase> {};

TEST_P(FirefoxTabIndexTest, PicksTheEntryFirefoxWouldRestore)
{
    const std::vector<BrowserPage> entries = {kBlank, kMarketItem, kOther};
    std::string tab = R"({"entries":[{"url":"about:blank","title":"New Tab"},)"
                      R"({"url":"http://item.taobao.com/item.htm?id=101","title":"红色连衣裙 夏季-淘宝网"},)"
                      R"({"url":"http://www.example.org/news","title":"News - Example"}])";
    if (GetParam().index)
        tab += std::string(",\"index\":") + GetParam().index;
    tab += "}";
    EXPECT_EQ(CFirefoxSessionSource::PagesFromSessionJson(R"({"windows":[{"tabs":[)" + tab + "]}]}"),
              std::vector<BrowserPage>{entries[GetParam().entry]});
}

INSTANTIATE_TEST_SUITE_P(Indexes, FirefoxTabIndexTest,
                         ::testing::Values(IndexCase{"First", "1", 0}, IndexCase{"Second", "2", 1},
                                           IndexCase{"Last", "3", 2}, IndexCase{"Missing", nullptr, 2},
                                           IndexCase{"Zero", "0", 2}, IndexCase{"BeyondTheEnd", "99", 2},
                                           IndexCase{"Huge", "1e300", 2}, IndexCase{"Negative", "-4", 0},
                                           IndexCase{"Fraction", "2.5", 1}, IndexCase{"String", "\"2\"", 2},
                                           IndexCase{"Null", "null", 2}),
                         [](const ::testing::TestParamInfo<IndexCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(FirefoxSessionJson, TitleMissingOrNotTextReadsEmpty)
{
    EXPECT_EQ(
        CFirefoxSessionSource::PagesFromSessionJson(
            R"({"windows":[{"tabs":[{"entries":[{"url":"http://a/"}]},{"entries":[{"url":"http://b/","title":7}]}]}]})"),
        (std::vector<BrowserPage>{{"http://a/", ""}, {"http://b/", ""}}));
}

TEST(FirefoxSessionFile, DecodesWhatLiblz4Wrote)
{
    const std::string json = ValidSession();
    EXPECT_EQ(CFirefoxSessionSource::DecodeSessionFile(MozLz4(json)), json);
    EXPECT_EQ(CFirefoxSessionSource::DecodeSessionFile(MozLz4(std::string(1 << 20, 'x'))),
              std::string(1 << 20, 'x'));
    EXPECT_FALSE(CFirefoxSessionSource::DecodeSessionFile(MozLz4("")));
    EXPECT_FALSE(CFirefoxSessionSource::DecodeSessionFile(std::string_view("mozLz40", 7)));
}

} // namespace
} // namespace yfx
