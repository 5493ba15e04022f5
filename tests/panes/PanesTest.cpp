// The three navigation panes, offscreen, with a recording main window.
#include "LocalHttpServer.h"
#include "controls/CMyUrlStatic.h"
#include "market/Endpoints.h"
#include "market/Gbk.h"
#include "market/SearchUrl.h"
#include "panes/CHomePageDlg.h"
#include "panes/CLumbraWnd.h"
#include "panes/CTBCatTreeCtrl.h"
#include "panes/CWatchListPane.h"
#include "panes/KeywordHistory.h"
#include "panes/ResultsOpener.h"
#include "tests/panes/RecordingOpener.h"
#include "tests/panes/finder/SessionFiles.h"
#include "panes/finder/CFirefoxSessionSource.h"
#include "results/CPriceMemory.h"
#include "results/UrlOpener.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>

namespace {


// Counts the mouse presses a widget receives.
class PressCounter : public QObject {
public:
    int count = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        count += e->type() == QEvent::MouseButtonPress;
        return false;
    }
};

class FixedSource : public yfx::CBrowserPageSource {
public:
    explicit FixedSource(std::vector<yfx::BrowserPage> pages) : m_pages(std::move(pages)) {}
    std::vector<yfx::BrowserPage> Pages() override { return m_pages; }

private:
    std::vector<yfx::BrowserPage> m_pages;
};

// Holds a finder run on its pool thread until the GUI thread opens it, then reads the pages
// of the source it wraps: a run that would read on the GUI thread waits here in vain.
class Gate {
public:
    void Open()
    {
        std::lock_guard lock(m_mutex);
        m_bOpen = true;
        m_opened.notify_all();
    }
    // The reading side: true when the gate was opened within 60 s.
    bool Pass()
    {
        std::unique_lock lock(m_mutex);
        m_reader = std::this_thread::get_id();
        m_entered.notify_all();
        return m_opened.wait_for(lock, std::chrono::seconds(60), [this] { return m_bOpen; });
    }
    void Done()
    {
        std::lock_guard lock(m_mutex);
        m_bDone = true;
        m_entered.notify_all();
    }
    // Waits (up to 60 s) until a run has finished reading, for runs whose pane is gone.
    bool WaitDone()
    {
        std::unique_lock lock(m_mutex);
        return m_entered.wait_for(lock, std::chrono::seconds(60), [this] { return m_bDone; });
    }
    std::thread::id Reader()
    {
        std::lock_guard lock(m_mutex);
        return m_reader;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_opened, m_entered;
    bool m_bOpen = false;
    bool m_bDone = false;
    std::thread::id m_reader;
};

class GatedSource : public yfx::CBrowserPageSource {
public:
    GatedSource(std::shared_ptr<Gate> gate, std::unique_ptr<yfx::CBrowserPageSource> inner)
        : m_gate(std::move(gate)), m_inner(std::move(inner))
    {
    }
    std::vector<yfx::BrowserPage> Pages() override
    {
        std::vector<yfx::BrowserPage> pages;
        if (m_gate->Pass())
            pages = m_inner->Pages();
        m_gate->Done();
        return pages;
    }

private:
    std::shared_ptr<Gate> m_gate;
    std::unique_ptr<yfx::CBrowserPageSource> m_inner;
};

// Presses "搜索更多当前浏览的商品" (or runs its handler when `click` is false) and waits until
// the browsers' pages have been read and acted on.
bool RunFinder(CLumbraWnd& pane, bool click = true)
{
    QSignalSpy finished(&pane, &CLumbraWnd::finderFinished);
    if (click)
        QTest::mouseClick(pane.m_btnSearchMore, Qt::LeftButton);
    else
        pane.OnSearchMore();
    return finished.count() > 0 || finished.wait(60000);
}

std::string Gbk(const char* utf8)
{
    return yfx::Utf8ToGbk(utf8);
}

SearchQuery PaneQuery()
{
    SearchQuery q;
    q.cat = "0";
    return q;
}

} // namespace

class PanesTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        yfx::SetEndpointOverride(yfx::Endpoint::ListSearch, "http://list.test");
        yfx::SetEndpointOverride(yfx::Endpoint::MarketItem, "http://item.test");
        yfx::SetEndpointOverride(yfx::Endpoint::MallItem, "http://detail.test");
        yfx::SetEndpointOverride(yfx::Endpoint::MarketSite, "http://www.market.test");
        yfx::SetEndpointOverride(yfx::Endpoint::MallSite, "http://www.mall.test");
        yfx::SetUrlOpener([this](const QString& url) { opened.append(url); });
    }
    void init()
    {
        opener.calls.clear();
        opened.clear();
        SetMainResultsOpener(&opener);
    }
    void cleanup() { SetMainResultsOpener(nullptr); }

    void emptyFieldsSearchBySales()
    {
        CLumbraWnd pane;
        pane.show();
        QTest::mouseClick(pane.m_btnSearch, Qt::LeftButton);
        QCOMPARE(opener.calls.size(), size_t(1));
        QCOMPARE(opener.calls[0].title, QStringLiteral("自助搜索"));
        QCOMPARE(opener.calls[0].order, 0);
        QCOMPARE(opener.calls[0].address, BuildSearchUrl(PaneQuery()));
        QVERIFY(opener.calls[0].query == PaneQuery()); // the window keeps the query too
        QVERIFY(opener.calls[0].address.find("?&cat=0&ex_q=&") != std::string::npos);
        QVERIFY(opener.calls[0].address.find("reserve_price%5B0%2C100000000%5D") != std::string::npos);
        QVERIFY(pane.m_btnSearch->isEnabled());
    }

    void fieldsGoOutAsTypedInGbk()
    {
        CLumbraWnd pane;
        pane.show();
        pane.m_editKeyword->setText(QStringLiteral("手机 壳"));
        pane.m_editExclude->setText(QStringLiteral("二手"));
        pane.m_editLocation->setText(QStringLiteral("杭州"));
        pane.m_editPriceLow->setText(QStringLiteral(" 10"));
        pane.m_editPriceHigh->setText(QStringLiteral("abc"));
        QTest::mouseClick(pane.m_btnByPrice, Qt::LeftButton);
        QTest::mouseClick(pane.m_btnBySales, Qt::LeftButton);
        QCOMPARE(opener.calls.size(), size_t(2));
        SearchQuery q = PaneQuery();
        q.keyword = Gbk("手机 壳");
        q.exclude = Gbk("二手");
        q.location = Gbk("杭州");
        q.priceLow = " 10";
        q.priceHigh = "abc";
        QCOMPARE(opener.calls[0].address, BuildSearchUrl(q));
        QVERIFY(opener.calls[0].query == q);
        QCOMPARE(opener.calls[0].order, 1);
        QCOMPARE(opener.calls[1].address, opener.calls[0].address);
        QCOMPARE(opener.calls[1].order, 0);
        QVERIFY(opener.calls[0].address.find("q=%CA%D6%BB%FA%20%BF%C7+-%B6%FE%CA%D6") != std::string::npos);
    }

    void enterSearchesEscapeDoesNothing()
    {
        QWidget host;
        auto* pane = new CLumbraWnd(&host);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        for (QLineEdit* edit : {pane->m_editKeyword, pane->m_editExclude, pane->m_editLocation,
                                pane->m_editPriceLow, pane->m_editPriceHigh}) {
            edit->setFocus();
            QTest::keyClick(edit, Qt::Key_Return);
        }
        QCOMPARE(opener.calls.size(), size_t(5));
        for (const auto& c : opener.calls)
            QCOMPARE(c.order, 0);
        QTest::keyClick(pane->m_editKeyword, Qt::Key_Escape);
        QCOMPARE(opener.calls.size(), size_t(5));
        QVERIFY(pane->isVisible());
    }

    void clearEmptiesTheFiveFieldsOnly()
    {
        CLumbraWnd pane;
        pane.show();
        for (QLineEdit* e : {pane.m_editKeyword, pane.m_editExclude, pane.m_editLocation, pane.m_editPriceLow,
                             pane.m_editPriceHigh})
            e->setText(QStringLiteral("x"));
        QTest::mouseClick(pane.m_btnClear, Qt::LeftButton);
        for (QLineEdit* e : {pane.m_editKeyword, pane.m_editExclude, pane.m_editLocation, pane.m_editPriceLow,
                             pane.m_editPriceHigh})
            QVERIFY(e->text().isEmpty());
        QVERIFY(opener.calls.empty());
    }

    void withoutMainWindowNothingOpens()
    {
        SetMainResultsOpener(nullptr);
        CLumbraWnd pane;
        pane.show();
        QTest::mouseClick(pane.m_btnSearch, Qt::LeftButton);
        QVERIFY(pane.m_btnSearch->isEnabled());
        QVERIFY(opener.calls.empty());
    }

    void templateLaysOutTheControls()
    {
        CLumbraWnd pane;
        // labels and group boxes exist with the template texts; the usage text is complete
        bool usage = false;
        for (QObject* o : pane.children()) {
            const QString text = o->property("text").toString();
            usage = usage || text.startsWith(QStringLiteral("    1、点击 ［对比当前浏览的商品］"));
        }
        QVERIFY(usage);
        QCOMPARE(pane.m_btnSearchMore->text(), QStringLiteral(" 搜索更多当前浏览的商品"));
        QVERIFY(pane.m_btnSearchMore->geometry().bottom() < pane.m_editKeyword->geometry().top());
        QVERIFY(pane.m_editPriceLow->geometry().right() < pane.m_editPriceHigh->geometry().left());
        // group boxes never cover the edits for the mouse
        const QPoint inEdit = pane.m_editKeyword->geometry().center();
        QCOMPARE(pane.childAt(inEdit), static_cast<QWidget*>(pane.m_editKeyword));
    }

    void finderOneItemPageSearchesAtOnce()
    {
        CLumbraWnd pane;
        pane.show();
        pane.SetPageSourceFactory([] {
            std::vector<std::unique_ptr<yfx::CBrowserPageSource>> s;
            s.push_back(std::make_unique<FixedSource>(std::vector<yfx::BrowserPage>{
                {"http://item.test/item.htm?id=1", "新款 手机-壳-淘宝网"},
                {"https://item.test/item.htm?id=2", "加密的-淘宝网"},
                {"http://www.other.test/", "别的-网页"}}));
            return s;
        });
        QVERIFY(RunFinder(pane));
        QCOMPARE(pane.m_editKeyword->text(), QStringLiteral("新款 手机-壳"));
        QCOMPARE(opener.calls.size(), size_t(1));
        QCOMPARE(opener.calls[0].order, 0);
        QVERIFY(!pane.CandidateMenu());
    }

    void finderSeveralPagesOfferAMenu()
    {
        CLumbraWnd pane;
        pane.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pane));
        pane.SetPageSourceFactory([] {
            std::vector<yfx::BrowserPage> pages;
            for (int i = 0; i < 12; ++i)
                pages.push_back({"http://detail.test/item.htm?id=" + std::to_string(i),
                                 "商品" + std::to_string(i) + "-tmall.com天猫"});
            std::vector<std::unique_ptr<yfx::CBrowserPageSource>> s;
            s.push_back(std::make_unique<FixedSource>(pages));
            return s;
        });
        pane.m_editKeyword->setText(QStringLiteral("kept"));
        QVERIFY(RunFinder(pane));
        QCOMPARE(pane.Candidates().size(), size_t(12));
        QMenu* menu = pane.CandidateMenu();
        QVERIFY(menu);
        QTRY_VERIFY(menu->isVisible());
        QCOMPARE(menu->actions().size(), 10);
        QCOMPARE(menu->actions().first()->data().toInt(), 32772);
        QCOMPARE(menu->actions().last()->data().toInt(), 32781);
        QCOMPARE(pane.m_editKeyword->text(), QStringLiteral("kept"));
        QVERIFY(opener.calls.empty());
        menu->actions()[3]->trigger();
        QCOMPARE(pane.m_editKeyword->text(), QStringLiteral("商品3"));
        QCOMPARE(opener.calls.size(), size_t(1));
        // commands past the menu or the list are ignored
        pane.OnCandidate(32782);
        pane.OnCandidate(32771);
        QCOMPARE(opener.calls.size(), size_t(1));
    }

    void keyOrButtonInThePaneClosesTheMenu()
    {
        CLumbraWnd pane;
        pane.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pane));
        pane.SetPageSourceFactory([] {
            std::vector<std::unique_ptr<yfx::CBrowserPageSource>> s;
            s.push_back(std::make_unique<FixedSource>(std::vector<yfx::BrowserPage>{
                {"http://item.test/item.htm?id=1", "a-x"}, {"http://item.test/item.htm?id=1", "a-x"}}));
            return s;
        });
        QVERIFY(RunFinder(pane, false));
        QVERIFY(pane.CandidateMenu());
        QCOMPARE(pane.CandidateMenu()->actions().size(), 2); // the same item twice stays twice
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QApplication::sendEvent(pane.m_editExclude, &press);
        QTRY_VERIFY(!pane.CandidateMenu() || !pane.CandidateMenu()->isVisible());

        QVERIFY(RunFinder(pane, false));
        QVERIFY(pane.CandidateMenu());
        QTest::mousePress(pane.m_editLocation, Qt::MiddleButton);
        QTRY_VERIFY(!pane.CandidateMenu() || !pane.CandidateMenu()->isVisible());
    }

    void candidateMenuPassesThePanesInputOn()
    {
        // Real input through the window system: while the menu is open it has the grab, so
        // everything below reaches the menu first, as a user's typing and clicking would.
        QWidget host;
        auto* pane = new CLumbraWnd(&host);
        host.resize(pane->size());
        host.show();
        host.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&host));
        QWindow* window = host.windowHandle();
        pane->SetPageSourceFactory([] {
            std::vector<std::unique_ptr<yfx::CBrowserPageSource>> s;
            s.push_back(std::make_unique<FixedSource>(std::vector<yfx::BrowserPage>{
                {"http://item.test/item.htm?id=1", "a-x"}, {"http://item.test/item.htm?id=2", "b-x"}}));
            return s;
        });
        auto menuOpen = [pane] { return pane->CandidateMenu() && pane->CandidateMenu()->isVisible(); };
        // The offscreen platform makes a popup the active window and, once it has closed, no
        // window at all (a desktop's window manager keeps the main window active meanwhile).
        auto reactivate = [&host] {
            host.activateWindow();
            return QTest::qWaitForWindowActive(&host);
        };

        // A click in an edit closes the menu and reaches the edit.
        QTest::mouseClick(pane->m_btnSearchMore, Qt::LeftButton);
        QTRY_VERIFY(menuOpen());
        QCOMPARE(QApplication::activePopupWidget(), static_cast<QWidget*>(pane->CandidateMenu()));
        pane->m_editLocation->setText(QStringLiteral("abcdef"));
        pane->m_editLocation->setCursorPosition(6);
        PressCounter presses;
        pane->m_editLocation->installEventFilter(&presses);
        QTest::mouseClick(pane->m_editLocation, Qt::LeftButton, {}, QPoint(3, pane->m_editLocation->height() / 2));
        QTRY_VERIFY(!menuOpen());
        QCOMPARE(presses.count, 1); // the press arrives once, not also replayed
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(pane->m_editLocation));
        QCOMPARE(pane->m_editLocation->cursorPosition(), 0); // the press placed the cursor
        QVERIFY(opener.calls.empty());
        QVERIFY(reactivate());

        // Typing closes the menu and goes on to the edit with the focus.
        pane->OnSearchMore();
        QTRY_VERIFY(menuOpen());
        QTest::keyClick(window, Qt::Key_X);
        QTRY_VERIFY(!menuOpen());
        QCOMPARE(pane->m_editLocation->text(), QStringLiteral("xabcdef"));
        QVERIFY(opener.calls.empty());
        QVERIFY(reactivate());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(pane->m_editLocation));

        // Enter closes the menu and runs the by-sales search.
        pane->OnSearchMore();
        QTRY_VERIFY(menuOpen());
        QTest::keyClick(window, Qt::Key_Return);
        QTRY_VERIFY(!menuOpen());
        QCOMPARE(opener.calls.size(), size_t(1));
        QCOMPARE(opener.calls[0].order, 0);
        QVERIFY(reactivate());

        // A middle press in the pane closes it too; a right press is left to the menu.
        pane->OnSearchMore();
        QTRY_VERIFY(menuOpen());
        QTest::mouseClick(pane->m_editExclude, Qt::MiddleButton);
        QTRY_VERIFY(!menuOpen());
        QVERIFY(reactivate());

        // A click on an entry still chooses it.
        pane->OnSearchMore();
        QTRY_VERIFY(menuOpen());
        QMenu* menu = pane->CandidateMenu();
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions()[1]).center());
        QTRY_VERIFY(!menuOpen());
        QCOMPARE(pane->m_editKeyword->text(), QStringLiteral("b"));
        QCOMPARE(opener.calls.size(), size_t(2));
    }

    void finderWithoutItemPagesDoesNothing()
    {
        CLumbraWnd pane;
        pane.SetPageSourceFactory([] { return std::vector<std::unique_ptr<yfx::CBrowserPageSource>>{}; });
        pane.m_editKeyword->setText(QStringLiteral("kept"));
        QVERIFY(RunFinder(pane, false));
        QVERIFY(opener.calls.empty());
        QVERIFY(!pane.CandidateMenu());
        QCOMPARE(pane.m_editKeyword->text(), QStringLiteral("kept"));
    }

    void finderReadsALargeSessionWhileTheWindowAnswers()
    {
        // a Firefox profile whose session file is 60 MB (tens of thousands of tabs), the item
        // page last
        QTemporaryDir home;
        const std::string root = home.path().toStdString();
        std::ofstream(root + "/profiles.ini") << "[Profile0]\nName=default\nIsRelative=1\nPath=p.default\n";
        std::filesystem::create_directories(root + "/p.default/sessionstore-backups");
        {
            const std::string file =
                yfx::test::LargeSessionFile(60'000'000, {{"http://item.test/item.htm?id=9", "很多标签页之后的商品-淘宝网"}});
            QVERIFY(file.size() >= 60'000'000u && file.size() <= yfx::CFirefoxSessionSource::kMaxFileBytes);
            std::ofstream(root + "/p.default/sessionstore-backups/recovery.jsonlz4", std::ios::binary) << file;
        }
        auto gate = std::make_shared<Gate>();
        int runs = 0;
        CLumbraWnd pane;
        pane.SetPageSourceFactory([&] {
            ++runs;
            std::vector<std::unique_ptr<yfx::CBrowserPageSource>> s;
            s.push_back(std::make_unique<GatedSource>(
                gate, std::make_unique<yfx::CFirefoxSessionSource>(std::vector<std::filesystem::path>{root})));
            return s;
        });
        pane.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pane));
        QSignalSpy finished(&pane, &CLumbraWnd::finderFinished);
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&] {
            // the event loop runs while the pages are read: it opens the gate the run waits at
            if (++ticks == 3)
                gate->Open();
        });

        QTest::mouseClick(pane.m_btnSearchMore, Qt::LeftButton);
        ticker.start(1);
        // the button says it is busy, and a second press does nothing
        QVERIFY(pane.FinderBusy());
        QVERIFY(!pane.m_btnSearchMore->isEnabled());
        QCOMPARE(pane.m_btnSearchMore->cursor().shape(), Qt::BusyCursor);
        QTest::mouseClick(pane.m_btnSearchMore, Qt::LeftButton);
        pane.OnSearchMore();
        QCOMPARE(runs, 1);
        QVERIFY(opener.calls.empty());

        QVERIFY(finished.wait(120000));
        QVERIFY(ticks >= 3);
        QVERIFY(gate->Reader() != std::this_thread::get_id());
        QCOMPARE(runs, 1);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toInt(), 1);
        // the one item page searches at once, and the button is ready again
        QCOMPARE(pane.m_editKeyword->text(), QStringLiteral("很多标签页之后的商品"));
        QCOMPARE(opener.calls.size(), size_t(1));
        QVERIFY(!pane.FinderBusy());
        QVERIFY(pane.m_btnSearchMore->isEnabled());
        QCOMPARE(pane.m_btnSearchMore->cursor().shape(), Qt::ArrowCursor);
    }

    void finderRunOfAClosedPaneIsDropped()
    {
        auto gate = std::make_shared<Gate>();
        auto pane = std::make_unique<CLumbraWnd>();
        pane->SetPageSourceFactory([gate] {
            std::vector<std::unique_ptr<yfx::CBrowserPageSource>> s;
            s.push_back(std::make_unique<GatedSource>(
                gate, std::make_unique<FixedSource>(std::vector<yfx::BrowserPage>{
                          {"http://item.test/item.htm?id=1", "a-x"}, {"http://item.test/item.htm?id=2", "b-x"}})));
            return s;
        });
        pane->OnSearchMore();
        QVERIFY(pane->FinderBusy());
        pane.reset(); // closed while the pages are read
        gate->Open();
        QVERIFY(gate->WaitDone());
        // what the run found reaches no pane: no menu, no search, nothing left behind
        QTRY_COMPARE(QThreadPool::globalInstance()->activeThreadCount(), 0);
        QCoreApplication::processEvents();
        QVERIFY(opener.calls.empty());
        QVERIFY(!QApplication::activePopupWidget());
    }

    void categoryTreeFromTheDocument()
    {
        // (built from plain strings: the Qt meta-object compiler reads this file too)
        const std::string doc = "[{\"name\":\"" + Gbk("女装") +
                                "\",\"cat\":\"16\",\"market\":\"/market/nvzhuang.htm\",\"catGroupList\":"
                                "[{\"name\":\"" + Gbk("连衣裙") +
                                "\",\"cat\":\"1622\",\"market\":\"/market/lianyiqun.htm\",\"catGroupList\":"
                                "[{\"name\":\"" + Gbk("长裙") + "\",\"cat\":\"162201\"}]}]},{\"name\":\"empty\"}]";
        LocalHttpServer srv; // after what its handler reads: it stops before that goes
        srv.server().Get("/set/tbcat.jpg", [&](const auto&, auto& res) { res.set_content(doc, "image/jpeg"); });
        srv.Start();
        CTBCatTreeCtrl tree(nullptr, srv.Base() + "/set/tbcat.jpg");
        QSignalSpy arrived(&tree, &CTBCatTreeCtrl::documentArrived);
        tree.resize(250, 400);
        tree.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tree));
        // the root is there at once; the nodes come with the document
        QVERIFY(tree.RootItem());
        QVERIFY(arrived.count() > 0 || arrived.wait(10000));
        QCOMPARE(arrived.at(0).at(0).toBool(), true);
        QTreeWidgetItem* root = tree.RootItem();
        QCOMPARE(root->text(0), QStringLiteral("所有市场"));
        QVERIFY(root->isExpanded());
        QCOMPARE(root->childCount(), 2);
        QTreeWidgetItem* leaf = root->child(0)->child(0)->child(0);
        QCOMPARE(leaf->text(0), QStringLiteral("长裙"));
        QCOMPARE(tree.NodeData(leaf)->market, std::string("/market/lianyiqun.htm"));

        // "查询" on the root
        tree.setCurrentItem(root);
        tree.OnQueryCategory();
        QCOMPARE(opener.calls.size(), size_t(1));
        QCOMPARE(opener.calls[0].title, QStringLiteral("热卖排行 - 所有市场"));
        QCOMPARE(opener.calls[0].order, 0);
        QCOMPARE(opener.calls[0].address, BuildSearchUrl(PaneQuery()));
        QVERIFY(opener.calls[0].query == PaneQuery());

        // a right-click on another node shows the menu; "查询" works on the selected node
        tree.setCurrentItem(leaf);
        QTreeWidgetItem* other = root->child(0);
        QTest::mousePress(tree.viewport(), Qt::RightButton, {}, tree.visualItemRect(other).center());
        QTest::mouseRelease(tree.viewport(), Qt::RightButton, {}, tree.visualItemRect(other).center());
        QCOMPARE(tree.currentItem(), leaf); // the right button does not move the selection
        QMenu* menu = tree.ShowContextMenu(tree.visualItemRect(other).center());
        QVERIFY(menu);
        QCOMPARE(menu->actions().size(), 1);
        QCOMPARE(menu->actions()[0]->text(), QStringLiteral("查询"));
        QVERIFY(menu->actions()[0]->isEnabled());
        menu->actions()[0]->trigger();
        menu->close();
        QCOMPARE(opener.calls.size(), size_t(2));
        QCOMPARE(opener.calls[1].title, QStringLiteral("热卖排行 - 长裙"));
        SearchQuery q;
        q.path = "/market/lianyiqun.htm";
        q.cat = "162201";
        QCOMPARE(opener.calls[1].address, BuildSearchUrl(q));
        QVERIFY(opener.calls[1].query == q); // the ranking searches by the node's "cat"
        QCOMPARE(tree.currentItem(), leaf);

        // empty space below the last node: no menu
        QVERIFY(!tree.ShowContextMenu(QPoint(10, tree.viewport()->height() - 3)));

        // a node whose market and cat are both empty does nothing
        tree.setCurrentItem(root->child(1));
        tree.OnQueryCategory();
        QCOMPARE(opener.calls.size(), size_t(2));
    }

    void categoryTreeWithoutDocumentKeepsTheRoot()
    {
        for (const std::string& url : {std::string("http://config.invalid/set/tbcat.jpg"), std::string()}) {
            LocalHttpServer srv;
            srv.server().Get("/set/tbcat.jpg", [](const auto&, auto& res) { res.set_content("", "text/html"); });
            srv.Start();
            CTBCatTreeCtrl tree(nullptr, url.empty() ? srv.Base() + "/set/tbcat.jpg" : url);
            QSignalSpy arrived(&tree, &CTBCatTreeCtrl::documentArrived);
            QVERIFY(arrived.wait(15000));
            QCOMPARE(arrived.at(0).at(0).toBool(), url.empty()); // the empty answer came
            QVERIFY(!tree.DocumentPending());
            QCOMPARE(tree.topLevelItemCount(), 1);
            QCOMPARE(tree.RootItem()->childCount(), 0);
            QVERIFY(tree.RootItem()->isExpanded());
        }
    }

    void keywordHistoryRule_data()
    {
        QTest::addColumn<QStringList>("history");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QStringList>("expected");
        const QStringList abc{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
        QTest::newRow("new first") << abc << QStringLiteral("手机") << QStringList{QStringLiteral("手机"), QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
        QTest::newRow("again moves to the front") << abc << QStringLiteral("c") << QStringList{QStringLiteral("c"), QStringLiteral("a"), QStringLiteral("b")};
        QTest::newRow("spaces taken off") << abc << QStringLiteral("  b ") << QStringList{QStringLiteral("b"), QStringLiteral("a"), QStringLiteral("c")};
        QTest::newRow("case kept apart") << abc << QStringLiteral("A") << QStringList{QStringLiteral("A"), QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
        QTest::newRow("empty changes nothing") << abc << QStringLiteral("  ") << abc;
        QStringList twenty;
        for (int i = 0; i < 20; ++i)
            twenty << QString::number(i);
        QStringList dropped = twenty.mid(0, 19);
        dropped.prepend(QStringLiteral("new"));
        QTest::newRow("the oldest of 20 goes") << twenty << QStringLiteral("new") << dropped;
        QStringList moved = twenty;
        moved.move(19, 0);
        QTest::newRow("the 20th again keeps 20") << twenty << QStringLiteral("19") << moved;
    }

    void keywordHistoryRule()
    {
        QFETCH(QStringList, history);
        QFETCH(QString, keyword);
        QFETCH(QStringList, expected);
        QCOMPARE(yfx::RememberKeyword(history, keyword), expected);
        // what the settings hand back is cleaned the same way
        QStringList stored = expected;
        stored << QString() << expected.value(0) << QStringLiteral(" ");
        for (int i = 0; i < 30; ++i)
            stored << QStringLiteral("x%1").arg(i);
        const QStringList clean = yfx::CleanKeywordHistory(stored);
        QCOMPARE(clean.size(), yfx::kMaxKeywords);
        QCOMPARE(clean.mid(0, expected.size()), expected.mid(0, std::min<qsizetype>(expected.size(), yfx::kMaxKeywords)));
    }

    void completerOffersTheKeywordsSearched()
    {
        CLumbraWnd pane;
        pane.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pane));
        QSignalSpy changed(&pane, &CLumbraWnd::keywordHistoryChanged);
        // searched with Enter and with the buttons; the finder's titles are not typed keywords
        for (const QString& word : {QStringLiteral("手机壳"), QStringLiteral("耳机"), QStringLiteral("手机")}) {
            pane.m_editKeyword->setText(word);
            QTest::keyClick(pane.m_editKeyword, Qt::Key_Return);
        }
        pane.m_editKeyword->setText(QStringLiteral("手机壳"));
        QTest::mouseClick(pane.m_btnByPrice, Qt::LeftButton);
        pane.SetPageSourceFactory([] {
            std::vector<std::unique_ptr<yfx::CBrowserPageSource>> out;
            out.push_back(std::make_unique<FixedSource>(std::vector<yfx::BrowserPage>{
                {"http://item.test/item.htm?id=1", "新款手机-淘宝网"}}));
            return out;
        });
        QSignalSpy finder(&pane, &CLumbraWnd::finderFinished);
        pane.OnSearchMore(); // the pages are read on a pool thread
        QVERIFY(finder.count() > 0 || finder.wait(10000));
        const QStringList expected{QStringLiteral("手机壳"), QStringLiteral("手机"), QStringLiteral("耳机")};
        QCOMPARE(pane.KeywordHistory(), expected);
        QCOMPARE(changed.count(), 4);
        QCOMPARE(changed.last().at(0).toStringList(), expected);
        QCOMPARE(opener.calls.size(), size_t(5));

        // typing part of a keyword offers the ones that contain it, newest first
        pane.m_editKeyword->clear();
        pane.m_editKeyword->setFocus();
        for (const QChar c : QStringLiteral("手机")) // typed: keyClicks knows Latin-1 only
            QTest::sendKeyEvent(QTest::Click, pane.m_editKeyword, Qt::Key_unknown, QString(c), Qt::NoModifier);
        QCompleter* completer = pane.KeywordCompleter();
        QVERIFY(completer->popup()->isVisible());
        QStringList offered;
        for (int i = 0; i < completer->completionCount(); ++i) {
            completer->setCurrentRow(i);
            offered << completer->currentCompletion();
        }
        QCOMPARE(offered, (QStringList{QStringLiteral("手机壳"), QStringLiteral("手机")}));
        // Enter on an offered keyword searches for it, once
        const size_t before = opener.calls.size();
        QTest::keyClick(completer->popup(), Qt::Key_Down);
        QTest::keyClick(completer->popup(), Qt::Key_Return);
        QCOMPARE(pane.m_editKeyword->text(), QStringLiteral("手机壳"));
        QCOMPARE(opener.calls.size(), before + 1);
        QCOMPARE(opener.calls.back().query->keyword, Gbk("手机壳"));

        // the field's context menu clears the history
        std::unique_ptr<QMenu> menu(pane.CreateKeywordMenu());
        QAction* clear = menu->findChild<QAction*>(QStringLiteral("clearKeywordHistory"));
        QVERIFY(clear);
        QCOMPARE(clear->text(), QStringLiteral("清除搜索记录"));
        QVERIFY(clear->isEnabled());
        QVERIFY(menu->actions().size() > 3); // the edit's own entries stay
        clear->trigger();
        QVERIFY(pane.KeywordHistory().isEmpty());
        QCOMPARE(changed.last().at(0).toStringList(), QStringList());
        QTest::sendKeyEvent(QTest::Click, pane.m_editKeyword, Qt::Key_unknown, QStringLiteral("手"), Qt::NoModifier);
        QCOMPARE(completer->completionCount(), 0);
        menu.reset(pane.CreateKeywordMenu());
        QVERIFY(!menu->findChild<QAction*>(QStringLiteral("clearKeywordHistory"))->isEnabled());
        // a history read back from the settings is offered without being announced
        const int announced = changed.count();
        pane.SetKeywordHistory({QStringLiteral("鞋子"), QStringLiteral("鞋子"), QString()});
        QCOMPARE(pane.KeywordHistory(), QStringList{QStringLiteral("鞋子")});
        QCOMPARE(changed.count(), announced);
    }

    void categoryTreeRefreshKeepsTheUsersNodes()
    {
        CTBCatTreeCtrl tree(nullptr, "http://config.invalid/set/tbcat.jpg");
        auto node = [](const char* name, const std::string& children = {}) {
            return "{\"name\":\"" + Gbk(name) + "\",\"cat\":\"1\",\"catGroupList\":[" + children + "]}";
        };
        const std::string first = "[" + node("女装", node("连衣裙", node("长裙")) + "," + node("T恤")) + "," + node("男装", node("衬衫")) + "]";
        QVERIFY(tree.ApplyDocument(first));
        QTreeWidgetItem* root = tree.RootItem();
        QTreeWidgetItem* women = root->child(0);
        women->setExpanded(true);
        women->child(0)->setExpanded(true);
        tree.setCurrentItem(women->child(0)->child(0)); // 长裙
        // the fresh document: a new first node, the same path to the selected one
        const std::string second = "[" + node("鞋靴") + "," + node("女装", node("连衣裙", node("短裙") + "," + node("长裙"))) + "," + node("男装", node("衬衫")) + "]";
        QVERIFY(tree.ApplyDocument(second));
        QCOMPARE(root->childCount(), 3);
        QCOMPARE(root->child(0)->text(0), QStringLiteral("鞋靴"));
        women = root->child(1);
        QVERIFY(root->isExpanded());
        QVERIFY(women->isExpanded());
        QVERIFY(women->child(0)->isExpanded());
        QVERIFY(!root->child(2)->isExpanded());
        QCOMPARE(tree.currentItem(), women->child(0)->child(1));
        QCOMPARE(tree.currentItem()->text(0), QStringLiteral("长裙"));
        // a document without nodes changes nothing; one without the selected node selects the root
        QVERIFY(!tree.ApplyDocument("not json"));
        QVERIFY(!tree.ApplyDocument("[]"));
        QCOMPARE(root->childCount(), 3);
        QVERIFY(tree.ApplyDocument("[" + node("男装", node("衬衫")) + "]"));
        QCOMPARE(tree.currentItem(), root);
        QCOMPARE(root->childCount(), 1);
        QVERIFY(tree.LastDocument().empty()); // none fetched
    }

    void watchListShowsSortsOpensAndForgets()
    {
        QTemporaryDir data;
        QVERIFY(data.isValid());
        yfx::store::CPriceStore::Settings settings;
        settings.database.path = QFile::encodeName(data.filePath(QStringLiteral("prices.sqlite"))).toStdString();
        CPriceMemory memory(settings);
        CWatchListPane pane;
        QVERIFY(!pane.EmptyText().isEmpty()); // nothing watched yet
        pane.SetMemory(&memory);
        const char* titles[] = {"\xd6\xd0\xce\xc4 B", "\xb0\xa2", "\xd6\xd0\xce\xc4 A"}; // "中文 B", "阿", "中文 A" in GBK
        int answered = 0;
        for (int i = 0; i < 3; ++i) {
            CTBRecord r;
            r.source = ResultSource::OpenPlatform;
            r.SetValue(CTBRecord::ItemId, "w" + std::to_string(i));
            r.SetValue(CTBRecord::Tip, titles[i]);
            r.SetValue(CTBRecord::CurrentPrice, std::to_string(10 + i));
            r.SetValue(CTBRecord::Href, "https://s.click.test/w" + std::to_string(i));
            memory.Watch(this, r, std::nullopt, [&](yfx::store::WatchOutcome o) { answered += o == yfx::store::WatchOutcome::Added; });
        }
        QTRY_COMPARE(answered, 3);
        QTRY_COMPARE(pane.Model()->rowCount(), 3);
        QVERIFY(pane.EmptyText().isEmpty());

        // by title, in Chinese collation (pinyin: 阿 before 中, whose code is lower)
        auto* order = pane.findChild<QComboBox*>();
        order->setCurrentIndex(2);
        QStringList shown;
        for (int row = 0; row < 3; ++row)
            shown << pane.Model()->index(row).data().toString();
        QCOMPARE(shown, (QStringList{QStringLiteral("阿"), QStringLiteral("中文 A"), QStringLiteral("中文 B")}));

        // Enter opens the focused row's item as its tile would
        pane.List()->setCurrentIndex(pane.Model()->index(1));
        QTest::keyClick(pane.List(), Qt::Key_Return);
        QCOMPARE(opened, QStringList{QStringLiteral("https://s.click.test/w2")});

        std::unique_ptr<QMenu> menu(pane.CreateRowMenu(0));
        QStringList texts;
        for (QAction* a : menu->actions())
            texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
        QCOMPARE(texts, (QStringList{QStringLiteral("打开商品(&O)"), QStringLiteral("价格走势(&H)"),
                                     QStringLiteral("修改目标价(&T)…"), QStringLiteral("-"), QStringLiteral("取消关注(&U)")}));
        menu->actions().last()->trigger();
        QTRY_COMPARE(pane.Model()->rowCount(), 2);
        QVERIFY(!memory.IsWatched({ResultSource::OpenPlatform, "w1"}));
        QCOMPARE(pane.Model()->index(0).data().toString(), QStringLiteral("中文 A"));
    }

    void homePageOpensOnlyOnThePictures()
    {
        CHomePageDlg page;
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        CMyUrlStatic* upper = page.m_linkMarket;
        CMyUrlStatic* lower = page.m_linkMall;
        QCOMPARE(upper->m_nBitmapWidth, 146);
        QCOMPARE(lower->m_nBitmapHeight, 65);
        // both logos are shown whole, inside the pane
        for (CMyUrlStatic* link : {upper, lower}) {
            QVERIFY(link->width() >= link->m_nBitmapWidth);
            QVERIFY(link->height() >= link->m_nBitmapHeight);
            QVERIFY(page.rect().contains(link->geometry()));
        }
        QVERIFY(upper->geometry().bottom() < lower->geometry().top());
        const QPoint upperPicture = upper->geometry().center();
        const QPoint lowerPicture = lower->geometry().center();
        // inside the upper static but left of its centred picture
        const QPoint margin(upper->geometry().left() + 1, upper->geometry().center().y());
        QVERIFY(!upper->PtInLinkImage(margin.x(), margin.y()));

        QTest::mouseClick(&page, Qt::LeftButton, {}, upperPicture);
        QCOMPARE(opened, QStringList{CHomePageDlg::MarketChannelUrl()});
        QVERIFY(opened[0].startsWith(QStringLiteral("http://www.market.test/go/chn/tbk_channel/channelcode.php?pid=")));

        opened.clear();
        QTest::mouseClick(&page, Qt::LeftButton, {}, margin);
        QTest::mousePress(&page, Qt::LeftButton, {}, QPoint(2, 2));
        QTest::mouseRelease(&page, Qt::LeftButton, {}, upperPicture);
        QVERIFY(opened.isEmpty());

        QTest::mousePress(&page, Qt::LeftButton, {}, upperPicture);
        QTest::mouseRelease(&page, Qt::LeftButton, {}, lowerPicture);
        QCOMPARE(opened, QStringList{CHomePageDlg::MallChannelUrl()});

        auto moveTo = [&page](QPoint p) {
            QMouseEvent move(QEvent::MouseMove, p, page.mapToGlobal(p), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(&page, &move);
        };
        moveTo(upperPicture);
        QCOMPARE(page.cursor().shape(), Qt::PointingHandCursor);
        moveTo(margin);
        QCOMPARE(page.cursor().shape(), Qt::ArrowCursor);
        moveTo(lowerPicture);
        QCOMPARE(page.cursor().shape(), Qt::PointingHandCursor);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&page, &leave);
        QCOMPARE(page.cursor().shape(), Qt::ArrowCursor);
    }

private:
    RecordingOpener opener;
    QStringList opened;
};

QTEST_MAIN(PanesTest)
#include "PanesTest.moc"
