// The results view against a loopback marketplace: loading, the seller filter, the grid,
// tiles bound to the rows near the viewport from a bounded pool while scrolling and paging,
// the picture loader (decoding only for the tiles near the part in sight, never on the GUI
// thread), both orderings with the title suffix, the context menus of the view and of a tile,
// the price memory's markers and chart, resizing and closing while pictures load.
#include "ItemServer.h"
#include "TestDocument.h"

#include "controls/PictureLoad.h"
#include "results/CLumbra2View.h"
#include "market/NetEngine.h"
#include "market/TBRecord.h"
#include "results/CAnswerReportBox.h"
#include "results/CFocusFrame.h"
#include "results/CViewAccessible.h"
#include "results/UrlOpener.h"
#include "market/Endpoints.h"
#include "market/Gbk.h"
#include "results/CPictureLoader.h"
#include "results/CPriceChartWnd.h"
#include "results/CPriceMemory.h"
#include "results/WatchActions.h"
#include "results/CTBItemWnd.h"
#include "results/GridLayout.h"
#include "results/Paging.h"
#include "results/ResultOrder.h"
#include "results/ResultsHost.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAction>
#include <QPainter>
#include <QtMath>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <set>
#include <memory>
#include <set>

namespace {

std::vector<ItemSpec> Items(const std::string& prefix, int n)
{
    std::vector<ItemSpec> items;
    for (int i = 0; i < n; ++i) {
        ItemSpec it;
        it.id = prefix + std::to_string(i);
        it.price = std::to_string((i * 37) % 50 + 1) + ".50";
        it.ship = i % 2 ? "5.00" : "0.00";
        it.nick = "seller" + std::to_string(i);
        it.ratesum = std::to_string(i % 22);
        items.push_back(it);
    }
    return items;
}

int ThreadCount()
{
    return static_cast<int>(
        QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

bool Near(const QColor& a, const QColor& b)
{
    return std::abs(a.red() - b.red()) <= 12 && std::abs(a.green() - b.green()) <= 12 &&
           std::abs(a.blue() - b.blue()) <= 12;
}

// The tile's picture control holds the picture of the record the tile is bound to.
bool HoldsItsPicture(CTBItemWnd* tile)
{
    const CMyImageStatic& picture = tile->PictureControl();
    return !picture.m_image.isNull() &&
           Near(picture.m_image.pixelColor(110, 110), ItemServer::ColourOf(tile->Record().itemId()));
}

// The tile shows that picture when it paints (rendering it now, also when it lies outside
// the visible part of the view).
bool ShowsItsPicture(CTBItemWnd* tile)
{
    const QImage shot = tile->PictureControl().grab().toImage();
    return Near(shot.pixelColor(114, 114), ItemServer::ColourOf(tile->Record().itemId()));
}

struct OpenView {
    OpenView(const std::string& address, int order, const QString& title, QSize size)
        : doc(address, order, title), view(std::make_unique<CLumbra2View>(&doc))
    {
        view->resize(size);
        view->show();
    }
    TestDocument doc;
    std::unique_ptr<CLumbra2View> view;
};

} // namespace

class ViewTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void nothingToShow_data();
    void nothingToShow();
    void unreadableAnswersShowOneBoxAfterTheirCompletion();
    void waitsUntilTheConfigurationIsKnown();
    void firstRunTextAndItsLinks();
    void oneTilePerItemLessFilteredSellersInTheGrid();
    void picturesArriveSeveralAtOnceInTileOrderAndAreDrawn();
    void picturesAreDecodedOffThePaintPath();
    void reboundTilesTakeTheirDecodedPicturesWithoutDecodingAgain();
    void farTilesDropTheirPicturesAndDecodeThemWhenNear();
    void secondAddressOnlyWhenTheThumbnailCannotBeFetched();
    void orderingRebindsTilesInPlaceAndFlipsTheTitle();
    void documentOrderOneShowsPriceOrder();
    void contextMenuOnTheViewsOwnArea();
    void pricesAreRememberedAndMarkersFollow();
    void resizeRecentresWithoutReflow();
    void reorderWhileLoadingStillFetchesEveryPicture();
    void loaderAsksAgainOnlyForPicturesItNeverFetched();
    void twoViewsNeedingOnePictureDownloadItOnce();
    void closingWhileDownloadingReturnsQuickly();
    void openAndCloseWhileLoadingAHundredTimes();
    void oversizedAnswerIsCut();
    void scrollingBindsTilesFromABoundedPoolAndPagesOn();
    void accessibleTreeOfEightItems();
    void keyboardFocusFollowsItsItem();
    void focusFrameIsWholeDevicePixels_data();
    void focusFrameIsWholeDevicePixels();

private:
    std::unique_ptr<OpenView> Open(const std::string& address, int order = 0, QSize size = QSize(917, 600),
                                   const QString& title = QStringLiteral("自助搜索 - 销量"));

    QTemporaryDir m_folder;
    std::unique_ptr<ItemServer> m_server;
    TestHost m_host;
    std::unique_ptr<ScopedHost> m_scopedHost;
    std::atomic<int> m_reports{0};
};

void ViewTest::initTestCase()
{
    QVERIFY(m_folder.isValid());
    qRegisterMetaType<QMenu*>();
    qRegisterMetaType<QMessageBox*>();
    SetPictureFolder(QFile::encodeName(m_folder.path()).toStdString() + "/");
    m_server = std::make_unique<ItemServer>();
    SetErrorReporter([this](const std::string&, const std::string&) { ++m_reports; });
    m_scopedHost = std::make_unique<ScopedHost>(&m_host);
    yfx::SetEndpointOverride(yfx::Endpoint::Gateway, m_server->Base());
    InstallResultsAccessibility();
}

void ViewTest::init()
{
    m_host = TestHost();
    m_server->SetPictureLatency(std::chrono::milliseconds(0));
    m_server->HoldPictures(false);
    m_reports = 0;
}

std::unique_ptr<OpenView> ViewTest::Open(const std::string& address, int order, QSize size,
                                         const QString& title)
{
    auto v = std::make_unique<OpenView>(address, order, title, size);
    if (!QTest::qWaitForWindowExposed(v->view.get()))
        return nullptr;
    QSignalSpy finished(v->view.get(), &CLumbra2View::loadFinished);
    v->view->OnInitialUpdate();
    if (v->view->IsLoading() && !finished.wait(20000))
        return nullptr;
    return v;
}

void ViewTest::nothingToShow_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("reports");
    QTest::addColumn<QString>("status");
    QTest::newRow("empty address") << QString() << 0 << QString();
    QTest::newRow("failed fetch") << QStringLiteral("http://127.0.0.1:1/list") << 0 << QStringLiteral("无法连接服务器");
    QTest::newRow("unreadable answer") << QStringLiteral("$base/list/missing") << 1
                                       << QStringLiteral("无法读取服务器的回答");
    QTest::newRow("no items") << QStringLiteral("$list") << 0 << QStringLiteral("没有找到相关商品");
}

void ViewTest::nothingToShow()
{
    QFETCH(QString, address);
    QFETCH(int, reports);
    QFETCH(QString, status);
    const std::string empty = m_server->AddList("empty", {});
    std::string a = address.toStdString();
    if (a == "$list")
        a = empty;
    else if (a.starts_with("$base"))
        a = m_server->Base() + a.substr(5);

    auto v = std::make_unique<OpenView>(a, 0, QStringLiteral("自助搜索 - 销量"), QSize(917, 600));
    QVERIFY(QTest::qWaitForWindowExposed(v->view.get()));
    QSignalSpy finished(v->view.get(), &CLumbra2View::loadFinished);
    v->view->OnInitialUpdate();
    if (!a.empty()) {
        // the answer is on its way: a quiet loading state, and the window answers meanwhile
        QVERIFY(v->view->IsLoading());
        QCOMPARE(v->view->StatusText(), QStringLiteral("正在搜索…"));
        QVERIFY(finished.wait(20000));
        QCOMPARE(finished.at(0).at(0).toBool(), false);
    }
    QVERIFY(!v->view->IsLoading());
    QCOMPARE(v->view->StatusText(), status);
    QVERIFY(v->view->Tiles().empty());
    QVERIFY(v->view->Loader() == nullptr);
    QCOMPARE(v->view->Canvas()->size(), QSize(100, 100));
    QVERIFY(v->view->FirstLayoutPending());
    QCOMPARE(m_reports.load(), reports);

    // The ordering commands still work on the empty view and change the title suffix.
    v->view->OnCommand(CLumbra2View::ID_SORT_BY_PRICE);
    QCOMPARE(v->view->Order(), 1);
    QCOMPARE(v->doc.GetTitle(), QStringLiteral("自助搜索 - 价格"));

    // Without a document the view stays empty too.
    CLumbra2View orphan(nullptr);
    QVERIFY(!orphan.ShowAnswer({0, 200, R"({"itemList":[{"nid":"1"}]})"}));
    orphan.ShowOrder(1);
    QCOMPARE(orphan.Order(), 1);
}

