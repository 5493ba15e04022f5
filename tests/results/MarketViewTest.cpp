// A results view for real searches of the local marketplace server (tools/market-server):
// tiles for the answer less the filtered sellers, pictures, price order, hover and click
// through the open-platform gateway, closing while pictures stall, the picture cache across
// views (fresh, revalidated, replaced, failed), and unusual answers; the
// same through the open platform's material search: coupons, credit levels asked afterwards,
// the click that needs no request, and the platform's refusals as grey text. Paging through
// both sources to their end (repeats left out, a failed page retried, the 600-item bound, the
// price order merged) with a bounded number of tiles, and what an ordinary application of
// the platform gets (no credit levels, an item without its link, the buyer's address only
// where the user set it).
#include "TestDocument.h"

#include "market/ClickUrl.h"
#include "market/Endpoints.h"
#include "market/Gbk.h"
#include "market/HttpClient.h"
#include "market/NetEngine.h"
#include "market/OpenPlatformAnswer.h"
#include "market/OpenPlatformRequest.h"
#include "market/SearchUrl.h"
#include "market/TBRecord.h"
#include "results/TileRules.h"
#include "results/CLumbra2View.h"
#include "results/CTBItemWnd.h"
#include "results/GridLayout.h"
#include "results/NumberText.h"
#include "results/Paging.h"
#include "results/OpenPlatformSettings.h"
#include "results/ResultOrder.h"
#include "results/ResultsHost.h"
#include "results/UrlOpener.h"
#include "tests/support/MarketServerProcess.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <future>
#include <memory>
#include <set>
#include <sys/stat.h>

using yfx::test::MarketServerProcess;

namespace {

std::string SearchFor(const char* utf8Keyword)
{
    SearchQuery q;
    q.keyword = yfx::Utf8ToGbk(utf8Keyword); // the address builder encodes it
    return BuildSearchUrl(q);
}

int ThreadCount()
{
    return static_cast<int>(
        QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

SearchQuery QueryFor(const char* utf8Keyword)
{
    SearchQuery q;
    q.cat = "0";
    q.keyword = yfx::Utf8ToGbk(utf8Keyword);
    return q;
}

// The bundled server's application, through the open platform's source.
Configuration MaterialConfig()
{
    Configuration cfg;
    cfg.appKey = "12345678";
    cfg.appSecret = "yfx-local-secret";
    cfg.pid = "mm_10000001_2000002_30000003";
    cfg.source = ResultSource::OpenPlatform;
    return cfg;
}

// Sends a gateway request through the network engine and waits for its answer's text.
std::string PostNow(const GatewayPost& post)
{
    yfx::net::Request request;
    request.url = post.url;
    request.body = post.body;
    request.contentType = post.contentType;
    request.post = true;
    auto answer = std::make_shared<std::promise<std::string>>();
    std::future<std::string> text = answer->get_future();
    CNetEngine::Shared().Submit(std::move(request), [answer](yfx::net::Result r) { answer->set_value(r.text); });
    return text.wait_for(std::chrono::seconds(20)) == std::future_status::ready ? text.get() : std::string();
}

bool IsMessageBoxShown()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QMessageBox*>(w) && w->isVisible())
            return true;
    return false;
}

struct OpenView {
    OpenView(const std::string& address, QSize size, const std::optional<SearchQuery>& query = std::nullopt,
             int order = 0)
        : doc(address, order, order ? QStringLiteral("自助搜索 - 价格") : QStringLiteral("自助搜索 - 销量")),
          view(std::make_unique<CLumbra2View>(&doc))
    {
        doc.m_data.m_query = query;
        view->resize(size);
        view->show();
    }
    TestDocument doc;
    std::unique_ptr<CLumbra2View> view;
};

} // namespace

class MarketViewTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void searchShowsTheAnswerLessFilteredSellers();
    void hoverAndClickOpenTheClickAddress();
    void closingWhilePicturesStallReturnsQuickly();
    void picturesComeFromTheCacheWhileFreshAndAreAskedAgainWhenStale();
    void thumbnailsSuitTheScreensRatio();
    void unusualAnswers_data();
    void unusualAnswers();
    void materialSearchShowsCouponsBadgesAndOpensTheAffiliateAddress();
    void materialRefusalsAreGreyText_data();
    void materialRefusalsAreGreyText();
    void listSearchPagesOnWithoutRepeatsAndRetriesAFailedPage();
    void materialSearchPagesToTheBoundMergingThePriceOrder();
    void materialSearchEndsAtItsTotal();
    void anOrdinaryApplicationAsksOnceForLevelsAndShowsItemsWithoutLinks();
    void theBuyersAddressGoesOnlyWhereTheUserSetIt();

private:
    // Scrolls `view` to its end again and again, waiting for each page, until the "more" row
    // says there is no more. `onFailed` is called when a page failed (it should retry), and
    // `afterPage` after every page shown. The tile widgets never outnumber the view's limit.
    bool ScrollToTheEnd(CLumbra2View& view, const std::function<void()>& onFailed,
                        const std::function<void()>& afterPage = {});
    std::unique_ptr<OpenView> Open(const std::string& address, QSize size = QSize(917, 1000),
                                   const std::optional<SearchQuery>& query = std::nullopt, int order = 0);
    QStringList FolderFiles() const { return QDir(m_folder.path()).entryList(QDir::Files | QDir::Hidden); }

    QTemporaryDir m_folder;
    std::unique_ptr<MarketServerProcess> m_server;
    TestHost m_host;
    std::unique_ptr<ScopedHost> m_scopedHost;
    QStringList m_opened;
    int m_reports = 0;
};

