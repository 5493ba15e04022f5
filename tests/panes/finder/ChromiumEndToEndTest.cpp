// End to end with a real headless Chromium: item pages served on loopback under the real item
// hosts, read back through the DevTools endpoint and turned into search keywords.
#include "panes/finder/BrowserPages.h"
#include "panes/finder/CDevToolsSource.h"
#include "panes/finder/CFirefoxSessionSource.h"
#include "panes/finder/ItemPageRules.h"
#include "tests/panes/finder/ChromiumHarness.h"
#include "tests/panes/finder/FinderTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace yfx {
namespace {

using namespace std::chrono_literals;
using test::Gbk;

// Generous: Chromium starts slowly on a busy two-core machine. Polled, not slept.
constexpr auto kDeadline = 90s;

const char* const kMarketUrl = "http://item.taobao.com/item.htm?id=1";
const char* const kMallUrl = "http://detail.tmall.com/item.htm?id=2";
const char* const kShopUrl = "http://item.taobao.com/shop.htm";
const char* const kSecureUrl = "https://item.taobao.com/item.htm?id=3";

class ChromiumEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string why;
        m_strChromium = test::FindOrInstallChromium(why);
        if (m_strChromium.empty())
            GTEST_SKIP() << "Chromium is not available, the browser end-to-end test is skipped: " << why;
        m_server.AddItem("1", "T-恤 纯棉 夏季-淘宝网");
        m_server.AddItem("2", "男士真皮皮鞋-tmall.com天猫");
    }

    // Starts Chromium on `firstUrl` and points the DevTools source at it.
    void Start(const std::string& firstUrl)
    {
        m_chromium = std::make_unique<test::HeadlessChromium>(m_strChromium, m_server.Port(), firstUrl);
        std::string why;
        ASSERT_TRUE(m_chromium->WaitUntilReady(kDeadline, why)) << why;
        m_port.emplace("YFX_DEVTOOLS_PORT", std::to_string(m_chromium->DevToolsPort()));
    }

    // Every source of the desktop as the pane reads them: a Firefox without profiles (an empty
    // home) and the Chromium started here.
    std::vector<BrowserPage> Pages()
    {
        CFirefoxSessionSource firefox(CFirefoxSessionSource::ProfileRootsUnder(m_home.Path()));
        CDevToolsSource chromium;
        return CollectBrowserPages({&firefox, &chromium});
    }

    // Polls the browser until `ready` holds for its pages; the last pages read either way.
    std::vector<BrowserPage> PagesWhen(const std::function<bool(const std::vector<BrowserPage>&)>& ready)
    {
        std::vector<BrowserPage> pages;
        for (auto until = std::chrono::steady_clock::now() + kDeadline;
             std::chrono::steady_clock::now() < until;) {
            pages = Pages();
            if (ready(pages))
                break;
            std::this_thread::sleep_for(100ms);
        }
        return pages;
    }

    static bool Shows(const std::vector<BrowserPage>& pages, const std::string& url, const std::string& title)
    {
        return std::any_of(pages.begin(), pages.end(),
                           [&](const BrowserPage& p) { return p.url == url && p.title == title; });
    }

    static bool Lists(const std::vector<BrowserPage>& pages, const std::string& url)
    {
        return std::any_of(pages.begin(), pages.end(), [&](const BrowserPage& p) { return p.url == url; });
    }

    test::ItemHosts m_hosts{test::kMarketItemBase, test::kMallItemBase};
    test::TempDir m_home;
    test::ItemPageServer m_server;
    std::string m_strChromium;
    std::unique_ptr<test::HeadlessChromium> m_chromium;
    std::optional<test::ScopedEnv> m_port;
};

TEST_F(ChromiumEndToEnd, OneItemPageGivesItsTitleAsTheOnlyKeyword)
{
    Start(kMarketUrl);
    const std::vector<BrowserPage> pages = PagesWhen(
        [](const std::vector<BrowserPage>& p) { return Shows(p, kMarketUrl, "T-恤 纯棉 夏季-淘宝网"); });
    ASSERT_TRUE(Shows(pages, kMarketUrl, "T-恤 纯棉 夏季-淘宝网")) << "the item page never loaded\n"
                                                                   << m_chromium->LogTail();

    const std::vector<std::string> titles = FindItemTitles(pages);
    ASSERT_EQ(titles, std::vector<std::string>{Gbk("T-恤 纯棉 夏季")});
    EXPECT_EQ(CandidateMenuCount(titles.size()), 1);
}

TEST_F(ChromiumEndToEnd, TwoItemPagesGiveTwoCandidatesInTheBrowsersOrder)
{
    Start(kMarketUrl);
    ASSERT_TRUE(
        PagesWhen([](const auto& p) { return Shows(p, kMarketUrl, "T-恤 纯棉 夏季-淘宝网"); }).size() > 0);
    ASSERT_TRUE(m_chromium->OpenPage(kShopUrl));
    ASSERT_TRUE(m_chromium->OpenPage(kSecureUrl));
    ASSERT_TRUE(m_chromium->OpenPage(kMallUrl));
    const std::vector<BrowserPage> pages = PagesWhen([](const std::vector<BrowserPage>& p) {
        return Shows(p, kMarketUrl, "T-恤 纯棉 夏季-淘宝网") &&
               Shows(p, kMallUrl, "男士真皮皮鞋-tmall.com天猫") && Shows(p, kShopUrl, "店铺首页-淘宝网") &&
               Lists(p, kSecureUrl);
    });
    ASSERT_TRUE(Shows(pages, kMallUrl, "男士真皮皮鞋-tmall.com天猫")) << "the pages never loaded\n"
                                                                      << m_chromium->LogTail();
    ASSERT_TRUE(Lists(pages, kSecureUrl));

    // the shop page and the https item page are no candidates; the two item pages are, in the
    // order the browser lists them
    std::vector<std::string> expected;
    for (const BrowserPage& page : pages) {
        if (page.url == kMarketUrl)
            expected.push_back(Gbk("T-恤 纯棉 夏季"));
        else if (page.url == kMallUrl)
            expected.push_back(Gbk("男士真皮皮鞋"));
    }
    const std::vector<std::string> titles = FindItemTitles(pages);
    ASSERT_EQ(titles.size(), 2u);
    EXPECT_EQ(titles, expected);

    // the menu offers both, and its second entry chooses the second title
    EXPECT_EQ(CandidateMenuCount(titles.size()), 2);
    int chosen = CandidateIndex(kFirstCandidateId + 1, titles.size());
    ASSERT_EQ(chosen, 1);
    EXPECT_EQ(titles[static_cast<std::size_t>(chosen)], expected[1]);
}

} // namespace
} // namespace yfx