void ViewTest::unreadableAnswersShowOneBoxAfterTheirCompletion()
{
    // the program's reporter from here on; this test's counter again afterwards
    auto restore = qScopeGuard([this] { SetErrorReporter([this](const std::string&, const std::string&) { ++m_reports; }); });
    CAnswerReportBox reports;
    QSignalSpy shown(&reports, &CAnswerReportBox::boxShown);
    const std::string unreadable = m_server->Base() + "/list/missing";
    int finished = 0;
    int boxesInsideCompletions = 0;
    int shownBefore = 0;
    auto openView = [&] {
        auto v = std::make_unique<OpenView>(unreadable, 0, QStringLiteral("自助搜索 - 销量"), QSize(917, 600));
        // the completion that reads the answer begins with the end of loading, ends with loadFinished
        connect(v->view.get(), &CLumbra2View::loadingChanged, this, [&](bool loading) {
            if (!loading)
                shownBefore = reports.Shown();
        });
        connect(v->view.get(), &CLumbra2View::loadFinished, this, [&] {
            boxesInsideCompletions += reports.Shown() != shownBefore;
            ++finished;
        });
        v->view->OnInitialUpdate();
        return v;
    };

    std::vector<std::unique_ptr<OpenView>> views;
    for (int i = 0; i < 3; ++i)
        views.push_back(openView());
    QTRY_COMPARE_WITH_TIMEOUT(finished, 3, 20000);
    QTRY_COMPARE(shown.count(), 1);
    QCOMPARE(boxesInsideCompletions, 0);
    QMessageBox* box = reports.Box();
    QVERIFY(box && box->isVisible());
    QCOMPARE(QApplication::activeModalWidget(), static_cast<QWidget*>(box));
    QCOMPARE(box->windowTitle(), QStringLiteral("请与程序开发者联系"));
    QVERIFY2(box->text().contains(QStringLiteral("Syntax error")), qPrintable(box->text()));
    // behind the box every tab says why it is empty
    for (const auto& v : views)
        QCOMPARE(v->view->StatusText(), QStringLiteral("无法读取服务器的回答"));

    // the other two reports came while the box was on its way or open: none follows it
    box->button(QMessageBox::Ok)->click();
    QTRY_VERIFY(!reports.Box());
    QCoreApplication::processEvents(); // a report kept for later would show now
    QCOMPARE(shown.count(), 1);

    // once it is closed, the next unreadable answer has a box of its own
    views.push_back(openView());
    QVERIFY(shown.wait(20000));
    QCOMPARE(shown.count(), 2);
    QCOMPARE(boxesInsideCompletions, 0);
    reports.Box()->button(QMessageBox::Ok)->click();
    QTRY_VERIFY(!reports.Box());
}

namespace {

int ListRequests(ItemServer& server, const std::string& path)
{
    int n = 0;
    for (const auto& seen : server.Requests())
        n += seen.path == path;
    return n;
}

} // namespace

void ViewTest::waitsUntilTheConfigurationIsKnown()
{
    const std::string list = m_server->AddList("waiting", Items("cfg", 6));
    m_host.m_bPending = true; // a first start: no document yet
    auto v = std::make_unique<OpenView>(list, 0, QStringLiteral("自助搜索 - 销量"), QSize(917, 600));
    QVERIFY(QTest::qWaitForWindowExposed(v->view.get()));
    QSignalSpy loading(v->view.get(), &CLumbra2View::loadingChanged);
    QSignalSpy finished(v->view.get(), &CLumbra2View::loadFinished);
    v->view->OnInitialUpdate();
    v->view->OnInitialUpdate(); // a second call changes nothing
    // the loading state, and nothing asked while the source and the seller filter are unknown
    QVERIFY(v->view->IsLoading());
    QCOMPARE(v->view->StatusText(), QStringLiteral("正在搜索…"));
    QCOMPARE(loading.count(), 1);
    QVERIFY(!finished.wait(300)); // no answer can come: nothing was asked
    QCOMPARE(ListRequests(*m_server, "/list/waiting"), 0);
    v->view->ConfigurationKnown(); // still pending: it keeps waiting
    QVERIFY(v->view->IsLoading());
    QCOMPARE(ListRequests(*m_server, "/list/waiting"), 0);

    // the configuration comes with a seller to leave out: the view asks now, filtered
    m_host.m_config.sellerNicks = {{"seller2", 0}};
    m_host.m_bPending = false;
    v->view->ConfigurationKnown();
    QVERIFY(v->view->IsLoading());
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.at(0).at(0).toBool(), true);
    QCOMPARE(v->view->Tiles().size(), size_t(5));
    for (const CTBRecord& r : v->view->Records())
        QVERIFY(r.nick() != "seller2");
    QCOMPARE(ListRequests(*m_server, "/list/waiting"), 1);
    // once answered, a later ConfigurationKnown asks nothing again
    v->view->ConfigurationKnown();
    QVERIFY(!v->view->IsLoading());
    QCOMPARE(loading.last().at(0).toBool(), false);

    // a window that asks for nothing (an empty address) never waits
    auto empty = std::make_unique<OpenView>(std::string(), 0, QStringLiteral("Lumbra2 1"), QSize(400, 300));
    m_host.m_bPending = true;
    empty->view->OnInitialUpdate();
    QVERIFY(!empty->view->IsLoading());
    QCOMPARE(empty->view->StatusText(), QString());
}

void ViewTest::firstRunTextAndItsLinks()
{
    const std::string list = m_server->AddList("firstrun", Items("first", 3));
    m_host.m_bNoSource = true;
    auto v = std::make_unique<OpenView>(list, 0, QStringLiteral("自助搜索 - 销量"), QSize(917, 600));
    QVERIFY(QTest::qWaitForWindowExposed(v->view.get()));
    QSignalSpy finished(v->view.get(), &CLumbra2View::loadFinished);
    v->view->OnInitialUpdate();
    // said at once, without asking anything
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toBool(), false);
    QVERIFY(!v->view->IsLoading());
    QVERIFY(v->view->ShowsFirstRun());
    QVERIFY(v->view->StatusText().contains(QStringLiteral("数据源")));
    QLabel* links = v->view->FirstRunLinks();
    QVERIFY(links->isVisible());
    QVERIFY(links->text().contains(QStringLiteral("设置淘宝开放平台账号…")));
    QVERIFY(links->text().contains(QStringLiteral("使用演示数据")));
    QCOMPARE(ListRequests(*m_server, "/list/firstrun"), 0);

    // a click reaches the links (the grey text lets clicks through, the links take them)
    const QPoint settingsAt(4, links->height() / 2);
    const QPoint demoAt(links->width() - 4, links->height() / 2);
    QCOMPARE(v->view->childAt(links->mapTo(v->view.get(), settingsAt)), static_cast<QWidget*>(links));
    QTest::mouseClick(links, Qt::LeftButton, {}, settingsAt);
    QCOMPARE(m_host.m_nSettingsAsked, 1);
    QCOMPARE(m_host.m_nDemoAsked, 0);
    QVERIFY(v->view->ShowsFirstRun()); // the settings are a dialog: the text stays until they apply

    // the demo: the view waits for the configuration the started server brings, then searches
    QTest::mouseClick(links, Qt::LeftButton, {}, demoAt);
    QCOMPARE(m_host.m_nDemoAsked, 1);
    QVERIFY(!v->view->ShowsFirstRun());
    QVERIFY(v->view->IsLoading());
    QCOMPARE(v->view->StatusText(), QStringLiteral("正在搜索…"));
    m_host.m_bNoSource = false;
    m_host.m_bPending = false;
    v->view->ConfigurationKnown();
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.last().at(0).toBool(), true);
    QCOMPARE(v->view->Tiles().size(), size_t(3));
    QVERIFY(!v->view->ShowsFirstRun());
    QCOMPARE(ListRequests(*m_server, "/list/firstrun"), 1);

    // a configured server that fails keeps its own text
    auto failed = std::make_unique<OpenView>("http://127.0.0.1:1/list", 0, QStringLiteral("自助搜索 - 销量"),
                                             QSize(917, 600));
    QSignalSpy failedFinished(failed->view.get(), &CLumbra2View::loadFinished);
    failed->view->OnInitialUpdate();
    QVERIFY(failedFinished.wait(20000));
    QCOMPARE(failed->view->StatusText(), QStringLiteral("无法连接服务器"));
    QVERIFY(!failed->view->ShowsFirstRun());
    QVERIFY(!failed->view->FirstRunLinks()->isVisible());
}