void MarketViewTest::initTestCase()
{
    QVERIFY(m_folder.isValid());
    // the user's settings of this test, in its own folder
    QCoreApplication::setOrganizationName(QStringLiteral("yfx-market-view-test"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_folder.filePath(QStringLiteral("settings")));
    SetPictureFolder(QFile::encodeName(m_folder.path()).toStdString() + "/");
    m_server = std::make_unique<MarketServerProcess>(std::vector<std::string>{"--seed", "7"});
    QVERIFY2(m_server->Started(), m_server->Error().c_str());
    yfx::SetEndpointServer(m_server->BaseUrl());
    yfx::SetUrlOpener([this](const QString& url) { m_opened << url; });
    SetErrorReporter([this](const std::string&, const std::string&) { ++m_reports; });
    m_scopedHost = std::make_unique<ScopedHost>(&m_host);
}

void MarketViewTest::init()
{
    m_host.m_config = Configuration();
    m_opened.clear();
    m_reports = 0;
}

void MarketViewTest::cleanup()
{
    yfx::SetEndpointServer(m_server->BaseUrl());
    SetRequestClock({});
}

std::unique_ptr<OpenView> MarketViewTest::Open(const std::string& address, QSize size,
                                               const std::optional<SearchQuery>& query, int order)
{
    auto v = std::make_unique<OpenView>(address, size, query, order);
    if (!QTest::qWaitForWindowExposed(v->view.get()))
        return nullptr;
    QSignalSpy finished(v->view.get(), &CLumbra2View::loadFinished);
    v->view->OnInitialUpdate();
    if (v->view->IsLoading() && !finished.wait(20000))
        return nullptr;
    return v;
}

void MarketViewTest::searchShowsTheAnswerLessFilteredSellers()
{
    const std::string url = SearchFor("手机");
    std::vector<CTBRecord> answer;
    QVERIFY(LoadItemList(url, answer));
    QVERIFY(answer.size() >= 10);
    // Leave out the sellers of the second and the fifth item, wherever else they sell.
    m_host.m_config.sellerNicks = {{answer[1].nick(), 0}, {answer[4].nick(), 1}};
    std::vector<CTBRecord> expected = answer;
    yfx::FilterSellers(expected, m_host.m_config.sellerNicks);
    QVERIFY(expected.size() < answer.size());

    // 14 rows would not fit: the view scrolls; 1000 pixels hold the first three rows, and the
    // rows within a screen below them have their tiles too.
    auto v = Open(url);
    QVERIFY(v);
    CLumbra2View& view = *v->view;
    QCOMPARE(view.ItemCount(), static_cast<int>(expected.size()));
    const int th = view.Tiles()[0]->height();
    const int rows = static_cast<int>((expected.size() + 2) / 3);
    const bool overflow = rows * (th + 1) + 1 > 1000;
    const int bar = overflow ? view.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &view) : 0;
    const int left = (917 - bar - 700) / 2;
    QCOMPARE(view.Left(), left);
    const yfx::CellSpan near = yfx::CellsNearViewport(view.ItemCount(), th, 0, view.viewport()->height());
    QVERIFY(near.last + 1 < view.ItemCount()); // not every item has a tile
    for (size_t i = 0; i < expected.size(); ++i) {
        const int row = static_cast<int>(i);
        QCOMPARE(view.ItemAt(row).itemId(), expected[i].itemId());
        const yfx::GridPoint p = yfx::GridCell(row, left, 232, th);
        QCOMPARE(view.RowRect(row), QRect(p.x, p.y, 232, th));
        CTBItemWnd* tile = view.TileForRow(row);
        QCOMPARE(tile != nullptr, near.Contains(row));
        if (!tile)
            continue;
        QCOMPARE(tile->pos(), QPoint(p.x, p.y));
        QCOMPARE(tile->PriceControl().Text(), QString::fromUtf8(yfx::GbkToUtf8(expected[i].currentPrice())));
        QCOMPARE(tile->NameControl().Text(), QString::fromUtf8(yfx::GbkToUtf8(expected[i].tip())));
    }

    // Pictures: the files of the rows with tiles arrive; the tiles in sight draw theirs without
    // being asked to. Further down, the others follow as the view scrolls there.
    QSignalSpy done(&view, &CLumbra2View::picturesDone);
    QVERIFY(done.count() > 0 || done.wait(30000));
    auto picturesOfBoundRowsArrived = [&] {
        for (CTBItemWnd* tile : view.Tiles()) {
            QVERIFY(QFile::exists(m_folder.filePath(QString::fromStdString(tile->Record().thumbFileName))));
            QTRY_VERIFY(!tile->PictureControl().m_image.isNull());
            QCOMPARE(tile->PictureControl().m_image.size(), QSize(220, 220));
        }
    };
    picturesOfBoundRowsArrived();
    // (a row beyond the first reach: now within a screen of the end, so the next page comes too)
    const int further = near.last + 3;
    view.EnsureRowVisible(further);
    QVERIFY(view.TileForRow(further));
    QTRY_VERIFY_WITH_TIMEOUT(!view.MakingTiles() && !view.PicturesLoading() && !view.PageLoading(), 30000);
    picturesOfBoundRowsArrived();
    for (size_t i = 0; i < expected.size(); ++i) // the first page stays where it was
        QCOMPARE(view.ItemAt(static_cast<int>(i)).itemId(), expected[i].itemId());
    // Each thumbnail of a row that had a tile was asked for by the program's agent.
    std::set<std::string> thumbnails;
    for (const auto& r : m_server->Requests())
        if (r.path.ends_with("_220x220.jpg") && r.userAgent == "HttpClient")
            thumbnails.insert(r.path.substr(r.path.rfind('/') + 1));
    for (int row : {0, near.last, further})
        QVERIFY(thumbnails.contains(expected[static_cast<size_t>(row)].thumbFileName));
    view.EnsureRowVisible(0);

    // Price order: the same tiles in the same places, rebound; the title follows.
    std::vector<QPoint> positions;
    for (CTBItemWnd* tile : view.Tiles())
        positions.push_back(tile->pos());
    view.OnCommand(CLumbra2View::ID_SORT_BY_PRICE);
    const std::vector<CTBRecord> byPrice = yfx::PriceOrder(view.Records());
    for (size_t i = 0; i < byPrice.size(); ++i)
        QCOMPARE(view.ItemAt(static_cast<int>(i)).itemId(), byPrice[i].itemId());
    for (size_t i = 0; i < view.Tiles().size(); ++i) {
        QCOMPARE(view.Tiles()[i]->Record().itemId(), byPrice[i].itemId());
        QCOMPARE(view.Tiles()[i]->pos(), positions[i]);
    }
    QCOMPARE(v->doc.GetTitle(), QStringLiteral("自助搜索 - 价格"));
    view.OnCommand(CLumbra2View::ID_SORT_BY_SALES);
    QCOMPARE(view.Tiles()[0]->Record().itemId(), expected[0].itemId());
    QCOMPARE(v->doc.GetTitle(), QStringLiteral("自助搜索 - 销量"));
}

