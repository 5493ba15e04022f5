// The search pane's "搜索更多当前浏览的商品" with a real headless Chromium showing item pages:
// one item page searches at once for its title, two offer the menu, and choosing an entry
// searches for it.
#include "market/Endpoints.h"
#include "market/Gbk.h"
#include "market/SearchUrl.h"
#include "panes/CLumbraWnd.h"
#include "panes/ResultsOpener.h"
#include "tests/panes/RecordingOpener.h"
#include "panes/finder/CDevToolsSource.h"
#include "panes/finder/CFirefoxSessionSource.h"
#include "tests/panes/finder/ChromiumHarness.h"

#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QTest>
#include <functional>

namespace {


} // namespace

class SearchPaneBrowserTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        std::string why;
        chromium = yfx::test::FindOrInstallChromium(why);
        if (chromium.empty())
            QSKIP(qPrintable(QStringLiteral("Chromium is not available, the browser test is skipped: ") +
                             QString::fromStdString(why)));
        server.AddItem("1", "T-恤 纯棉 夏季-淘宝网");
        server.AddItem("2", "男士真皮皮鞋-tmall.com天猫");
        yfx::SetEndpointOverride(yfx::Endpoint::MarketItem, "http://item.taobao.com");
        yfx::SetEndpointOverride(yfx::Endpoint::MallItem, "http://detail.tmall.com");
        SetMainResultsOpener(&opener);
    }

    void oneItemPageThenTwo()
    {
        yfx::test::HeadlessChromium browser(chromium, server.Port(), "http://item.taobao.com/item.htm?id=1");
        std::string why;
        QVERIFY2(browser.WaitUntilReady(std::chrono::seconds(90), why), why.c_str());
        qputenv("YFX_DEVTOOLS_PORT", QByteArray::number(browser.DevToolsPort()));

        QTemporaryDir home; // a desktop without Firefox profiles
        CLumbraWnd pane;
        pane.SetPageSourceFactory([&home] {
            std::vector<std::unique_ptr<yfx::CBrowserPageSource>> sources;
            sources.push_back(std::make_unique<yfx::CFirefoxSessionSource>(
                yfx::CFirefoxSessionSource::ProfileRootsUnder(home.path().toStdString())));
            sources.push_back(std::make_unique<yfx::CDevToolsSource>());
            return sources;
        });
        pane.m_editPriceLow->setText(QStringLiteral("5"));
        pane.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pane));

        // wait until the browser has loaded the page and knows its title, then press once
        QVERIFY2(BrowserShows("T-恤 纯棉 夏季-淘宝网"), browser.LogTail().c_str());
        QSignalSpy finished(&pane, &CLumbraWnd::finderFinished);
        pane.OnSearchMore(); // the pages are read on a pool thread
        QVERIFY(finished.wait(30000));
        QCOMPARE(opener.calls.size(), size_t(1));
        QCOMPARE(pane.m_editKeyword->text(), QStringLiteral("T-恤 纯棉 夏季"));
        QCOMPARE(opener.calls[0].order, 0);
        QCOMPARE(opener.calls[0].title, QStringLiteral("自助搜索"));
        // the pane's other fields still apply
        QVERIFY(opener.calls[0].address.find("reserve_price%5B5%2C") != std::string::npos);
        QVERIFY(opener.calls[0].address.find(UrlEncode(yfx::Utf8ToGbk("T-恤 纯棉 夏季"))) != std::string::npos);
        QVERIFY(!pane.CandidateMenu());

        QVERIFY(browser.OpenPage("http://detail.tmall.com/item.htm?id=2"));
        QVERIFY2(BrowserShows("男士真皮皮鞋-tmall.com天猫"), browser.LogTail().c_str());
        pane.OnSearchMore();
        QVERIFY(finished.wait(30000));
        QCOMPARE(pane.Candidates().size(), size_t(2));
        QCOMPARE(opener.calls.size(), size_t(1)); // a menu, no search yet
        QMenu* menu = pane.CandidateMenu();
        QVERIFY(menu);
        QCOMPARE(menu->actions().size(), 2);
        const int mall = menu->actions()[0]->text() == QStringLiteral("男士真皮皮鞋") ? 0 : 1;
        QCOMPARE(menu->actions()[mall]->text(), QStringLiteral("男士真皮皮鞋"));
        QCOMPARE(menu->actions()[1 - mall]->text(), QStringLiteral("T-恤 纯棉 夏季"));
        menu->actions()[mall]->trigger();
        QCOMPARE(opener.calls.size(), size_t(2));
        QCOMPARE(pane.m_editKeyword->text(), QStringLiteral("男士真皮皮鞋"));
        QCOMPARE(opener.calls[1].order, 0);
    }

    void cleanupTestCase() { SetMainResultsOpener(nullptr); }

private:
    // Polls the DevTools page list (up to a minute) until a page carries `title`.
    static bool BrowserShows(const std::string& title)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 60000) {
            yfx::CDevToolsSource source;
            for (const auto& page : source.Pages())
                if (page.title == title)
                    return true;
            QTest::qWait(200);
        }
        return false;
    }

    std::string chromium;
    yfx::test::ItemPageServer server;
    RecordingOpener opener;
};

QTEST_MAIN(SearchPaneBrowserTest)
#include "SearchPaneBrowserTest.moc"