void ViewTest::oneTilePerItemLessFilteredSellersInTheGrid()
{
    std::vector<ItemSpec> items = Items("g", 10);
    items[4].nick = ""; // never filtered
    m_host.m_config.sellerNicks = {{"seller2", 0}, {"seller7", 1}, {"", 2}, {"SELLER3", 3}};
    const std::string list = m_server->AddList("grid", items);

    auto v = Open(list);
    QVERIFY(v);
    CLumbra2View& view = *v->view;
    QCOMPARE(view.Tiles().size(), size_t{8});
    const std::vector<std::string> expected = {"g0", "g1", "g3", "g4", "g5", "g6", "g8", "g9"};
    for (size_t i = 0; i < expected.size(); ++i)
        QCOMPARE(view.Tiles()[i]->Record().itemId(), expected[i]);

    // Three rows are taller than 600 pixels: the scroll bar's width comes off before centring.
    const int tw = view.Tiles()[0]->width();
    const int th = view.Tiles()[0]->height();
    QCOMPARE(tw, 232);
    const int bar = view.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &view);
    const int w = 917 - bar;
    const int left = (w - 700) / 2;
    QCOMPARE(view.Left(), left);
    for (size_t i = 0; i < view.Tiles().size(); ++i) {
        const yfx::GridPoint p = yfx::GridCell(static_cast<int>(i), left, tw, th);
        QCOMPARE(view.Tiles()[i]->pos(), QPoint(p.x, p.y));
        QVERIFY(view.Tiles()[i]->isVisible());
    }
    QCOMPARE(view.Tiles()[3]->pos(), QPoint(left, th + 2)); // the fourth tile starts row two
    // below the grid the quiet row: a page of fewer than 40 items is the last
    QCOMPARE(view.Canvas()->size(), QSize(w - 1, 3 * (th + 1) + 1 + CMoreRow::kHeight));
    QCOMPARE(view.MoreRow()->Text(), QStringLiteral("没有更多了"));
    QCOMPARE(view.MoreRow()->geometry(), QRect(left, 3 * (th + 1) + 1, 3 * (tw + 1) - 1, CMoreRow::kHeight));
    QTRY_VERIFY(view.verticalScrollBar()->isVisible());
    QVERIFY(!view.horizontalScrollBar()->isVisible());
    QVERIFY(!view.FirstLayoutPending());
    QCOMPARE(view.Order(), 0);
    QVERIFY(!view.PriceOrderBuilt());

    // Every record filtered: an empty view, and the worker ends at once.
    m_host.m_config.sellerNicks = {{"only", 0}};
    std::vector<ItemSpec> two = Items("f", 2);
    two[0].nick = two[1].nick = "only";
    auto none = Open(m_server->AddList("filtered", two));
    QVERIFY(none);
    QVERIFY(none->view->Tiles().empty());
    QCOMPARE(none->view->Canvas()->size(), QSize(100, 100));
    QTRY_VERIFY(!none->view->PicturesLoading());
}

void ViewTest::picturesArriveSeveralAtOnceInTileOrderAndAreDrawn()
{
    // every picture answer waits: the first six (the engine's places per host) are under way
    // together before any has finished
    m_server->HoldPictures(true);
    const std::string list = m_server->AddList("pictures", Items("p", 9));
    const size_t requestsBefore = m_server->Requests().size();
    // (counted by this list's own paths: a closed view's request may still reach the server)
    auto asked = [&] {
        std::set<std::string> paths;
        const std::vector<LocalHttpServer::Seen> seen = m_server->Requests();
        for (size_t i = requestsBefore; i < seen.size(); ++i)
            if (seen[i].path.starts_with("/pic/p"))
                paths.insert(seen[i].path);
        return paths;
    };
    // Tall enough for all three rows: every tile is painted without scrolling.
    auto v = Open(list, 0, QSize(917, 1000));
    QVERIFY(v);
    QSignalSpy done(v->view.get(), &CLumbra2View::picturesDone);
    QSignalSpy arrived(v->view.get(), &CLumbra2View::pictureArrived);
    QTRY_COMPARE(asked().size(), size_t(CNetEngine::kMaxPerHost));
    QTest::qWait(100); // room for a seventh, which must wait for a free place
    const std::set<std::string> firstSix = asked();
    QCOMPARE(firstSix.size(), size_t(CNetEngine::kMaxPerHost));
    QVERIFY(v->view->PicturesLoading());
    std::set<std::string> expected;
    for (int i = 0; i < CNetEngine::kMaxPerHost; ++i)
        expected.insert("/pic/p" + std::to_string(i) + ".jpg_220x220.jpg");
    QCOMPARE(firstSix, expected); // the first rows first
    m_server->HoldPictures(false);
    m_server->Release();

    QVERIFY(done.count() > 0 || done.wait(10000));
    QTRY_COMPARE(arrived.count(), 9);
    for (CTBItemWnd* tile : v->view->Tiles()) {
        // The loader's repaint request alone made the control read its file.
        QTRY_VERIFY(HoldsItsPicture(tile));
        // Drawn into the control at (4, 4) inside the frame.
        const QImage shot = tile->PictureControl().grab().toImage();
        QVERIFY(Near(shot.pixelColor(114, 114), ItemServer::ColourOf(tile->Record().itemId())));
        QVERIFY(QFile::exists(m_folder.filePath(QString::fromStdString(tile->Record().thumbFileName))));
    }
    // Each picture was asked for once, by the program, over at most six kept-alive connections.
    std::map<std::string, int> counts;
    std::set<int> ports;
    const std::vector<LocalHttpServer::Seen> seen = m_server->Requests();
    for (size_t i = requestsBefore; i < seen.size(); ++i) {
        if (seen[i].path.starts_with("/pic/p")) { // (this list's own, as above)
            ++counts[seen[i].path];
            ports.insert(seen[i].remotePort);
            QCOMPARE(seen[i].userAgent, std::string("HttpClient"));
        }
    }
    QCOMPARE(counts.size(), size_t{9});
    for (const auto& [path, n] : counts)
        QCOMPARE(n, 1);
    QVERIFY(ports.size() <= size_t(CNetEngine::kMaxPerHost));
    QVERIFY(!v->view->PicturesLoading());
}

void ViewTest::picturesAreDecodedOffThePaintPath()
{
    // one row in sight: the tiles below never paint, yet they hold their pictures, decoded
    // in the pool when their files came, not by a paint on the GUI thread
    const std::string list = m_server->AddList("decoded", Items("dc", 9));
    auto v = Open(list, 0, QSize(917, 300));
    QVERIFY(v);
    QSignalSpy done(v->view.get(), &CLumbra2View::picturesDone);
    QVERIFY(done.count() > 0 || done.wait(10000));
    QVERIFY(!v->view->PicturesLoading());
    const std::vector<CTBItemWnd*>& tiles = v->view->Tiles();
    QVERIFY(tiles.back()->y() > 300 + v->view->verticalScrollBar()->value());
    for (CTBItemWnd* tile : tiles)
        QVERIFY(HoldsItsPicture(tile));
}

void ViewTest::reboundTilesTakeTheirDecodedPicturesWithoutDecodingAgain()
{
    const std::string list = m_server->AddList("rebound", Items("rb", 9));
    auto v = Open(list, 0, QSize(917, 1400)); // every tile in sight
    QVERIFY(v);
    CLumbra2View& view = *v->view;
    QSignalSpy done(&view, &CLumbra2View::picturesDone);
    QVERIFY(done.count() > 0 || done.wait(10000));
    for (CTBItemWnd* tile : view.Tiles())
        QVERIFY(HoldsItsPicture(tile));
    const yfx::PictureReadCounts before = yfx::PictureReads();
    QVERIFY(before.total >= 9);

    // An ordering command: every rebound tile holds the picture of its new record at once and
    // paints it; no picture is decoded again, on any thread.
    for (int order : {1, 0, 1}) {
        view.ShowOrder(order);
        for (CTBItemWnd* tile : view.Tiles()) {
            QVERIFY(HoldsItsPicture(tile));
            QVERIFY(ShowsItsPicture(tile));
        }
        QVERIFY(!view.PicturesLoading());
    }
    QCOMPARE(yfx::PictureReads().total, before.total);

    // Rebound tiles whose new items' pictures no tile holds (the rows of those items were never
    // near) are painted with the empty frame; their pictures come through the pool, and the
    // GUI thread decodes nothing.
    auto shortView = Open(m_server->AddList("rebound-far", Items("rbf", 36)), 0, QSize(917, 250));
    QVERIFY(shortView);
    CLumbra2View& other = *shortView->view;
    QSignalSpy otherDone(&other, &CLumbra2View::picturesDone);
    QVERIFY(otherDone.count() > 0 || otherDone.wait(20000));
    std::set<std::string> held;
    for (CTBItemWnd* t : other.Tiles())
        if (!t->PictureControl().m_image.isNull())
            held.insert(t->Record().itemId());
    QCOMPARE(held.size(), other.Tiles().size()); // every tile is near and holds its picture
    QVERIFY(other.Tiles().size() < 36);          // and not every row has one
    const yfx::PictureReadCounts beforeRebind = yfx::PictureReads();
    other.ShowOrder(1);
    int asked = 0;
    for (CTBItemWnd* t : other.Tiles()) {
        if (held.contains(t->Record().itemId())) {
            QVERIFY(HoldsItsPicture(t));
        } else {
            ++asked;
            QVERIFY(t->PictureControl().m_image.isNull());
            QCOMPARE(t->PictureControl().grab().toImage().pixelColor(114, 114), QColor(255, 255, 255));
        }
    }
    QVERIFY(asked > 0);
    for (CTBItemWnd* t : other.Tiles())
        QTRY_VERIFY(HoldsItsPicture(t));
    QCOMPARE(yfx::PictureReads().total, beforeRebind.total + asked);
    QCOMPARE(yfx::PictureReads().onGuiThread, 0);
}