void MarketViewTest::hoverAndClickOpenTheClickAddress()
{
    // The server's own application key, secret and affiliate id.
    m_host.m_config.appKey = "12345678";
    m_host.m_config.appSecret = "yfx-local-secret";
    m_host.m_config.pid = "mm_10000001_2000002_30000003";
    auto v = Open(SearchFor("连衣裙"));
    QVERIFY(v);
    CLumbra2View& view = *v->view;
    QVERIFY(!view.Tiles().empty());

    CTBItemWnd* affiliate = nullptr; // an item with an affiliate link (ids not ending in 7)
    CTBItemWnd* plain = nullptr;
    for (CTBItemWnd* tile : view.Tiles()) {
        if (!tile->Record().itemId().ends_with('7'))
            affiliate = affiliate ? affiliate : tile;
        else
            plain = plain ? plain : tile;
    }
    QVERIFY(affiliate);

    const yfx::TileRect name = affiliate->NameArea();
    QTest::mouseMove(affiliate, QPoint(name.x + 5, name.y + 5));
    QTRY_COMPARE(affiliate->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(affiliate->NameControl().m_crText, QColor(225, 145, 100));

    const yfx::TileRect picture = affiliate->PictureArea();
    QTest::mouseClick(affiliate, Qt::LeftButton, {}, QPoint(picture.x + 100, picture.y + 100));
    QVERIFY(affiliate->ClickPending()); // the window goes on while the gateway answers
    QCOMPARE(affiliate->cursor().shape(), Qt::BusyCursor);
    QTRY_COMPARE(m_opened.size(), 1);
    const QString click = m_opened.front();
    QVERIFY2(click.startsWith(QString::fromStdString(m_server->BaseUrl() + "/s.click")), qPrintable(click));
    QVERIFY(click != QString::fromStdString(affiliate->Record().href()));
    bool asked = false;
    for (const auto& r : m_server->Requests())
        asked = asked || (r.path == "/router/rest" && r.query.count("num_iids") &&
                          r.query.at("num_iids") == affiliate->Record().itemId() && r.status == 200);
    QVERIFY(asked);

    if (plain) { // no affiliate link: the item's own page
        m_opened.clear();
        QTest::mouseClick(plain, Qt::LeftButton, {}, QPoint(picture.x + 100, picture.y + 100));
        QTRY_COMPARE(m_opened, QStringList{QString::fromUtf8(yfx::GbkToUtf8(plain->Record().href()))});
    }
    QTRY_VERIFY_WITH_TIMEOUT(!view.PicturesLoading(), 30000);
}

void MarketViewTest::closingWhilePicturesStallReturnsQuickly()
{
    MarketServerProcess stalling({"--seed", "7", "--fault", "/bao/*=stall:30"});
    QVERIFY2(stalling.Started(), stalling.Error().c_str());
    yfx::SetEndpointServer(stalling.BaseUrl());
    const std::string url = SearchFor("手机");
    { // warm up whatever Qt starts once
        CLumbra2View idle(nullptr);
    }
    const int threadsBefore = ThreadCount();
    const QStringList filesBefore = FolderFiles();

    auto v = Open(url);
    QVERIFY(v);
    QVERIFY(!v->view->Tiles().empty());
    // Wait until the first picture request has reached the server and stalls there.
    bool stalled = false;
    for (int i = 0; i < 100 && !stalled; ++i) {
        for (const auto& r : stalling.WaitForRequests(2, std::chrono::milliseconds(100)))
            stalled = stalled || r.path.starts_with("/bao/");
    }
    QVERIFY(stalled);
    QVERIFY(v->view->PicturesLoading());

    QElapsedTimer clock;
    clock.start();
    v.reset();
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QTRY_COMPARE(ThreadCount(), threadsBefore);
    QCOMPARE(FolderFiles(), filesBefore);
}

void MarketViewTest::picturesComeFromTheCacheWhileFreshAndAreAskedAgainWhenStale()
{
    // Servers on one port (the same picture addresses), one after the other.
    int port = 0;
    std::unique_ptr<MarketServerProcess> server;
    const auto serve = [&](std::vector<std::string> args) {
        server.reset();
        args.insert(args.begin(), {"--seed", "11"});
        if (port)
            args.insert(args.end(), {"--port", std::to_string(port)});
        server = std::make_unique<MarketServerProcess>(args);
        port = server->Port();
        yfx::SetEndpointServer(server->BaseUrl());
        return server->Started();
    };
    struct Shown {
        std::string name;
        ino_t inode = 0;
        QColor sample;
    };
    std::vector<Shown> first, now;
    // A view of the search, once its pictures are handled; what its tiles hold, and the
    // status of every thumbnail request it made. Before its pictures come, its tiles show
    // none of `first` when `nothingYet` (the tiles are made over several turns, so the first
    // new pictures may be in by the time the last tile is).
    std::unique_ptr<OpenView> v;
    const auto look = [&](std::vector<Shown>& shown, std::map<std::string, int>& statuses, bool nothingYet = false) {
        const std::size_t before = server->Requests().size();
        // every tile near (the view binds tiles to the rows within a screen of the viewport
        // only), and the end of the first page too far to ask for the next one
        v = Open(SearchFor("连衣裙"), QSize(917, 1000));
        if (!v || v->view->Tiles().size() < 9)
            return false;
        for (size_t i = 0; nothingYet && i < v->view->Tiles().size() && i < first.size(); ++i) {
            CMyImageStatic& picture = v->view->Tiles()[i]->PictureControl();
            const QColor painted = picture.grab().toImage().pixelColor(114, 114);
            if (picture.m_image.isNull() ? painted != QColor(255, 255, 255)
                                         : picture.m_image.pixelColor(110, 60) == first[i].sample)
                return false;
        }
        QSignalSpy done(v->view.get(), &CLumbra2View::picturesDone);
        if (v->view->PicturesLoading() && !done.wait(30000))
            return false;
        shown.clear();
        for (CTBItemWnd* tile : v->view->Tiles()) {
            struct stat st {};
            const std::string name = tile->Record().thumbFileName;
            ::stat(QFile::encodeName(m_folder.filePath(QString::fromStdString(name))).constData(), &st);
            const QImage& image = tile->PictureControl().m_image;
            shown.push_back({name, st.st_ino, image.isNull() ? QColor() : image.pixelColor(110, 60)});
        }
        statuses.clear();
        const std::vector<yfx::test::MarketRequest> log = server->Requests();
        for (std::size_t i = before; i < log.size(); ++i)
            if (log[i].path.ends_with("_220x220.jpg"))
                statuses[log[i].path] = log[i].status;
        return true;
    };
    const auto all = [](const std::map<std::string, int>& statuses, int status) {
        return std::all_of(statuses.begin(), statuses.end(), [status](const auto& s) { return s.second == status; });
    };
    const auto inverted = [](const QColor& a, const QColor& b) {
        return a.isValid() && b.isValid() && std::abs(a.red() + b.red() - 255) <= 24 &&
               std::abs(a.green() + b.green() - 255) <= 24;
    };
    std::map<std::string, int> statuses;

    // Pictures stale at once (max-age 0): fetched, then asked again with their validators and
    // confirmed (304): the same files, shown again.
    QVERIFY(serve({"--picture-max-age", "0"}));
    QVERIFY(look(first, statuses));
    QCOMPARE(statuses.size(), first.size());
    QVERIFY(all(statuses, 200));
    for (const Shown& s : first)
        QVERIFY2(s.sample.isValid() && s.inode != 0, s.name.c_str());
    QVERIFY(look(now, statuses));
    QCOMPARE(statuses.size(), first.size());
    QVERIFY(all(statuses, 304));
    for (std::size_t i = 0; i < now.size(); ++i) {
        QCOMPARE(now[i].inode, first[i].inode);
        QCOMPARE(now[i].sample, first[i].sample);
    }

    // The pictures change at the server: the stale ones are never shown while the new ones are
    // on their way; the new ones (another tag: 200) replace them.
    QVERIFY(serve({"--picture-max-age", "0", "--picture-version", "1"}));
    QVERIFY(look(now, statuses, true));
    QVERIFY(all(statuses, 200));
    for (std::size_t i = 0; i < now.size(); ++i) {
        QVERIFY(now[i].inode != first[i].inode);
        QVERIFY2(inverted(now[i].sample, first[i].sample), now[i].name.c_str());
    }
    first = now;

    // The server fails them all (404): a stale picture of the same item is shown.
    QVERIFY(serve({"--picture-max-age", "0", "--fault", "/bao/*=status:404", "--fault", "/imgextra/*=status:404"}));
    QVERIFY(look(now, statuses));
    QVERIFY(all(statuses, 404));
    for (std::size_t i = 0; i < now.size(); ++i)
        QCOMPARE(now[i].sample, first[i].sample);

    // Confirmed for an hour: then shown from the cache without a request.
    QVERIFY(serve({"--picture-max-age", "3600", "--picture-version", "1"}));
    QVERIFY(look(now, statuses));
    QVERIFY(all(statuses, 304));
    QVERIFY(look(now, statuses));
    QVERIFY(statuses.empty());
    for (std::size_t i = 0; i < now.size(); ++i) {
        QCOMPARE(now[i].inode, first[i].inode);
        QCOMPARE(now[i].sample, first[i].sample);
    }

    // Another server (other addresses, the same file names) whose pictures fail: the files of
    // the other items are not shown in their place.
    port = 0;
    QVERIFY(serve({"--fault", "/bao/*=status:404", "--fault", "/imgextra/*=status:404"}));
    QVERIFY(look(now, statuses));
    QCOMPARE(statuses.size(), now.size());
    for (std::size_t i = 0; i < now.size(); ++i) {
        QVERIFY(!now[i].sample.isValid());
        QCOMPARE(now[i].inode, first[i].inode); // left as they were
    }
    v.reset();
    server.reset();
}

// Run at ratio 1 with the others, and alone at ratio 2 (QT_SCALE_FACTOR=2, tests/results/CMakeLists.txt).
void MarketViewTest::thumbnailsSuitTheScreensRatio()
{
    // The items of the first two rows' first tiles: the larger thumbnail of one answers 404, the
    // other's is no picture (a page where a picture should be).
    std::vector<CTBRecord> answer;
    {
        MarketServerProcess plain({"--seed", "23"});
        QVERIFY2(plain.Started(), plain.Error().c_str());
        yfx::SetEndpointServer(plain.BaseUrl());
        QVERIFY(LoadItemList(SearchFor("耳机"), answer));
        QVERIFY(answer.size() >= 6);
    }
    const auto largePath = [&](const CTBRecord& r) {
        const std::string url = ThumbnailOf(r.originalImage(), kLargeThumbnailEdge).url;
        return url.substr(url.find('/', 7));
    };
    MarketServerProcess server({"--seed", "23", "--fault", largePath(answer[0]) + "=status:404", "--fault",
                                largePath(answer[1]) + "=nonstring"});
    QVERIFY2(server.Started(), server.Error().c_str());
    yfx::SetEndpointServer(server.BaseUrl());

    QCOMPARE(qApp->devicePixelRatio(),
             qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")).toDouble());
    const bool high = qApp->devicePixelRatio() >= 1.5;
    auto v = Open(SearchFor("耳机"));
    QVERIFY(v);
    CLumbra2View& view = *v->view;
    QCOMPARE(view.devicePixelRatioF(), qApp->devicePixelRatio());
    QTRY_VERIFY_WITH_TIMEOUT(!view.MakingTiles() && !view.PicturesLoading(), 30000);
    int badges = 0;
    std::set<std::string> ordinary, large;
    for (const auto& r : server.Requests()) {
        const std::string name = r.path.substr(r.path.rfind('/') + 1);
        (r.path.ends_with("_460x460.jpg") ? large : ordinary).insert(name);
    }
    for (CTBItemWnd* tile : view.Tiles()) {
        const CTBRecord& r = tile->Record();
        const std::string largeName = ThumbnailOf(r.originalImage(), kLargeThumbnailEdge).fileName;
        const bool failed = r.itemId() == answer[0].itemId() || r.itemId() == answer[1].itemId();
        // asked for: the larger thumbnail at a high ratio, the ordinary one where there is none
        QCOMPARE(large.contains(largeName), high);
        QCOMPARE(ordinary.contains(r.thumbFileName), !high || failed);
        // shown: the larger one at the logical size of the ordinary one, in device pixels
        QCOMPARE(tile->PictureSource().large, high && !failed);
        QVERIFY(tile->PictureSource().path.ends_with(high && !failed ? largeName : r.thumbFileName));
        const QImage& picture = tile->PictureControl().m_image;
        QTRY_VERIFY(!picture.isNull());
        QCOMPARE(picture.deviceIndependentSize(), QSizeF(220, 220));
        QCOMPARE(picture.devicePixelRatio(), high && !failed ? qApp->devicePixelRatio() : 1.0);
        // the credit badge: its "@2x" picture at a high ratio, 16 logical pixels high either way
        if (tile->BadgeId()) {
            ++badges;
            QCOMPARE(tile->BadgeControl().PictureRatio(), high ? 2 : 1);
            QCOMPARE(tile->BadgeControl().height(), 16);
            QCOMPARE(tile->BadgeControl().Surface().height(), high ? 32 : 16);
        }
    }
    QVERIFY(badges > 0);
}

void MarketViewTest::unusualAnswers_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("tiles");
    QTest::addColumn<int>("reports");
    QTest::newRow("status 500") << QStringLiteral("/itemlist/*=status:500") << false << 1;
    QTest::newRow("cut-off JSON") << QStringLiteral("/itemlist/*=malformed") << false << 1;
    QTest::newRow("numbers and objects for texts") << QStringLiteral("/itemlist/*=nonstring") << true << 0;
    QTest::newRow("picture names that leave the folder")
        << QStringLiteral("/itemlist/*=unsafe-name") << true << 0;
    QTest::newRow("pictures cut in half") << QStringLiteral("/bao/*=cut") << true << 0;
}

void MarketViewTest::unusualAnswers()
{
    QFETCH(QString, fault);
    QFETCH(bool, tiles);
    QFETCH(int, reports);
    MarketServerProcess faulty({"--seed", "7", "--fault", fault.toStdString()});
    QVERIFY2(faulty.Started(), faulty.Error().c_str());
    yfx::SetEndpointServer(faulty.BaseUrl());
    const QStringList filesBefore = FolderFiles();

    auto v = Open(SearchFor("手机"));
    QVERIFY(v);
    QCOMPARE(!v->view->Tiles().empty(), tiles);
    QCOMPARE(m_reports, reports);
    QTRY_VERIFY_WITH_TIMEOUT(!v->view->PicturesLoading(), 30000);
    if (!tiles)
        return;
    // Whatever arrived is whole and lies in the picture folder under a plain name.
    for (const QString& name : QDir(m_folder.path()).entryList(QDir::Files | QDir::Hidden)) {
        if (filesBefore.contains(name))
            continue;
        QVERIFY2(!name.startsWith(QLatin1Char('.')), qPrintable(name));
        QImage image(m_folder.filePath(name));
        QVERIFY2(!image.isNull(), qPrintable(name));
    }
    for (CTBItemWnd* tile : v->view->Tiles()) {
        const std::string path = tile->PictureSource().path;
        if (!path.empty())
            QVERIFY(QString::fromStdString(path).startsWith(m_folder.path() + QLatin1Char('/')));
    }
}

void MarketViewTest::materialSearchShowsCouponsBadgesAndOpensTheAffiliateAddress()
{
    // The gateway answers after 500 ms: the credit levels cannot come before the tiles.
    MarketServerProcess server({"--seed", "7", "--fault", "/router/rest=delay:500"});
    QVERIFY2(server.Started(), server.Error().c_str());
    yfx::SetEndpointServer(server.BaseUrl());
    m_host.m_config = MaterialConfig();
    const SearchQuery query = QueryFor("手机");
    MaterialAnswer answer;
    QVERIFY(ReadMaterialSearchAnswer(PostNow(BuildMaterialSearchRequest(m_host.m_config, query)), query, answer));
    QVERIFY(answer.records.size() >= 10);
    // Leave out the shops of the second and the fifth item.
    m_host.m_config.sellerNicks = {{answer.records[1].nick(), 0}, {answer.records[4].nick(), 1}};
    std::vector<CTBRecord> expected = answer.records;
    yfx::FilterSellers(expected, m_host.m_config.sellerNicks);
    QVERIFY(expected.size() < answer.records.size());
    const size_t before = server.Requests().size();

    auto v = Open(BuildSearchUrl(query), QSize(917, 1000), query);
    QVERIFY(v);
    CLumbra2View& view = *v->view;
    QCOMPARE(view.Source(), ResultSource::OpenPlatform);
    QCOMPARE(view.ItemCount(), static_cast<int>(expected.size()));
    CTBItemWnd* coupon = nullptr;
    CTBItemWnd* plain = nullptr;
    CTBItemWnd* promoted = nullptr; // a price after promotions that is not the price shown
    for (size_t i = 0; i < expected.size(); ++i) {
        QCOMPARE(view.ItemAt(static_cast<int>(i)).itemId(), expected[i].itemId());
        CTBItemWnd* tile = view.TileForRow(static_cast<int>(i));
        if (!tile)
            continue;
        QCOMPARE(tile->Record().itemId(), expected[i].itemId());
        QCOMPARE(tile->Record().source, ResultSource::OpenPlatform);
        QCOMPARE(tile->PriceControl().Text(), QString::fromStdString(yfx::GbkToUtf8(expected[i].currentPrice())));
        QCOMPARE(tile->CouponLabel().isVisibleTo(tile), !expected[i].couponFee.empty());
        const bool otherPrice = yfx::LeadingDouble(expected[i].finalPrice) != yfx::LeadingDouble(expected[i].currentPrice());
        QCOMPARE(tile->BoundedPriceLabel().isVisibleTo(tile), otherPrice);
        if (otherPrice) {
            promoted = tile;
            QCOMPARE(tile->BoundedPriceLabel().Text(),
                     QStringLiteral("到手价 ¥") + QString::fromStdString(expected[i].finalPrice));
        }
        if (expected[i].couponFee.empty())
            plain = tile;
        else
            coupon = tile;
    }
    QVERIFY(coupon && plain && promoted); // the catalogue has items with and without a coupon
    QCOMPARE(coupon->CouponLabel().Text(), QString::fromStdString(yfx::GbkToUtf8(yfx::CouponLabelText(coupon->Record()))));
    QVERIFY(coupon->toolTip().contains(QString::fromStdString(coupon->Record().finalPrice)));
    QVERIFY(plain->toolTip().isEmpty());
    // No credit level yet; the user switches to the price order before they come.
    QSignalSpy credits(&view, &CLumbra2View::creditLevelsArrived);
    QVERIFY(view.CreditLevelsLoading());
    for (CTBItemWnd* tile : view.Tiles())
        QCOMPARE(tile->BadgeId(), 0u);
    view.OnCommand(CLumbra2View::ID_SORT_BY_PRICE);

    // Asked for as a POST of the material search, not the list search.
    const auto sent = server.WaitForRequests(before + 1);
    QVERIFY(sent.size() > before);
    auto search = sent[before];
    QCOMPARE(search.method + " " + search.path + " " + search.query["method"] + " " + search.query["q"],
             "POST /router/rest " + std::string(kMaterialSearchMethod) + " 手机");

    // The credit levels come afterwards, 20 items a request (BuildItemInfoRequest takes no
    // more), and every tile gets its badge.
    const int batches = static_cast<int>((expected.size() + 19) / 20);
    while (credits.count() < batches)
        QVERIFY(credits.wait(20000));
    QVERIFY(!view.CreditLevelsLoading());
    int badges = 0;
    for (const QList<QVariant>& arrived : credits)
        badges += arrived.at(0).toInt();
    QCOMPARE(badges, static_cast<int>(expected.size()));
    for (CTBItemWnd* tile : view.Tiles()) {
        QVERIFY(!tile->Record().ratesum().empty());
        QVERIFY(tile->BadgeId() != 0);
        QCOMPARE(tile->BadgeId(), yfx::BadgeIdFor(tile->Record().ratesum(), BadgeIds()));
    }
    // Both orders keep them.
    for (int id : {CLumbra2View::ID_SORT_BY_SALES, CLumbra2View::ID_SORT_BY_PRICE, CLumbra2View::ID_SORT_BY_SALES}) {
        view.OnCommand(id);
        for (CTBItemWnd* tile : view.Tiles())
            QVERIFY(tile->BadgeId() != 0);
    }

    // A click opens the item's own affiliate address at once, with no request.
    QTRY_VERIFY_WITH_TIMEOUT(!view.PicturesLoading(), 30000);
    const size_t logged = server.Requests().size();
    const yfx::TileRect picture = coupon->PictureArea();
    QTest::mouseClick(coupon, Qt::LeftButton, {}, QPoint(picture.x + 100, picture.y + 100));
    QVERIFY(!coupon->ClickPending());
    const QString href = QString::fromStdString(yfx::GbkToUtf8(coupon->Record().href()));
    QCOMPARE(m_opened, QStringList{href});
    QVERIFY2(href.contains(QStringLiteral("coupon=1")), qPrintable(href)); // the coupon's address
    std::string text;
    QCOMPARE(HttpGetText(server.BaseUrl() + "/set/config.jpg", text), 0); // one request more: this one
    QCOMPARE(server.WaitForRequests(logged + 1).size(), logged + 1);
    QCOMPARE(server.Requests().back().path, std::string("/set/config.jpg"));
    QCOMPARE(m_reports, 0);
}

void MarketViewTest::materialRefusalsAreGreyText_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("secret"); // empty: the server's
    QTest::addColumn<QString>("appKey");
    QTest::addColumn<int>("clockOffset");
    QTest::addColumn<QString>("text"); // what the grey text starts with
    const QString refused = QStringLiteral("开放平台拒绝了请求：");
    QTest::newRow("bad signature") << QString() << QStringLiteral("not-the-secret") << QStringLiteral("12345678") << 0
                                   << refused + QStringLiteral("Invalid signature");
    QTest::newRow("missing app key") << QString() << QString() << QString() << 0
                                     << refused + QStringLiteral("Missing app key");
    QTest::newRow("clock an hour off") << QString() << QString() << QStringLiteral("12345678") << -3600
                                       << refused + QStringLiteral("Invalid timestamp");
    QTest::newRow("no permission") << QStringLiteral("/router/rest=platform-error:11") << QString()
                                   << QStringLiteral("12345678") << 0
                                   << refused + QStringLiteral("Insufficient isv permissions（isv.permission-api-package-limit");
    QTest::newRow("remote error") << QStringLiteral("/router/rest=platform-error:15") << QString()
                                  << QStringLiteral("12345678") << 0 << refused + QStringLiteral("Remote service error");
    QTest::newRow("cut-off answer") << QStringLiteral("/router/rest=malformed") << QString()
                                    << QStringLiteral("12345678") << 0 << QStringLiteral("开放平台的回答无法读取");
    QTest::newRow("status 500") << QStringLiteral("/router/rest=status:500") << QString() << QStringLiteral("12345678")
                                << 0 << QStringLiteral("开放平台的回答无法读取");
    QTest::newRow("no connection") << QStringLiteral("closed") << QString() << QStringLiteral("12345678") << 0
                                   << QStringLiteral("无法连接服务器");
}

