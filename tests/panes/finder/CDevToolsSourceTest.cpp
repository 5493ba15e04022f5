// The Chromium-family DevTools page list, played by a cpp-httplib server on loopback, and the
// gathering of every source's pages.
#include "panes/finder/CDevToolsSource.h"

#include "panes/finder/BrowserPages.h"
#include "panes/finder/CFirefoxSessionSource.h"
#include "panes/finder/ItemPageRules.h"
#include "tests/panes/finder/FinderTestSupport.h"
#include "tests/support/LoopbackListener.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace yfx {
namespace {

using namespace std::chrono_literals;
using test::Gbk;
using test::ScopedEnv;

// What Chromium 156 lists with one item page, one other page and its own browser_ui entries.
const char* const kChromiumList = R"([ {
   "description": "",
   "devtoolsFrontendUrl": "https://chrome-devtools-frontend.appspot.com/serve_rev/@1/inspector.html?ws=127.0.0.1:9222/devtools/page/A1",
   "id": "A1",
   "title": "红色连衣裙 夏季-淘宝网",
   "type": "page",
   "url": "http://item.taobao.com/item.htm?id=101",
   "webSocketDebuggerUrl": "ws://127.0.0.1:9222/devtools/page/A1"
}, {
   "description": "",
   "id": "B2",
   "title": "Omnibox Popup",
   "type": "browser_ui",
   "url": "chrome://omnibox-popup.top-chrome/",
   "webSocketDebuggerUrl": "ws://127.0.0.1:9222/devtools/page/B2"
}, {
   "id": "C3",
   "title": "Service Worker https://www.example.org/sw.js",
   "type": "service_worker",
   "url": "https://www.example.org/sw.js"
}, {
   "id": "D4",
   "title": "\u7537\u58eb\u76ae\u978b-tmall.com\u5929\u732b",
   "type": "page",
   "url": "http://detail.tmall.com/item.htm?id=202"
}, {
   "id": "E5",
   "title": "",
   "type": "iframe",
   "url": "http://item.taobao.com/item.htm?id=999"
}, {
   "id": "F6",
   "type": "page",
   "url": "https://item.taobao.com/item.htm?id=303"
} ]
)";

// A loopback server playing a browser's DevTools endpoint. /json/list answers whatever the
// test set; /json/drip answers one byte at a time without ever finishing.
class DevToolsServer {
public:
    DevToolsServer()
    {
        m_server.set_tcp_nodelay(true);
        m_server.Get("/json/list", [this](const httplib::Request&, httplib::Response& res) {
            std::lock_guard lock(m_mutex);
            res.status = m_nStatus;
            if (!m_strLocation.empty())
                res.set_header("Location", m_strLocation);
            res.set_content(m_strBody, "application/json; charset=UTF-8");
        });
        m_server.Get("/json/elsewhere", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(kChromiumList, "application/json; charset=UTF-8");
        });
        m_listener = std::make_unique<yfx::test::LoopbackListener>(m_server);
    }

    ~DevToolsServer()
    {
        m_bStopping = true;
        m_listener.reset();
    }

    int Port() const { return m_listener->Port(); }

    void Answer(int status, std::string body, std::string location = {})
    {
        std::lock_guard lock(m_mutex);
        m_nStatus = status;
        m_strBody = std::move(body);
        m_strLocation = std::move(location);
    }

    // Makes /json/list answer a byte every 50 ms for up to ten seconds.
    void AnswerSlowly()
    {
        m_server.Get("/json/list", [this](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("application/json",
                                             [this](size_t offset, httplib::DataSink& sink) {
                                                 if (m_bStopping || offset > 200)
                                                     return false;
                                                 std::this_thread::sleep_for(50ms);
                                                 return sink.write("[", 1);
                                             });
        });
    }

private:
    httplib::Server m_server;
    std::unique_ptr<yfx::test::LoopbackListener> m_listener;
    std::mutex m_mutex;
    int m_nStatus = 200;
    std::string m_strBody = "[]";
    std::string m_strLocation;
    std::atomic<bool> m_bStopping{false};
};

// A source that gives fixed pages, or throws.
class FixedSource : public CBrowserPageSource {
public:
    explicit FixedSource(std::vector<BrowserPage> pages, bool throws = false)
        : m_pages(std::move(pages)), m_bThrows(throws)
    {
    }
    std::vector<BrowserPage> Pages() override
    {
        if (m_bThrows)
            throw std::runtime_error("broken source");
        return m_pages;
    }

private:
    std::vector<BrowserPage> m_pages;
    bool m_bThrows;
};