void ViewTest::farTilesDropTheirPicturesAndDecodeThemWhenNear()
{
    const std::string list = m_server->AddList("far", Items("far", 36)); // 12 rows
    auto v = Open(list, 0, QSize(917, 250));
    QVERIFY(v);
    CLumbra2View& view = *v->view;
    QSignalSpy done(&view, &CLumbra2View::picturesDone);
    QVERIFY(done.count() > 0 || done.wait(20000));
    // Only the rows near the part in sight have tiles, and those hold their pictures; a far row
    // has no tile, and its picture is not even fetched.
    QVERIFY(view.Tiles().size() >= 3 && view.Tiles().size() < 36);
    for (CTBItemWnd* tile : view.Tiles())
        QVERIFY(HoldsItsPicture(tile));
    QVERIFY(!view.TileForRow(35));
    QVERIFY(QFile::exists(m_folder.filePath(QStringLiteral("far0.jpg_220x220.jpg"))));
    QVERIFY(!QFile::exists(m_folder.filePath(QStringLiteral("far35.jpg_220x220.jpg"))));

    // Scrolled to the end: the tiles there get their pictures, the top rows have none.
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
    QVERIFY(!view.TileForRow(0));
    QVERIFY(view.TileForRow(35));
    for (CTBItemWnd* tile : view.Tiles())
        QTRY_VERIFY_WITH_TIMEOUT(HoldsItsPicture(tile), 10000);
    QVERIFY(QFile::exists(m_folder.filePath(QStringLiteral("far35.jpg_220x220.jpg"))));
    // and back: the pictures of the top rows were set aside, and come back with their rows
    view.verticalScrollBar()->setValue(0);
    for (CTBItemWnd* tile : view.Tiles())
        QVERIFY(HoldsItsPicture(tile));
    QCOMPARE(yfx::PictureReads().onGuiThread, 0);
}

void ViewTest::secondAddressOnlyWhenTheThumbnailCannotBeFetched()
{
    std::vector<ItemSpec> items = Items("s", 2);
    // s0: the thumbnail's host refuses connections: the second address is fetched instead.
    items[0].originalImage = "http://127.0.0.1:1/pic/s0.jpg";
    // s1: the thumbnail is answered 404: nothing is written and no second download is made.
    items[1].originalImage = m_server->Base() + "/gone/s1.jpg";
    const std::string list = m_server->AddList("second", items);
    auto v = Open(list);
    QVERIFY(v);
    QSignalSpy done(v->view.get(), &CLumbra2View::picturesDone);
    QVERIFY(done.count() > 0 || done.wait(10000));
    QTRY_VERIFY(ShowsItsPicture(v->view->Tiles()[0]));
    QVERIFY(v->view->Tiles()[1]->PictureControl().m_image.isNull());
    QVERIFY(!QFile::exists(m_folder.filePath(QStringLiteral("s1.jpg_220x220.jpg"))));
    bool secondForS0 = false;
    for (const auto& r : m_server->Requests()) {
        QVERIFY(r.path != "/img/s1.jpg");
        secondForS0 = secondForS0 || r.path == "/img/s0.jpg";
    }
    QVERIFY(secondForS0);
}

void ViewTest::orderingRebindsTilesInPlaceAndFlipsTheTitle()
{
    const std::vector<ItemSpec> items = Items("o", 8);
    const std::string list = m_server->AddList("order", items);
    auto v = Open(list);
    QVERIFY(v);
    CLumbra2View& view = *v->view;
    QSignalSpy done(&view, &CLumbra2View::picturesDone);
    QVERIFY(done.count() > 0 || done.wait(10000));

    std::vector<QPoint> positions;
    for (CTBItemWnd* tile : view.Tiles())
        positions.push_back(tile->pos());
    const QSize canvas = view.Canvas()->size();
    QVERIFY(view.IsCommandEnabled(CLumbra2View::ID_SORT_BY_PRICE));
    QVERIFY(!view.IsCommandEnabled(CLumbra2View::ID_SORT_BY_SALES));

    view.OnCommand(CLumbra2View::ID_SORT_BY_PRICE);
    QCOMPARE(view.Order(), 1);
    QCOMPARE(v->doc.GetTitle(), QStringLiteral("自助搜索 - 价格"));
    QCOMPARE(v->doc.m_titlesSet, QStringList{QStringLiteral("自助搜索 - 价格")});
    QVERIFY(!view.IsCommandEnabled(CLumbra2View::ID_SORT_BY_PRICE));
    QVERIFY(view.IsCommandEnabled(CLumbra2View::ID_SORT_BY_SALES));
    const std::vector<CTBRecord> byPrice = yfx::PriceOrder(view.Records());
    for (size_t i = 0; i < view.Tiles().size(); ++i) {
        CTBItemWnd* tile = view.Tiles()[i];
        QCOMPARE(tile->Record().itemId(), byPrice[i].itemId());
        QCOMPARE(tile->pos(), positions[i]); // no new layout
        QCOMPARE(tile->PriceControl().Text(), QString::fromStdString(byPrice[i].currentPrice()));
        QTRY_VERIFY(ShowsItsPicture(tile)); // its picture at once (the file exists)
    }
    QCOMPARE(view.Canvas()->size(), canvas);
    bool moved = false; // the order did change
    for (size_t i = 0; i < view.Tiles().size(); ++i)
        moved = moved || view.Tiles()[i]->Record().itemId() != items[i].id;
    QVERIFY(moved);

    // Back to sales order: the answer's order again; the price order is not built again.
    view.OnCommand(CLumbra2View::ID_SORT_BY_SALES);
    QCOMPARE(view.Order(), 0);
    QCOMPARE(v->doc.GetTitle(), QStringLiteral("自助搜索 - 销量"));
    for (size_t i = 0; i < view.Tiles().size(); ++i)
        QCOMPARE(view.Tiles()[i]->Record().itemId(), items[i].id);
    view.OnCommand(CLumbra2View::ID_SORT_BY_PRICE);
    QCOMPARE(view.PriceOrderBuilds(), 1);
    // A disabled command does nothing.
    view.OnCommand(CLumbra2View::ID_SORT_BY_PRICE);
    QCOMPARE(v->doc.m_titlesSet.size(), 3);

    // A title ending with neither word is left alone.
    v->doc.m_title = QStringLiteral("今日推荐");
    view.ShowOrder(0);
    QCOMPARE(v->doc.GetTitle(), QStringLiteral("今日推荐"));
    QCOMPARE(v->doc.m_titlesSet.size(), 3);
}

void ViewTest::documentOrderOneShowsPriceOrder()
{
    const std::string list = m_server->AddList("order1", Items("d", 5));
    auto v = Open(list, 7, QSize(917, 600), QStringLiteral("热卖排行 - 价格"));
    QVERIFY(v);
    CLumbra2View& view = *v->view;
    QCOMPARE(view.Order(), 1);
    QVERIFY(view.PriceOrderBuilt());
    const std::vector<CTBRecord> byPrice = yfx::PriceOrder(view.Records());
    for (size_t i = 0; i < view.Tiles().size(); ++i)
        QCOMPARE(view.Tiles()[i]->Record().itemId(), byPrice[i].itemId());
    QVERIFY(view.IsCommandEnabled(CLumbra2View::ID_SORT_BY_SALES));
    QVERIFY(!view.IsCommandEnabled(CLumbra2View::ID_SORT_BY_PRICE));
    QCOMPARE(v->doc.GetTitle(), QStringLiteral("热卖排行 - 价格"));
    QSignalSpy done(&view, &CLumbra2View::picturesDone);
    QVERIFY(done.count() > 0 || done.wait(10000));
}