void MarketViewTest::materialRefusalsAreGreyText()
{
    QFETCH(QString, fault);
    QFETCH(QString, secret);
    QFETCH(QString, appKey);
    QFETCH(int, clockOffset);
    QFETCH(QString, text);
    std::vector<std::string> args{"--seed", "7"};
    if (!fault.isEmpty() && fault != QStringLiteral("closed"))
        args.insert(args.end(), {"--fault", fault.toStdString()});
    MarketServerProcess faulty(args);
    QVERIFY2(faulty.Started(), faulty.Error().c_str());
    yfx::SetEndpointServer(faulty.BaseUrl());
    if (fault == QStringLiteral("closed"))
        yfx::SetEndpointOverride(yfx::Endpoint::OpenGateway, "http://127.0.0.1:1");
    if (clockOffset != 0)
        SetRequestClock([clockOffset] { return std::time(nullptr) + clockOffset; });
    m_host.m_config = MaterialConfig();
    m_host.m_config.appKey = appKey.toStdString();
    if (!secret.isEmpty())
        m_host.m_config.appSecret = secret.toStdString();

    const SearchQuery query = QueryFor("手机");
    auto v = Open(BuildSearchUrl(query), QSize(917, 1000), query);
    yfx::SetEndpointOverride(yfx::Endpoint::OpenGateway, "");
    QVERIFY(v);
    QVERIFY(v->view->Tiles().empty());
    QVERIFY2(v->view->StatusText().startsWith(text), qPrintable(v->view->StatusText()));
    QVERIFY(!v->view->CreditLevelsLoading());
    QCOMPARE(m_reports, 0);
    QVERIFY(!IsMessageBoxShown());
    for (const auto& r : faulty.Requests())
        QVERIFY(r.path != "/itemlist/default.htm" && !(r.query.count("method") && r.query.at("method") == kItemInfoMethod));
}

