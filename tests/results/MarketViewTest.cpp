// A results view for real searches of the local marketplace server (tools/market-server):
// tiles for the answer less the filtered sellers, pictures, price order, hover and click
// through the open-platform gateway, closing while pictures stall, and unusual answers.
#include "TestDocument.h"

#include "market/Endpoints.h"
#include "market/Gbk.h"
#include "market/SearchUrl.h"
#include "results/CLumbra2View.h"
#include "results/CTBItemWnd.h"
#include "results/GridLayout.h"
#include "results/ResultOrder.h"
#include "results/ResultsHost.h"
#include "results/UrlOpener.h"
#include "tests/support/MarketServerProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <set>

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

struct OpenView {
    OpenView(const std::string& address, QSize size)
        : doc(address, 0, QStringLiteral("自助搜索 - 销量")), view(std::make_unique<CLumbra2View>(&doc))
    {
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
    void unusualAnswers_data();
    void unusualAnswers();

private:
    std::unique_ptr<OpenView> Open(const std::string& address, QSize size = QSize(917, 1000));
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
}

std::unique_ptr<OpenView> MarketViewTest::Open(const std::string& address, QSize size)
{
    auto v = std::make_unique<OpenView>(address, size);
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

    // 14 rows would not fit: the view scrolls; 1000 pixels hold the first three rows.
    auto v = Open(url);
    QVERIFY(v);
    CLumbra2View& view = *v->view;
    QCOMPARE(view.Tiles().size(), expected.size());
    const int th = view.Tiles()[0]->height();
    const int rows = static_cast<int>((expected.size() + 2) / 3);
    const bool overflow = rows * (th + 1) + 1 > 1000;
    const int bar = overflow ? view.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &view) : 0;
    const int left = (917 - bar - 700) / 2;
    QCOMPARE(view.Left(), left);
    for (size_t i = 0; i < expected.size(); ++i) {
        CTBItemWnd* tile = view.Tiles()[i];
        QCOMPARE(tile->Record().itemId(), expected[i].itemId());
        const yfx::GridPoint p = yfx::GridCell(static_cast<int>(i), left, 232, th);
        QCOMPARE(tile->pos(), QPoint(p.x, p.y));
        QCOMPARE(tile->PriceControl().Text(), QString::fromUtf8(yfx::GbkToUtf8(expected[i].currentPrice())));
        QCOMPARE(tile->NameControl().Text(), QString::fromUtf8(yfx::GbkToUtf8(expected[i].tip())));
    }

    // Pictures: every file arrives; the tiles in sight draw theirs without being asked to.
    QSignalSpy done(&view, &CLumbra2View::picturesDone);
    QVERIFY(done.count() > 0 || done.wait(30000));
    for (size_t i = 0; i < expected.size(); ++i) {
        CTBItemWnd* tile = view.Tiles()[i];
        QVERIFY(QFile::exists(m_folder.filePath(QString::fromStdString(expected[i].thumbFileName))));
        if (tile->y() + tile->height() <= view.viewport()->height()) {
            QTRY_VERIFY(!tile->PictureControl().m_image.isNull());
            QCOMPARE(tile->PictureControl().m_image.size(), QSize(220, 220));
        }
    }
    // Each thumbnail was asked for by the program's agent.
    std::set<std::string> thumbnails;
    for (const auto& r : m_server->Requests())
        if (r.path.ends_with("_220x220.jpg") && r.userAgent == "HttpClient")
            thumbnails.insert(r.path.substr(r.path.rfind('/') + 1));
    for (const CTBRecord& r : expected)
        QVERIFY(thumbnails.contains(r.thumbFileName));

    // Price order: the same tiles in the same places, rebound; the title follows.
    std::vector<QPoint> positions;
    for (CTBItemWnd* tile : view.Tiles())
        positions.push_back(tile->pos());
    view.OnCommand(CLumbra2View::ID_SORT_BY_PRICE);
    const std::vector<CTBRecord> byPrice = yfx::PriceOrder(expected);
    for (size_t i = 0; i < byPrice.size(); ++i) {
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

QTEST_MAIN(MarketViewTest)
#include "MarketViewTest.moc"