void ViewTest::contextMenuOnTheViewsOwnArea()
{
    const std::string list = m_server->AddList("menu", Items("m", 4));
    auto v = Open(list);
    QVERIFY(v);
    CLumbra2View& view = *v->view;
    QSignalSpy shown(&view, &CLumbra2View::contextMenuShown);

    // A right press on a tile shows the tile's menu: the price chart and the watch list above
    // the view's commands, the price memory's commands below them.
    QTest::mousePress(view.Tiles()[0], Qt::RightButton, {}, QPoint(50, 50));
    QTest::mouseRelease(view.Tiles()[0], Qt::RightButton, {}, QPoint(50, 50));
    QCOMPARE(shown.count(), 1);
    QMenu* tileMenu = shown.takeFirst().at(0).value<QMenu*>();
    QStringList texts;
    for (QAction* a : tileMenu->actions())
        texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
    QCOMPARE(texts, (QStringList{QStringLiteral("价格走势(&H)"), QStringLiteral("加入关注(&W)"), QStringLiteral("-"),
                                 QStringLiteral("按销量排序"),
                                 QStringLiteral("按价格排序"), QStringLiteral("-"), QStringLiteral("不记录价格"),
                                 QStringLiteral("清除价格记录…")}));
    QVERIFY(!tileMenu->actions()[0]->isEnabled()); // no price memory in this test
    QVERIFY(!tileMenu->actions()[1]->isEnabled());
    tileMenu->close();

    // On the margin left of the grid the menu comes up, with the states of the order shown.
    QVERIFY(view.Left() > 10);
    QTest::mousePress(view.viewport(), Qt::RightButton, {}, QPoint(5, 100));
    QCOMPARE(shown.count(), 1);
    auto* menu = shown.at(0).at(0).value<QMenu*>();
    QVERIFY(menu);
    QCOMPARE(menu->title(), QStringLiteral("排序"));
    const QList<QAction*> actions = menu->actions();
    QCOMPARE(actions.size(), 2);
    QCOMPARE(actions[0]->text(), QStringLiteral("按销量排序"));
    QCOMPARE(actions[1]->text(), QStringLiteral("按价格排序"));
    QVERIFY(!actions[0]->isEnabled());
    QVERIFY(actions[1]->isEnabled());
    QVERIFY(!actions[0]->isChecked() && !actions[1]->isChecked());
    QTRY_VERIFY(menu->isVisible());
    actions[1]->trigger();
    QCOMPARE(view.Order(), 1);
    menu->close();

    // In the gap between two tiles, too; now the other command is the enabled one.
    const QPoint gap = view.Tiles()[0]->geometry().topRight() + QPoint(1, 20);
    QTest::mousePress(view.Canvas(), Qt::RightButton, {}, gap);
    QCOMPARE(shown.count(), 2);
    menu = shown.at(1).at(0).value<QMenu*>();
    QVERIFY(menu->actions()[0]->isEnabled());
    QVERIFY(!menu->actions()[1]->isEnabled());
    menu->close();
    QTRY_VERIFY(!view.PicturesLoading());
}

void ViewTest::pricesAreRememberedAndMarkersFollow()
{
    QTemporaryDir data;
    QVERIFY(data.isValid());
    yfx::store::CPriceStore::Settings settings;
    settings.database.path = QFile::encodeName(data.filePath(QStringLiteral("prices.sqlite"))).toStdString();
    auto memory = std::make_unique<CPriceMemory>(settings);
    SetMainPriceMemory(memory.get());
    struct Unset {
        ~Unset() { SetMainPriceMemory(nullptr); }
    } unset;

    // A view whose memory's answer is listened for from its start (it may come while the view's
    // tiles are made); the number of markers it told of.
    const auto openAnswered = [this](const std::string& list, int& markers) -> std::unique_ptr<OpenView> {
        auto v = std::make_unique<OpenView>(list, 0, QStringLiteral("自助搜索 - 销量"), QSize(917, 600));
        if (!QTest::qWaitForWindowExposed(v->view.get()))
            return nullptr;
        QSignalSpy answered(v->view.get(), &CLumbra2View::priceSummariesArrived);
        QSignalSpy finished(v->view.get(), &CLumbra2View::loadFinished);
        v->view->OnInitialUpdate();
        if ((finished.isEmpty() && !finished.wait(20000)) || (answered.isEmpty() && !answered.wait(10000)))
            return nullptr;
        markers = answered.at(0).at(0).toInt();
        return v;
    };
    int markerCount = -1;

    // First sight: the tiles come at once, the store answers later, no item has a marker.
    std::vector<ItemSpec> items = Items("p", 4);
    auto first = openAnswered(m_server->AddList("prices-1", items), markerCount);
    QVERIFY(first);
    QCOMPARE(first->view->Tiles().size(), size_t{4});
    QCOMPARE(markerCount, 0);
    QCOMPARE(first->view->PriceSummaries().size(), size_t{4});
    for (CTBItemWnd* tile : first->view->Tiles())
        QVERIFY(!tile->MarkerControl().isVisible());

    // The prices move: two items cheaper, one dearer, one the same.
    items[0].price = "1.00";
    items[1].price = "0.50";
    items[2].price = "99.00";
    auto second = openAnswered(m_server->AddList("prices-2", items), markerCount);
    QVERIFY(second);
    QCOMPARE(markerCount, 3);
    QCOMPARE(second->view->PriceSummaries().size(), size_t{4});
    std::map<std::string, QString> markers;
    for (CTBItemWnd* tile : second->view->Tiles())
        markers[tile->Record().itemId()] = tile->MarkerControl().isVisible() ? tile->MarkerControl().Text() : QString();
    QCOMPARE(markers["p0"], QStringLiteral("降¥0.50"));   // 1.50 -> 1.00
    QCOMPARE(markers["p1"], QStringLiteral("降¥38.00"));  // 43.50 (5.00 postage) -> 5.50
    QCOMPARE(markers["p2"], QStringLiteral("涨¥73.50"));  // 25.50 -> 99.00
    QCOMPARE(markers["p3"], QString());
    // The price order rebinds the tiles: each marker goes with its item.
    second->view->ShowOrder(1);
    for (CTBItemWnd* tile : second->view->Tiles()) {
        const QString shown = tile->MarkerControl().isVisible() ? tile->MarkerControl().Text() : QString();
        QCOMPARE(shown, markers[tile->Record().itemId()]);
    }

    // The chart opens at once and fills in when the store answers.
    CTBItemWnd* cheaper = nullptr;
    for (CTBItemWnd* tile : second->view->Tiles())
        if (tile->Record().itemId() == "p0")
            cheaper = tile;
    QVERIFY(cheaper);
    auto* chart = qobject_cast<CPriceChartWnd*>(second->view->OpenPriceChart(cheaper));
    QVERIFY(chart);
    QPointer<CPriceChartWnd> guard(chart);
    QVERIFY(chart->isVisible());
    QVERIFY(chart->Loading());
    QCOMPARE(chart->StatusText(), QStringLiteral("正在读取…"));
    QSignalSpy history(chart, &CPriceChartWnd::historyArrived);
    QVERIFY(history.wait(10000));
    QCOMPARE(history.at(0).at(0).toInt(), 2);
    QVERIFY(chart->StatusText().isEmpty());
    QCOMPARE(chart->Series().lowest, 100);
    QCOMPARE(chart->Series().highest, 150);
    chart->HoverAt(chart->PlotArea().right() - 1);
    QVERIFY2(chart->HoverText().endsWith(QStringLiteral("¥1.00")), qPrintable(chart->HoverText()));
    chart->close();
    QTRY_VERIFY(guard.isNull());

    // Watching from the tile menu: a target is asked for in a popup, Enter accepts it, and the
    // menu then offers to stop watching.
    const auto watchAction = [&] {
        std::unique_ptr<QMenu> menu(second->view->CreateTileMenu(cheaper));
        QAction* a = menu->findChild<QAction*>(QStringLiteral("watchAction"));
        return std::make_pair(a ? a->text() : QString(), a && a->isEnabled());
    };
    QCOMPARE(watchAction(), std::make_pair(QStringLiteral("加入关注(&W)"), true));
    {
        std::unique_ptr<QMenu> menu(second->view->CreateTileMenu(cheaper));
        menu->findChild<QAction*>(QStringLiteral("watchAction"))->trigger();
    }
    CTargetPricePopup* popup = second->view->window()->findChild<CTargetPricePopup*>();
    QVERIFY(popup);
    QTRY_VERIFY(popup->isVisible());
    QTest::keyClicks(popup->Field(), QStringLiteral("abc"));
    QTest::keyClick(popup->Field(), Qt::Key_Return); // not an amount: the popup stays
    QVERIFY(popup->isVisible());
    popup->Field()->setText(QStringLiteral("0.80"));
    QTest::keyClick(popup->Field(), Qt::Key_Return);
    QTRY_VERIFY(memory->IsWatched({ResultSource::ListSearch, "p0"}));
    QCOMPARE(watchAction().first, QStringLiteral("取消关注"));
    std::vector<yfx::store::WatchedItem> watched;
    memory->AskWatched(this, [&](const std::vector<yfx::store::WatchedItem>& w) { watched = w; });
    QTRY_COMPARE(watched.size(), size_t{1});
    QCOMPARE(watched[0].target, std::optional<std::int64_t>(80));
    QCOMPARE(watched[0].addedPrice, 100);
    memory->Unwatch({ResultSource::ListSearch, "p0"});
    QCOMPARE(watchAction().first, QStringLiteral("加入关注(&W)"));

    // With recording off nothing more is written; what is known still shows.
    memory->SetRecording(false);
    items[0].price = "0.10";
    auto third = openAnswered(m_server->AddList("prices-3", items), markerCount);
    QVERIFY(third);
    QCOMPARE(third->view->PriceSummaries().size(), size_t{4});
    const yfx::store::PriceSummary& p0 = third->view->PriceSummaries().at({ResultSource::ListSearch, "p0"});
    QCOMPARE(p0.rows, 2);
    QCOMPARE(p0.currentTotal, 10);
    QCOMPARE(*p0.lastDifferent, 100);
}