bool MarketViewTest::ScrollToTheEnd(CLumbra2View& view, const std::function<void()>& onFailed,
                                    const std::function<void()>& afterPage)
{
    QSignalSpy paged(&view, &CLumbra2View::pageLoaded);
    QScrollBar* bar = view.verticalScrollBar();
    for (int step = 0; step < 200; ++step) {
        if (view.TileWidgetCount() > view.TileLimit()) {
            qWarning("%d tile widgets for a limit of %d", view.TileWidgetCount(), view.TileLimit());
            return false;
        }
        switch (view.MoreRow()->CurrentState()) {
        case CMoreRow::State::End:
            return true;
        case CMoreRow::State::Failed:
            onFailed();
            break;
        default:
            bar->setValue(bar->maximum());
            break;
        }
        if (view.PageLoading()) {
            const int before = static_cast<int>(paged.count());
            if (!paged.wait(20000) && paged.count() == before)
                return false;
            if (afterPage)
                afterPage();
        }
        QTest::qWait(0); // the tiles of the rows that came into reach
    }
    return false;
}

void MarketViewTest::listSearchPagesOnWithoutRepeatsAndRetriesAFailedPage()
{
    // pages overlap by two items (a re-sort between requests) and the fourth fails once
    MarketServerProcess server(
        {"--seed", "7", "--page-overlap", "2", "--fault", "/itemlist/default.htm?s=120=status:500@1"});
    QVERIFY2(server.Started(), server.Error().c_str());
    yfx::SetEndpointServer(server.BaseUrl());
    const std::string url = SearchFor(""); // the whole catalogue: more than fifteen pages

    auto v = Open(url, QSize(917, 700));
    QVERIFY(v);
    CLumbra2View& view = *v->view;
    QCOMPARE(view.ItemCount(), 40);
    int failures = 0;
    QVERIFY(ScrollToTheEnd(view, [&] {
        ++failures;
        QCOMPARE(view.MoreRow()->Text(), QStringLiteral("加载失败，点击重试"));
        QVERIFY(!view.PageLoading());
        view.EnsureRowVisible(view.ItemCount() - 1);
        view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
        QTest::mouseClick(view.MoreRow(), Qt::LeftButton, {}, view.MoreRow()->rect().center());
        QVERIFY(view.PageLoading());
        QCOMPARE(view.MoreRow()->Text(), QStringLiteral("正在加载更多…"));
    }));
    QCOMPARE(failures, 1);
    QCOMPARE(m_reports, 1); // the unreadable page was told, as the first one would be
    QCOMPARE(view.MoreRow()->Text(), QStringLiteral("没有更多了"));
    QCOMPARE(view.PagesShown(), yfx::kMaxPages);
    const std::vector<yfx::test::MarketRequest> requests = server.Requests();

    // what the fifteen pages hold, each item once, in the order the pages give them
    std::vector<std::string> expected;
    int repeats = 0;
    for (int page = 0; page < yfx::kMaxPages; ++page) {
        std::vector<CTBRecord> records;
        QVERIFY(LoadItemList(yfx::ListPageAddress(url, page), records));
        QCOMPARE(records.size(), yfx::kPageItems);
        for (const CTBRecord& r : records) {
            if (std::find(expected.begin(), expected.end(), r.itemId()) == expected.end())
                expected.push_back(r.itemId());
            else
                ++repeats;
        }
    }
    QCOMPARE(repeats, 2 * (yfx::kMaxPages - 1));
    QCOMPARE(view.ItemCount(), static_cast<int>(expected.size()));
    for (int row = 0; row < view.ItemCount(); ++row)
        QCOMPARE(view.ItemAt(row).itemId(), expected[static_cast<size_t>(row)]);

    // each page asked for once ("&s=" at its end), the failed one twice, none after the 15th
    std::map<std::string, int> asked;
    for (const auto& r : requests)
        if (r.path == "/itemlist/default.htm")
            ++asked[r.query.count("s") ? r.query.at("s") : std::string("first")];
    std::map<std::string, int> want = {{"first", 1}};
    for (int page = 1; page < yfx::kMaxPages; ++page)
        want[std::to_string(40 * page)] = page == 3 ? 2 : 1;
    QCOMPARE(asked, want);
    for (const auto& r : server.Requests())
        if (r.path == "/itemlist/default.htm" && r.query.count("s"))
            QVERIFY(r.rawQuery.ends_with("&s=" + r.query.at("s")));
}