TEST(DevToolsSource, KeepsPagesOnlyInTheEndpointsOrder)
{
    DevToolsServer server;
    server.Answer(200, kChromiumList);
    CDevToolsSource source(server.Port());
    const std::vector<BrowserPage> expected = {
        {"http://item.taobao.com/item.htm?id=101", "红色连衣裙 夏季-淘宝网"},
        {"http://detail.tmall.com/item.htm?id=202", "男士皮鞋-tmall.com天猫"},
        {"https://item.taobao.com/item.htm?id=303", ""},
    };
    EXPECT_EQ(source.Pages(), expected);

    test::ItemHosts hosts(test::kMarketItemBase, test::kMallItemBase);
    EXPECT_EQ(FindItemTitles(source.Pages()),
              (std::vector<std::string>{Gbk("红色连衣裙 夏季"), Gbk("男士皮鞋")}));
}

struct BadAnswerCase {
    const char* name;
    int status;
    std::string body;
    std::string location;
    bool tooLong = false; // the body is a valid list just over the answer limit
};

void PrintTo(const BadAnswerCase& c, std::ostream* os)
{
    *os << c.name;
}

std::string HugeList()
{
    // a valid list just over the answer limit
    std::string entry = R"({"type":"page","url":"http://item.taobao.com/item.htm?id=1","title":")" +
                        std::string(1000, 'x') + "\"},";
    std::string list = "[";
    while (list.size() <= CDevToolsSource::kMaxAnswerBytes)
        list += entry;
    list.back() = ']';
    return list;
}

class DevToolsBadAnswerTest : public ::testing::TestWithParam<BadAnswerCase> {};

TEST_P(DevToolsBadAnswerTest, GivesNoPages)
{
    DevToolsServer server;
    server.Answer(GetParam().status, GetParam().tooLong ? HugeList() : GetParam().body, GetParam().location);
    EXPECT_TRUE(CDevToolsSource(server.Port()).Pages().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Answers, DevToolsBadAnswerTest,
    ::testing::Values(
        BadAnswerCase{"NotJson", 200, "<html>Not Found</html>", ""}, BadAnswerCase{"Empty", 200, "", ""},
        BadAnswerCase{"Object", 200, R"({"type":"page","url":"http://item.taobao.com/item.htm?id=1"})", ""},
        BadAnswerCase{"ArrayOfScalars", 200, R"([1,"page",null,true])", ""},
        BadAnswerCase{"PagesWithoutUrl", 200, R"([{"type":"page","title":"x"},{"type":"page","url":7}])", ""},
        BadAnswerCase{"TypeNotText", 200, R"([{"type":1,"url":"http://a/"},{"url":"http://b/"}])", ""},
        BadAnswerCase{"CutShort", 200, std::string(kChromiumList).substr(0, 300), ""},
        BadAnswerCase{"TrailingGarbage", 200, std::string(kChromiumList) + "]]", ""},
        BadAnswerCase{"DeeplyNested", 200, std::string(100000, '['), ""},
        BadAnswerCase{"TooLong", 200, "", "", true}, BadAnswerCase{"NotFound", 404, kChromiumList, ""},
        BadAnswerCase{"ServerError", 500, kChromiumList, ""},
        BadAnswerCase{"RedirectNotFollowed", 302, "", "/json/elsewhere"}),
    [](const ::testing::TestParamInfo<BadAnswerCase>& info) { return std::string(info.param.name); });

TEST(DevToolsSource, ClosedPortGivesNoPagesAtOnce)
{
    int port;
    {
        DevToolsServer server;
        port = server.Port();
    }
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(CDevToolsSource(port).Pages().empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);
}

TEST(DevToolsSource, InvalidPortMakesNoRequest)
{
    EXPECT_TRUE(CDevToolsSource(0).Pages().empty());
    EXPECT_TRUE(CDevToolsSource(-1).Pages().empty());
    EXPECT_TRUE(CDevToolsSource(65536).Pages().empty());
}

// The bound is generous: it guards against a hang, it is not a speed target.
constexpr auto kGenerousBound = std::chrono::milliseconds(CDevToolsSource::kTimeoutMs + 1500);

TEST(DevToolsSource, EndpointThatNeverAnswersIsGivenUpWithinTheTimeout)
{
    // a listening socket that nobody accepts from: the connection completes in the backlog
    // and the request is never read
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(fd, 8), 0);
    socklen_t len = sizeof addr;
    ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len), 0);

    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(CDevToolsSource(ntohs(addr.sin_port)).Pages().empty());
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, kGenerousBound);
    EXPECT_GE(took, std::chrono::milliseconds(CDevToolsSource::kTimeoutMs / 2)); // it did wait for an answer
    ::close(fd);
}