void ViewTest::resizeRecentresWithoutReflow()
{
    const std::string list = m_server->AddList("resize", Items("r", 5));
    auto v = Open(list, 0, QSize(900, 900));
    QVERIFY(v);
    CLumbra2View& view = *v->view;
    QCOMPARE(view.Left(), 100);
    std::vector<QPoint> before;
    for (CTBItemWnd* tile : view.Tiles())
        before.push_back(tile->pos());
    QCOMPARE(view.Canvas()->width(), 899);

    view.resize(1000, 900);
    QTRY_COMPARE(view.Left(), 150);
    for (size_t i = 0; i < before.size(); ++i)
        QCOMPARE(view.Tiles()[i]->pos(), before[i] + QPoint(50, 0));
    QCOMPARE(view.Canvas()->width(), 999);

    // Narrower than 700: the grid starts at 1 and scrolls sideways; the columns stay.
    view.resize(640, 900);
    QTRY_COMPARE(view.Left(), 1);
    for (size_t i = 0; i < before.size(); ++i)
        QCOMPARE(view.Tiles()[i]->pos(), before[i] + QPoint(1 - 100, 0));
    QCOMPARE(view.Canvas()->width(), 699);
    QTRY_VERIFY(view.horizontalScrollBar()->isVisible());
    QTRY_VERIFY(!view.PicturesLoading());
}

void ViewTest::reorderWhileLoadingStillFetchesEveryPicture()
{
    m_server->SetPictureLatency(std::chrono::milliseconds(30));
    const std::string list = m_server->AddList("race", Items("x", 12));
    auto v = Open(list, 0, QSize(917, 1400)); // all four rows in sight
    QVERIFY(v);
    CLumbra2View& view = *v->view;
    QVERIFY(view.PicturesLoading());
    // The user switches order while the first pictures are still on their way, and back.
    view.ShowOrder(1);
    QTRY_VERIFY(m_server->PicturesStarted() > 0);
    view.ShowOrder(0);
    view.ShowOrder(1);
    for (CTBItemWnd* tile : view.Tiles())
        QTRY_VERIFY_WITH_TIMEOUT(HoldsItsPicture(tile), 15000); // repainted, not only on disk
    QTRY_VERIFY(!view.PicturesLoading());
    // Each picture was fetched once.
    std::map<std::string, int> fetched;
    for (const auto& r : m_server->Requests())
        if (r.path.starts_with("/pic/x"))
            ++fetched[r.path];
    QCOMPARE(fetched.size(), size_t{12});
    for (const auto& [path, count] : fetched)
        QCOMPARE(count, 1);
}

void ViewTest::loaderAsksAgainOnlyForPicturesItNeverFetched()
{
    const std::string list = m_server->AddList("again", Items("w", 3));
    std::vector<CTBRecord> records;
    QVERIFY(LoadItemList(list, records));
    QCOMPARE(records.size(), size_t{3});

    QWidget parent;
    std::vector<CTBItemWnd*> tiles;
    for (int i = 0; i < 2; ++i) {
        auto* tile = new CTBItemWnd(&parent);
        QVERIFY(tile->Create());
        tile->SetRecord(records[static_cast<size_t>(i)]);
        tiles.push_back(tile);
    }
    auto requestsOf = [this](const std::string& path) {
        int n = 0;
        for (const auto& r : m_server->Requests())
            n += r.path == path;
        return n;
    };
    CPictureLoader loader(tiles);
    QSignalSpy finished(&loader, &CPictureLoader::finished);
    QSignalSpy handled(&loader, &CPictureLoader::pictureHandled);
    loader.Start();
    QVERIFY(loader.Running());
    QVERIFY(finished.wait(10000));
    QCOMPARE(loader.Fetched().size(), size_t{2});
    QCOMPARE(handled.count(), 2);

    // Rebinding to pictures already fetched asks for nothing: the tiles take the pictures
    // decoded already (as a view hands them on).
    const std::map<std::string, QImage> decoded = loader.DecodedPictures();
    QCOMPARE(decoded.size(), size_t{2});
    tiles[0]->SetRecord(records[1]);
    tiles[1]->SetRecord(records[0]);
    loader.Rebound(decoded);
    QVERIFY(!loader.Running());
    QVERIFY(ShowsItsPicture(tiles[0]) && ShowsItsPicture(tiles[1]));
    QVERIFY(finished.wait(10000)); // told, as every outcome is
    QCOMPARE(loader.Fetched().size(), size_t{2});

    // A tile that now shows a picture never fetched: the loader asks for it alone.
    handled.clear();
    tiles[1]->SetRecord(records[2]);
    loader.Rebound();
    QVERIFY(loader.Running());
    QVERIFY(finished.wait(10000));
    QTRY_VERIFY(ShowsItsPicture(tiles[1]));
    QCOMPARE(loader.Fetched().size(), size_t{3});
    QCOMPARE(handled.count(), 1);
    QCOMPARE(handled.at(0).at(0).toInt(), 1);
    QCOMPARE(requestsOf("/pic/w2.jpg_220x220.jpg"), 1);
    QCOMPARE(requestsOf("/pic/w0.jpg_220x220.jpg"), 1);

    // Once stopped, a rebind asks for nothing.
    loader.Stop();
    CTBRecord fresh = records[0];
    fresh.thumbFileName = "never.jpg";
    tiles[1]->SetRecord(fresh);
    loader.Rebound();
    QVERIFY(!loader.Running());
    QCOMPARE(loader.Fetched().size(), size_t{3});
}

void ViewTest::twoViewsNeedingOnePictureDownloadItOnce()
{
    m_server->SetPictureLatency(std::chrono::milliseconds(150));
    const std::string list = m_server->AddList("shared", Items("sh", 3));
    auto a = Open(list);
    auto b = Open(list);
    QVERIFY(a && b);
    for (auto* v : {a.get(), b.get()})
        for (CTBItemWnd* tile : v->view->Tiles())
            QTRY_VERIFY_WITH_TIMEOUT(HoldsItsPicture(tile), 15000);
    std::map<std::string, int> fetched;
    for (const auto& r : m_server->Requests())
        if (r.path.starts_with("/pic/sh"))
            ++fetched[r.path];
    QCOMPARE(fetched.size(), size_t{3});
    for (const auto& [path, count] : fetched)
        QCOMPARE(count, 1);

    // closing one of two views waiting for a picture leaves the other's download alone
    m_server->HoldPictures(true);
    const std::string other = m_server->AddList("shared2", Items("sh2-", 1));
    auto c = Open(other);
    auto d = Open(other);
    QVERIFY(c && d);
    QTRY_VERIFY(d->view->PicturesLoading());
    c.reset();
    m_server->Release();
    QTRY_VERIFY_WITH_TIMEOUT(HoldsItsPicture(d->view->Tiles()[0]), 15000);
}