void MarketViewTest::materialSearchPagesToTheBoundMergingThePriceOrder()
{
    // the third page fails once; the user retries it with Enter
    MarketServerProcess server({"--seed", "7", "--fault", "/router/rest?page_no=3=status:500@1"});
    QVERIFY2(server.Started(), server.Error().c_str());
    yfx::SetEndpointServer(server.BaseUrl());
    m_host.m_config = MaterialConfig();
    const SearchQuery query = QueryFor(""); // every item of the catalogue
    auto v = Open(BuildSearchUrl(query), QSize(917, 700), query, 1);
    QVERIFY(v);
    CLumbra2View& view = *v->view;
    QCOMPARE(view.Order(), 1);

    auto priceOrderHolds = [&] {
        const std::vector<CTBRecord> byPrice = yfx::PriceOrder(view.Records());
        for (int row = 0; row < view.ItemCount(); ++row)
            if (view.ItemAt(row).itemId() != byPrice[static_cast<size_t>(row)].itemId())
                return false;
        for (CTBItemWnd* tile : view.Tiles())
            if (tile->Record().itemId() != view.ItemAt(view.RowOfTile(tile)).itemId())
                return false;
        return true;
    };
    QVERIFY(priceOrderHolds());
    int failures = 0;
    bool merged = true;
    QVERIFY(ScrollToTheEnd(
        view,
        [&] {
            ++failures;
            view.MoreRow()->setFocus();
            QTest::keyClick(view.MoreRow(), Qt::Key_Return);
            QVERIFY(view.PageLoading());
        },
        [&] { merged = merged && priceOrderHolds(); }));
    QCOMPARE(failures, 1);
    QVERIFY(merged);
    QCOMPARE(view.ItemCount(), CLumbra2View::kMaxItems);
    QCOMPARE(view.PagesShown(), yfx::kMaxPages);
    QCOMPARE(view.PriceOrderBuilds(), 1);
    std::set<std::string> ids;
    for (const CTBRecord& r : view.Records())
        QVERIFY(ids.insert(r.itemId()).second);

    std::map<std::string, int> pages;
    for (const auto& r : server.Requests())
        if (r.query.count("method") && r.query.at("method") == kMaterialSearchMethod)
            ++pages[r.query.at("page_no")];
    QCOMPARE(static_cast<int>(pages.size()), yfx::kMaxPages);
    QCOMPARE(pages["3"], 2);
    QCOMPARE(pages.count("16"), size_t{0});
    QCOMPARE(m_reports, 0);
}