TEST(DevToolsSource, EndpointThatAnswersForeverIsCutOffWithinTheTimeout)
{
    DevToolsServer server;
    server.AnswerSlowly();
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(CDevToolsSource(server.Port()).Pages().empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, kGenerousBound);
}

TEST(DevToolsSource, BypassesAProxy)
{
    DevToolsServer server;
    server.Answer(200, kChromiumList);
    ScopedEnv proxy("http_proxy", "http://127.0.0.1:1");
    ScopedEnv all("ALL_PROXY", "http://127.0.0.1:1");
    EXPECT_EQ(CDevToolsSource(server.Port()).Pages().size(), 3u);
}

struct PortCase {
    const char* value; // nullptr: unset
    int port;
};

void PrintTo(const PortCase& c, std::ostream* os)
{
    *os << (c.value ? c.value : "(unset)");
}

class DevToolsPortTest : public ::testing::TestWithParam<PortCase> {};

TEST_P(DevToolsPortTest, ComesFromTheEnvironment)
{
    std::optional<ScopedEnv> env;
    if (GetParam().value)
        env.emplace("YFX_DEVTOOLS_PORT", GetParam().value);
    else
        ::unsetenv("YFX_DEVTOOLS_PORT");
    EXPECT_EQ(CDevToolsSource::PortFromEnvironment(), GetParam().port);
    EXPECT_EQ(CDevToolsSource().Port(), GetParam().port);
}

INSTANTIATE_TEST_SUITE_P(Values, DevToolsPortTest,
                         ::testing::Values(PortCase{nullptr, 9222}, PortCase{"", 9222},
                                           PortCase{"9333", 9333}, PortCase{"1", 1}, PortCase{"65535", 65535},
                                           PortCase{"0", 9222}, PortCase{"65536", 9222},
                                           PortCase{"123456", 9222}, PortCase{"-5", 9222},
                                           PortCase{"92a2", 9222}, PortCase{" 9333", 9222}),
                         [](const ::testing::TestParamInfo<PortCase>& info) {
                             return "Value" + std::to_string(info.index);
                         });

TEST(DevToolsSource, DefaultSourceUsesThePortFromTheEnvironment)
{
    DevToolsServer server;
    server.Answer(200, kChromiumList);
    ScopedEnv port("YFX_DEVTOOLS_PORT", std::to_string(server.Port()));
    EXPECT_EQ(CDevToolsSource().Pages().size(), 3u);
}

TEST(CollectBrowserPages, TakesSourceAfterSourceAndSkipsBrokenOnes)
{
    FixedSource first({{"http://a/", "A"}, {"http://b/", "B"}});
    FixedSource broken({{"http://x/", "X"}}, true);
    FixedSource empty({});
    FixedSource last(std::vector<BrowserPage>{{"http://c/", "C"}});
    EXPECT_EQ(CollectBrowserPages({&first, nullptr, &broken, &empty, &last}),
              (std::vector<BrowserPage>{{"http://a/", "A"}, {"http://b/", "B"}, {"http://c/", "C"}}));
    EXPECT_TRUE(CollectBrowserPages({}).empty());
}

TEST(FindBrowsedItemTitles, FirefoxFirstThenChromium)
{
    test::TempDir home;
    const auto root = home.Path() / ".mozilla" / "firefox";
    test::WriteFile(root / "profiles.ini",
                    "[Profile0]\nName=default\nIsRelative=1\nPath=p.default\nDefault=1\n");
    test::WriteFile(
        root / "p.default" / "sessionstore-backups" / "recovery.jsonlz4",
        test::MozLz4(R"({"windows":[{"tabs":[{"entries":[{"url":"http://detail.tmall.com/item.htm?id=9",)"
                     R"("title":"火狐里的商品-tmall.com天猫"}],"index":1}]}]})"));
    DevToolsServer server;
    server.Answer(200, kChromiumList);
    ScopedEnv homeEnv("HOME", home.Path().string());
    ScopedEnv port("YFX_DEVTOOLS_PORT", std::to_string(server.Port()));
    test::ItemHosts hosts(test::kMarketItemBase, test::kMallItemBase);

    EXPECT_EQ(FindBrowsedItemTitles(),
              (std::vector<std::string>{Gbk("火狐里的商品"), Gbk("红色连衣裙 夏季"), Gbk("男士皮鞋")}));
}

} // namespace
} // namespace yfx