void ViewTest::closingWhileDownloadingReturnsQuickly()
{
    // A view opened and closed first, so that whatever Qt starts once is running already.
    {
        auto warm = Open(m_server->AddList("warm", Items("k", 1)));
        QVERIFY(warm);
        QTRY_VERIFY(!warm->view->PicturesLoading());
    }
    const int threadsBefore = ThreadCount();
    const QStringList filesBefore = QDir(m_folder.path()).entryList(QDir::Files);

    m_server->HoldPictures(true); // every picture answer stops half-way for 20 s
    const int startedBefore = m_server->PicturesStarted();
    auto v = Open(m_server->AddList("close", Items("c", 6)));
    QVERIFY(v);
    QTRY_VERIFY(m_server->PicturesStarted() > startedBefore);
    QVERIFY(v->view->PicturesLoading());

    QElapsedTimer clock;
    clock.start();
    v.reset();
    // Without abandoning the transfer under way this would wait for the held answer (20 s).
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QTRY_COMPARE(ThreadCount(), threadsBefore);

    m_server->HoldPictures(false);
    // No file appeared for the closed view: no picture, no half-written temporary file.
    // (a half-written temporary file is removed as soon as the engine has let the transfer go)
    QTRY_COMPARE(QDir(m_folder.path()).entryList(QDir::Files | QDir::Hidden), filesBefore);
    QTest::qWait(200); // the released answers would be complete by now
    QCOMPARE(QDir(m_folder.path()).entryList(QDir::Files | QDir::Hidden), filesBefore);
    QVERIFY(m_server->PicturesStarted() <= startedBefore + CNetEngine::kMaxPerHost);
}

void ViewTest::openAndCloseWhileLoadingAHundredTimes()
{
    m_server->SetPictureLatency(std::chrono::milliseconds(20));
    const std::string list = m_server->AddList("cycles", Items("cy", 12));
    int answered = 0;
    for (int i = 0; i < 100; ++i) {
        auto v = std::make_unique<OpenView>(list, i % 3 == 0 ? 1 : 0, QStringLiteral("自助搜索 - 销量"), QSize(917, 600));
        QSignalSpy finished(v->view.get(), &CLumbra2View::loadFinished);
        v->view->OnInitialUpdate();
        if (i % 2) {
            // closed while its pictures are on the way
            QVERIFY(finished.wait(10000));
            ++answered;
            QVERIFY(v->view->PicturesLoading());
        } else {
            QVERIFY(v->view->IsLoading()); // closed before its answer came
        }
        if (i % 10 == 5)
            v->view->ShowOrder(1); // reordered, too
        v.reset();
        QCoreApplication::processEvents(); // a late answer would be delivered here, if at all
    }
    QCOMPARE(answered, 50);
    // what the closed views left behind is gone once the engine has let their transfers go
    QTRY_VERIFY_WITH_TIMEOUT(CNetEngine::Shared().Running() + CNetEngine::Shared().Waiting() == 0, 10000);
    QTRY_COMPARE(QDir(m_folder.path()).entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral(".part-")),
                 QStringList());
    // and a view opened after all that gets every picture
    auto last = Open(list, 0, QSize(917, 1400));
    QVERIFY(last);
    for (CTBItemWnd* tile : last->view->Tiles())
        QTRY_VERIFY_WITH_TIMEOUT(HoldsItsPicture(tile), 15000);
}

void ViewTest::oversizedAnswerIsCut()
{
    // An answer holds one page of items; a hostile one with thousands gets a bounded view.
    std::vector<ItemSpec> items = Items("big", CLumbra2View::kMaxItems + 5);
    for (ItemSpec& it : items)
        it.originalImage = "http://127.0.0.1:1/none.jpg"; // no pictures: only the items count here
    const std::string list = m_server->AddList("big", items);
    auto v = Open(list);
    QVERIFY(v);
    QCOMPARE(v->view->ItemCount(), CLumbra2View::kMaxItems);
    QCOMPARE(v->view->Records().size(), static_cast<size_t>(CLumbra2View::kMaxItems));
    QCOMPARE(v->view->ItemAt(CLumbra2View::kMaxItems - 1).itemId(), items[CLumbra2View::kMaxItems - 1].id);
    // a screenful of tiles, however many items; a full view asks for no further page
    QVERIFY(v->view->TileWidgetCount() <= v->view->TileLimit());
    QVERIFY(v->view->Canvas()->height() > 100);
    QCOMPARE(v->view->MoreRow()->Text(), QStringLiteral("没有更多了"));
    v->view->verticalScrollBar()->setValue(v->view->verticalScrollBar()->maximum());
    QVERIFY(!v->view->PageLoading());
    QCOMPARE(m_server->ListRequests("/list/big&s=40"), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!v->view->PicturesLoading(), 30000);
}

void ViewTest::scrollingBindsTilesFromABoundedPoolAndPagesOn()
{
    const std::vector<ItemSpec> items = Items("sc", 200);
    const std::string list = m_server->AddList("scroll", items, 40); // five pages of forty
    auto v = Open(list, 0, QSize(917, 700));
    QVERIFY(v);
    CLumbra2View& view = *v->view;
    QSignalSpy settled(&view, &CLumbra2View::tilesSettled);
    QSignalSpy paged(&view, &CLumbra2View::pageLoaded);
    QSignalSpy done(&view, &CLumbra2View::picturesDone);
    QScrollBar* bar = view.verticalScrollBar();
    QCOMPARE(view.ItemCount(), 40);
    QCOMPARE(view.MoreRow()->Text(), QStringLiteral("正在加载更多…"));
    const int th = view.RowRect(0).height();
    QVERIFY(th > 0);
    QCOMPARE(view.TileLimit(), yfx::TilePoolSize(th, view.viewport()->height()));

    // every row within one screen of the viewport has the tile that shows it, in its cell, and
    // no other row has one
    int most = 0;
    auto boundAsTheyShouldBe = [&]() -> QString {
        const yfx::CellSpan near =
            yfx::CellsNearViewport(view.ItemCount(), th, bar->value(), view.viewport()->height());
        for (int row = 0; row < view.ItemCount(); ++row) {
            CTBItemWnd* tile = view.TileForRow(row);
            if (near.Contains(row) != (tile != nullptr))
                return QStringLiteral("row %1 %2 a tile at %3").arg(row).arg(tile ? QStringLiteral("has") : QStringLiteral("lacks")).arg(bar->value());
            if (tile && (tile->Record().itemId() != view.ItemAt(row).itemId() ||
                         tile->geometry() != view.RowRect(row) || !tile->isVisible() || view.RowOfTile(tile) != row))
                return QStringLiteral("row %1's tile shows another item or stands elsewhere").arg(row);
        }
        if (view.Tiles().size() != static_cast<size_t>(near.last - near.first + 1))
            return QStringLiteral("%1 tiles bound").arg(view.Tiles().size());
        most = std::max(most, view.TileWidgetCount());
        return QString();
    };
    QCOMPARE(boundAsTheyShouldBe(), QString());
    // the pictures of the rows with tiles, and only those, are asked for
    QVERIFY(done.count() > 0 || done.wait(10000));
    std::set<std::string> asked, shown;
    for (const auto& r : m_server->Requests())
        if (r.path.starts_with("/pic/sc"))
            asked.insert(r.path.substr(5, r.path.find('.') - 5));
    for (CTBItemWnd* tile : view.Tiles()) {
        shown.insert(tile->Record().itemId());
        QVERIFY(HoldsItsPicture(tile));
    }
    QCOMPARE(asked, shown);

    // three screens down every tile of the top rows has been rebound to rows further down;
    // back at the top, the items' pictures come back with them at once
    bar->setValue(3 * view.viewport()->height());
    if (view.MakingTiles()) // the pool grows to what a deeper scroll position needs
        QVERIFY(settled.wait(5000));
    QCOMPARE(boundAsTheyShouldBe(), QString());
    QVERIFY(view.TileForRow(0) == nullptr);
    bar->setValue(0);
    QVERIFY(!view.MakingTiles()); // the pool holds enough
    QCOMPARE(boundAsTheyShouldBe(), QString());
    for (int row = 0; row < 12; ++row) // the first four rows, rebound
        QVERIFY2(HoldsItsPicture(view.TileForRow(row)), qPrintable(QString::number(row)));

    // down to the end, a third of a screen at a time: each page is asked for once, when the
    // viewport comes within a screen of the end
    for (int step = 0; view.MoreRow()->CurrentState() != CMoreRow::State::End; ++step) {
        QVERIFY2(step < 200, "the end never came");
        bar->setValue(bar->value() + view.viewport()->height() / 3);
        if (view.MakingTiles())
            QVERIFY(settled.wait(5000));
        if (view.PageLoading())
            QVERIFY(paged.wait(5000));
        const QString wrong = boundAsTheyShouldBe();
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    }
    QCOMPARE(view.ItemCount(), 200);
    for (int row = 0; row < 200; ++row)
        QCOMPARE(view.ItemAt(row).itemId(), items[static_cast<size_t>(row)].id);
    for (int offset = 40; offset <= 200; offset += 40)
        QCOMPARE(m_server->ListRequests("/list/scroll&s=" + std::to_string(offset)), 1);
    QCOMPARE(view.PagesShown(), 6); // the sixth said there is no more
    QVERIFY2(most <= view.TileLimit(), qPrintable(QString::number(most)));
    bar->setValue(bar->maximum());
    QVERIFY(!view.PageLoading());
    QCOMPARE(m_server->ListRequests("/list/scroll&s=240"), 0);
}