void MarketViewTest::materialSearchEndsAtItsTotal()
{
    m_host.m_config = MaterialConfig();
    const SearchQuery query = QueryFor("手机");
    MaterialAnswer first;
    QVERIFY(ParseMaterialAnswer(PostNow(BuildMaterialSearchRequest(m_host.m_config, query)), first));
    const int total = std::stoi(first.totalResults);
    QVERIFY2(total > 40 && total < CLumbra2View::kMaxItems, first.totalResults.c_str());
    auto v = Open(BuildSearchUrl(query), QSize(917, 700), query);
    QVERIFY(v);
    QVERIFY(ScrollToTheEnd(*v->view, [] { QFAIL("no page fails here"); }));
    QCOMPARE(v->view->ItemCount(), total);
    QCOMPARE(v->view->PagesShown(), (total + 39) / 40); // the last page is not full: no more asked
}

void MarketViewTest::anOrdinaryApplicationAsksOnceForLevelsAndShowsItemsWithoutLinks()
{
    MarketServerProcess server({"--seed", "7", "--withhold", "ratesum,scene"});
    QVERIFY2(server.Started(), server.Error().c_str());
    yfx::SetEndpointServer(server.BaseUrl());
    m_host.m_config = MaterialConfig();
    auto levelRequests = [&] {
        int n = 0;
        for (const auto& r : server.Requests())
            n += r.query.count("method") && r.query.at("method") == kItemInfoMethod;
        return n;
    };

    // levels withheld: the first answer without them ends the requests, later pages included
    const SearchQuery many = QueryFor("");
    auto v = Open(BuildSearchUrl(many), QSize(917, 700), many);
    QVERIFY(v);
    QTRY_VERIFY_WITH_TIMEOUT(!v->view->CreditLevelsLoading(), 20000);
    QSignalSpy paged(v->view.get(), &CLumbra2View::pageLoaded);
    v->view->verticalScrollBar()->setValue(v->view->verticalScrollBar()->maximum());
    QVERIFY(paged.count() > 0 || paged.wait(20000));
    QCOMPARE(v->view->ItemCount(), 80);
    QVERIFY(!v->view->CreditLevelsLoading());
    QCOMPARE(levelRequests(), 1);
    for (CTBItemWnd* tile : v->view->Tiles())
        QCOMPARE(tile->BadgeId(), 0u);

    // a title that one item alone has: found without its id and its link
    MaterialAnswer all;
    QVERIFY(ParseMaterialAnswer(PostNow(BuildMaterialSearchRequest(m_host.m_config, many)), all));
    SearchQuery single = many;
    for (const CTBRecord& r : all.records) {
        single.keyword = r.tip();
        MaterialAnswer one;
        QVERIFY(ParseMaterialAnswer(PostNow(BuildMaterialSearchRequest(m_host.m_config, single)), one));
        if (one.totalResults == "1")
            break;
        single.keyword.clear();
    }
    QVERIFY(!single.keyword.empty());
    v.reset(); // (the pointer goes to the window on top)
    auto w = Open(BuildSearchUrl(single), QSize(917, 700), single);
    QVERIFY(w);
    QCOMPARE(w->view->ItemCount(), 1);
    QCOMPARE(w->view->MoreRow()->Text(), QStringLiteral("没有更多了"));
    CTBItemWnd* tile = w->view->TileForRow(0);
    QVERIFY(tile);
    QVERIFY(tile->Record().itemId().empty() && tile->Record().href().empty());
    const yfx::TileRect picture = tile->PictureArea();
    QTest::mouseMove(tile, QPoint(picture.x + 100, picture.y + 100));
    QTRY_VERIFY(tile->NoLinkNote().isVisible());
    QCOMPARE(tile->NoLinkNote().Text(), QStringLiteral("无推广链接"));
    QCOMPARE(tile->cursor().shape(), Qt::ArrowCursor);
    QVERIFY(!tile->PictureControl().m_bHover);
    QTest::mouseClick(tile, Qt::LeftButton, {}, QPoint(picture.x + 100, picture.y + 100));
    QVERIFY(m_opened.isEmpty());
    QVERIFY(!tile->ClickPending());
    const yfx::TileRect name = tile->NameArea();
    QTest::mouseMove(tile, QPoint(picture.x + 100, tile->height() - 2)); // no area: no note
    QTRY_VERIFY(!tile->NoLinkNote().isVisible());
    QTest::mouseMove(tile, QPoint(name.x + 3, name.y + 3));
    QTRY_VERIFY(tile->NoLinkNote().isVisible());
    QVERIFY(tile->NameControl().m_crText != QColor(225, 145, 100));
    QTest::mouseMove(tile, QPoint(2, tile->height() - 2));
    QTRY_VERIFY(!tile->NoLinkNote().isVisible());
}

void MarketViewTest::theBuyersAddressGoesOnlyWhereTheUserSetIt()
{
    m_host.m_config = MaterialConfig();
    const SearchQuery query = QueryFor("手机");
    auto sentIp = [&](const QVariant& setting) -> std::string {
        QSettings settings;
        if (setting.isValid())
            settings.setValue(yfx::kBuyerIpKey, setting);
        else
            settings.remove(yfx::kBuyerIpKey);
        settings.sync();
        const size_t before = m_server->Requests().size();
        auto v = Open(BuildSearchUrl(query), QSize(917, 700), query);
        if (!v)
            return "no view";
        QElapsedTimer clock;
        clock.start();
        while (v->view->CreditLevelsLoading() && clock.elapsed() < 20000)
            QTest::qWait(10);
        std::string ip;
        int gateway = 0;
        const auto requests = m_server->Requests();
        for (size_t i = before; i < requests.size(); ++i) {
            if (requests[i].path != "/router/rest")
                continue;
            const auto& q = requests[i].query;
            const std::string one = q.count("ip") ? q.at("ip") : std::string("none");
            if (gateway++ > 0 && one != ip)
                return "the search and the levels differ";
            ip = one;
        }
        return gateway >= 2 ? ip : "no levels asked";
    };
    QCOMPARE(sentIp(QVariant()), std::string("none"));
    QCOMPARE(sentIp(QStringLiteral(" 203.0.113.7 ")), std::string("203.0.113.7"));
    QCOMPARE(sentIp(QStringLiteral("2001:DB8::1")), std::string("2001:db8::1"));
    QCOMPARE(sentIp(QStringLiteral("my-pc.local")), std::string("none")); // a name is never looked up
    QSettings().remove(yfx::kBuyerIpKey);
}

QTEST_MAIN(MarketViewTest)
#include "MarketViewTest.moc"