QTEST_MAIN(ViewTest)
#include "ViewTest.moc"


void ViewTest::accessibleTreeOfEightItems()
{
    std::vector<ItemSpec> items = Items("a", 8);
    for (int i = 0; i < 8; ++i)
        items[static_cast<size_t>(i)].tip = yfx::Utf8ToGbk("商品 " + std::to_string(i));
    // a view two tile rows high: the third row's items have no tile now
    auto v = Open(m_server->AddList("accessible", items), 0, QSize(917, 300));
    QVERIFY(v);
    CLumbra2View& view = *v->view;
    QVERIFY(!view.TileForRow(7));

    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(&view);
    QVERIFY(list);
    QCOMPARE(list->role(), QAccessible::List);
    QCOMPARE(list->childCount(), 8);
    // price (i*37)%50+1 ".50", postage 0.00 / 5.00, sales 5, credit level i
    const QStringList descriptions{
        QStringLiteral("价格 ¥1.50，邮费 ¥0.00，销量 5"),
        QStringLiteral("价格 ¥38.50，邮费 ¥5.00，销量 5，信用 1心"),
        QStringLiteral("价格 ¥25.50，邮费 ¥0.00，销量 5，信用 2心"),
        QStringLiteral("价格 ¥12.50，邮费 ¥5.00，销量 5，信用 3心"),
        QStringLiteral("价格 ¥49.50，邮费 ¥0.00，销量 5，信用 4心"),
        QStringLiteral("价格 ¥36.50，邮费 ¥5.00，销量 5，信用 5心"),
        QStringLiteral("价格 ¥23.50，邮费 ¥0.00，销量 5，信用 1钻"),
        QStringLiteral("价格 ¥10.50，邮费 ¥5.00，销量 5，信用 2钻"),
    };
    for (int i = 0; i < 8; ++i) {
        QAccessibleInterface* item = list->child(i);
        QVERIFY(item && item->isValid());
        QCOMPARE(item->role(), QAccessible::ListItem);
        QCOMPARE(item->parent(), list);
        QCOMPARE(list->indexOfChild(item), i);
        QCOMPARE(item->text(QAccessible::Name), QStringLiteral("商品 %1").arg(i));
        QCOMPARE(item->text(QAccessible::Description), descriptions[i]);
        QAccessibleActionInterface* actions = item->actionInterface();
        QVERIFY(actions);
        QCOMPARE(actions->actionNames(),
                 (QStringList{QAccessibleActionInterface::pressAction(), QAccessibleActionInterface::showMenuAction()}));
    }
    QVERIFY(!list->child(0)->state().offscreen);
    QVERIFY(list->child(7)->state().offscreen); // below the viewport, with no tile
    // the children answer from the items: the price order reorders them, and an item's
    // interface follows its item
    QAccessibleInterface* first = list->child(0);
    view.ShowOrder(1);
    QCOMPARE(list->child(0)->text(QAccessible::Name), QStringLiteral("商品 0")); // 1.50 + 0
    QCOMPARE(list->child(1)->text(QAccessible::Name), QStringLiteral("商品 7")); // 10.50 + 5
    QCOMPARE(list->indexOfChild(first), 0);
    view.ShowOrder(0);

    // Press on an item without a tile opens it (its tile made first); ShowMenu shows its menu
    QStringList opened;
    yfx::SetUrlOpener([&opened](const QString& url) { opened << url; });
    const auto restore = qScopeGuard([] { yfx::SetUrlOpener({}); });
    list->child(7)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QTRY_COMPARE(opened.size(), 1);
    QVERIFY2(opened[0].endsWith(QStringLiteral("id=a7")), qPrintable(opened[0]));
    QSignalSpy menus(&view, &CLumbra2View::contextMenuShown);
    list->child(2)->actionInterface()->doAction(QAccessibleActionInterface::showMenuAction());
    QTRY_COMPARE(menus.count(), 1);
    menus.at(0).at(0).value<QMenu*>()->close();

    // the focused item is the list's focus child, and its state says so
    view.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&view));
    view.setFocus(Qt::TabFocusReason);
    QTest::keyClick(&view, Qt::Key_Right);
    QCOMPARE(list->focusChild(), list->child(1));
    QVERIFY(list->child(1)->state().focused);
    QVERIFY(!list->child(0)->state().focused);
}

void ViewTest::keyboardFocusFollowsItsItem()
{
    // two pages of 40: the focus through scrolling, rebound tiles, a later page and the orders
    auto v = Open(m_server->AddList("keys", Items("k", 80), 40), 0, QSize(917, 600));
    QVERIFY(v);
    CLumbra2View& view = *v->view;
    QSignalSpy menus(&view, &CLumbra2View::contextMenuShown);
    view.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&view));
    view.setFocus(Qt::TabFocusReason);
    QCOMPARE(view.FocusRow(), 0);
    QVERIFY(view.FocusFrame()->isVisible());
    QTest::keyClick(&view, Qt::Key_PageDown);
    const int page = view.FocusRow();
    QVERIFY(page >= 3 && page % 3 == 0);
    QTest::keyClick(&view, Qt::Key_End);
    const int last = view.FocusRow();
    QCOMPARE(last, view.ItemCount() - 1);
    const std::string id = view.ItemAt(last).itemId();
    QVERIFY(view.TileForRow(last)); // scrolled into sight, its tile bound
    QCOMPARE(view.FocusFrame()->geometry(), view.RowRect(last));
    // the next page comes (the end is in sight): the focus stays on its item
    QTRY_VERIFY_WITH_TIMEOUT(view.PagesShown() == 2, 10000);
    QCOMPARE(view.ItemAt(view.FocusRow()).itemId(), id);
    // scrolled away and back to the top: the tiles are rebound, the focus stays
    view.verticalScrollBar()->setValue(0);
    QVERIFY(!view.TileForRow(view.FocusRow()));
    QCOMPARE(view.ItemAt(view.FocusRow()).itemId(), id);
    // price order: the same item, wherever it went; the Menu key shows its tile's menu there
    view.ShowOrder(1);
    QCOMPARE(view.ItemAt(view.FocusRow()).itemId(), id);
    QTest::keyClick(&view, Qt::Key_Menu);
    QTRY_COMPARE(menus.count(), 1);
    QVERIFY(view.TileForRow(view.FocusRow()));
    menus.at(0).at(0).value<QMenu*>()->close();
    QTest::keyClick(&view, Qt::Key_F10, Qt::ShiftModifier);
    QTRY_COMPARE(menus.count(), 2);
    menus.at(1).at(0).value<QMenu*>()->close();
    QTest::keyClick(&view, Qt::Key_Home);
    QCOMPARE(view.FocusRow(), 0);
    QCOMPARE(view.verticalScrollBar()->value(), 0);
    // without the focus the frame goes; the focused item stays
    view.clearFocus();
    QVERIFY(!view.FocusFrame()->isVisible());
    QCOMPARE(view.FocusRow(), 0);
}

void ViewTest::focusFrameIsWholeDevicePixels_data()
{
    QTest::addColumn<qreal>("ratio");
    for (const qreal r : {1.0, 1.25, 1.5, 2.0, 3.0})
        QTest::newRow(qPrintable(QString::number(r))) << r;
}

void ViewTest::focusFrameIsWholeDevicePixels()
{
    QFETCH(qreal, ratio);
    QImage image(qCeil(100 * ratio), qCeil(100 * ratio), QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    const QColor blue(30, 90, 200);
    {
        QPainter p(&image);
        CFocusFrame::Paint(p, QRect(10, 10, 60, 40), blue, ratio);
    }
    // the band is round(2 × ratio) device pixels of the colour itself, nothing blended
    const int band = qMax(1, qRound(CFocusFrame::kWidth * ratio));
    const int left = qRound(10 * ratio), top = qRound(10 * ratio);
    const int right = qRound(70 * ratio), bottom = qRound(50 * ratio);
    for (int y = top - 1; y <= bottom; ++y)
        for (int x = left - 1; x <= right; ++x) {
            const bool outside = x < left || y < top || x >= right || y >= bottom;
            const bool inBand = !outside && (x < left + band || y < top + band || x >= right - band || y >= bottom - band);
            const QColor want = inBand ? blue : QColor(Qt::white);
            if (image.pixelColor(x, y) != want)
                QFAIL(qPrintable(QStringLiteral("pixel %1,%2 is %3").arg(x).arg(y).arg(image.pixelColor(x, y).name())));
        }
}
