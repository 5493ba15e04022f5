// Every path the program fetches, against the local marketplace server answering it with every
// kind of fault, through the real windows and the core: the list answer (a results view), the
// gateway (a tile click), the configuration and the category documents (the main frame at its
// creation) and the pictures (a view's picture loader and the tile's picture static). Each row
// is one path under one fault, with the orderly outcome the program must come to.
//
// One server runs per fault column, with that fault on every path of the table at once: the
// list search of one market page, the gateway, both documents, and the two picture addresses
// of the first item of the default search (so only that tile's picture is hit). Outcomes are
// waited for (bounded), never assumed to be there when a call returns.
#include "app/CMainFrame.h"
#include "market/Configuration.h"
#include "market/Endpoints.h"
#include "market/HttpClient.h"
#include "market/NetEngine.h"
#include "market/SearchUrl.h"
#include "market/TBRecord.h"
#include "panes/CTBCatTreeCtrl.h"
#include "results/CLumbra2View.h"
#include "results/CTBItemWnd.h"
#include "results/UrlOpener.h"
#include "tests/results/TestDocument.h"
#include "tests/support/MarketServerProcess.h"
#include "tests/support/PrivateFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidgetItem>

#include <map>
#include <memory>

using yfx::test::MarketServerProcess;

namespace {

constexpr int kWaitMs = 30000; // (returns as soon as the outcome shows; sanitizer builds are slow)
constexpr std::uint64_t kCurlBuffer = 16384; // what libcurl takes from a socket at once

// Body bytes the program's exchanges have taken from the network so far (those that ended).
std::uint64_t BytesTaken()
{
    return CNetEngine::Shared().BytesReceived();
}
const char* const kListPath = "/market/nvzhuang.htm";
const char* const kKey = "12345678";
const char* const kSecret = "yfx-local-secret";
const char* const kPid = "mm_10000001_2000002_30000003";

std::string ListUrl(const std::string& path = {})
{
    SearchQuery q;
    q.path = path;
    q.cat = "0";
    return BuildSearchUrl(q);
}

std::string PathOf(const std::string& url)
{
    const std::size_t scheme = url.find("://");
    const std::size_t slash = url.find('/', scheme == std::string::npos ? 0 : scheme + 3);
    std::string path = slash == std::string::npos ? "/" : url.substr(slash);
    return path.substr(0, path.find('?'));
}

// A fault column: the fault given to the documents' paths and the one given to the pictures'
// (empty: none), and extra server arguments.
struct Column {
    std::string documents, pictures;
    std::vector<std::string> extra;
};

const std::map<QString, Column>& Columns()
{
    static const std::map<QString, Column> columns = {
        {QStringLiteral("none"), {"", "", {}}},
        {QStringLiteral("404"), {"status:404", "status:404", {}}},
        {QStringLiteral("500"), {"status:500", "status:500", {}}},
        {QStringLiteral("stall"), {"stall-ms:300", "stall-ms:300", {}}},
        {QStringLiteral("cut"), {"cut", "cut", {}}},
        {QStringLiteral("malformed"), {"malformed", "malformed", {}}},
        {QStringLiteral("redirect to nowhere"), {"redirect-nowhere", "redirect-nowhere", {}}},
        {QStringLiteral("wrong JSON types"), {"nonstring", "nonstring", {}}},
        // 30 MiB of empty elements, its length announced; endless pictures at 10 MB/s, so that
        // an uncapped download cannot fill the disk while the row waits
        {QStringLiteral("huge body"), {"elements:30", "endless", {"--picture-kbps", "80000"}}},
        // 30 MB answers whose length comes only with their end
        {QStringLiteral("huge body, length not announced"), {"stream:30000000", "stream:30000000", {}}},
        {QStringLiteral("huge pixels"), {"", "huge-picture:4000", {}}},
        {QStringLiteral("huge PNG"), {"", "huge-png:4000", {}}},
        {QStringLiteral("pixels beyond the bound"), {"", "huge-picture:30000", {}}},
    };
    return columns;
}

} // namespace

class FaultTableTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void faultTable_data();
    void faultTable();

private:
    MarketServerProcess* ServerFor(const QString& column);
    void CheckList(const QString& expected);
    void CheckGateway(const QString& expected);
    void CheckConfiguration(const QString& expected);
    void CheckCategories(const QString& expected);
    void CheckPictures(MarketServerProcess& server, const QString& expected);
    bool Requested(const MarketServerProcess& server, const std::string& path) const;

    QTemporaryDir m_folder;
    std::unique_ptr<yfx::test::PrivateFolders> m_home; // no user's config.json, cache or settings
    std::map<QString, std::unique_ptr<MarketServerProcess>> m_servers;
    std::string m_thumbPath, m_secondPath; // the first item's picture paths
    int m_normalCategories = 0;
    TestHost m_host;
    QStringList m_opened;
    int m_reports = 0;
};

void FaultTableTest::initTestCase()
{
    m_home = std::make_unique<yfx::test::PrivateFolders>();
    QVERIFY(m_folder.isValid());
    SetPictureFolder(QFile::encodeName(m_folder.path()).toStdString() + "/");
    SetErrorReporter([this](const std::string&, const std::string&) { ++m_reports; });
    yfx::SetUrlOpener([this](const QString& url) { m_opened << url; });
    m_host.m_config.appKey = kKey;
    m_host.m_config.appSecret = kSecret;
    m_host.m_config.pid = kPid;

    // The picture paths of the first item and the size of the category tree, from a server
    // without faults (the same seed gives every server the same catalogue).
    MarketServerProcess* plain = ServerFor(QStringLiteral("none"));
    QVERIFY(plain);
    yfx::SetEndpointServer(plain->BaseUrl());
    std::vector<CTBRecord> records;
    QVERIFY(LoadItemList(ListUrl(), records));
    QVERIFY(records.size() >= 3);
    m_thumbPath = PathOf(records[0].thumbUrl);
    m_secondPath = PathOf(records[0].image());
    QVERIFY(m_thumbPath != m_secondPath);
    const std::string doc = [] {
        std::string text;
        HttpGetText(CategoryDocumentUrl(), text);
        return text;
    }();
    m_normalCategories = static_cast<int>(ParseCategoryDocument(doc).size());
    QVERIFY(m_normalCategories > 3);
}

void FaultTableTest::init()
{
    m_opened.clear();
    m_reports = 0;
    // Picture files are shared by name: a row must not see the file of an earlier one.
    QDir dir(m_folder.path());
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden))
        dir.remove(name);
}

void FaultTableTest::cleanupTestCase()
{
    yfx::SetEndpointServer({});
    SetErrorReporter({});
    yfx::SetUrlOpener({});
    m_servers.clear();
}

MarketServerProcess* FaultTableTest::ServerFor(const QString& column)
{
    auto& slot = m_servers[column];
    if (slot)
        return slot.get();
    const Column& c = Columns().at(column);
    std::vector<std::string> args = {"--seed", "7", "--threads", "8"};
    if (!c.documents.empty())
        for (const std::string& path : {std::string(kListPath), std::string("/router/rest"),
                                        std::string("/set/config.jpg"), std::string("/set/tbcat.jpg")})
            args.insert(args.end(), {"--fault", path + "=" + c.documents});
    if (!c.pictures.empty()) {
        if (m_thumbPath.empty())
            return nullptr;
        args.insert(args.end(), {"--fault", m_thumbPath + "=" + c.pictures, "--fault", m_secondPath + "=" + c.pictures});
    }
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    slot = std::make_unique<MarketServerProcess>(args);
    if (!slot->Started()) {
        qWarning("%s", slot->Error().c_str());
        slot.reset();
    }
    return slot.get();
}

bool FaultTableTest::Requested(const MarketServerProcess& server, const std::string& path) const
{
    for (const auto& r : server.Requests())
        if (r.path == path)
            return true;
    return false;
}

void FaultTableTest::faultTable_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("expected");

    struct Row {
        const char* column;
        const char* list;          // "tiles", "empty-reported" (the developer message), "empty-silent"
        const char* gateway;       // "click", "item-page"
        const char* configuration; // "configured", "key-only", "unconfigured-true"/"-false" (the read's result)
        const char* categories;    // "tree", "renamed-tree" (first name "1"), "root-only"
        const char* pictures;      // "picture", "clipped", "reduced", "none-first-only",
                                   // "none-second-tried", "none-no-file" (no file left, second
                                   // address tried)
    };
    const Row rows[] = {
        {"none", "tiles", "click", "configured", "tree", "picture"},
        {"404", "empty-reported", "item-page", "unconfigured-true", "root-only", "none-first-only"},
        {"500", "empty-reported", "item-page", "unconfigured-true", "root-only", "none-first-only"},
        {"stall", "empty-silent", "item-page", "unconfigured-false", "root-only", "none-second-tried"},
        {"cut", "empty-silent", "item-page", "unconfigured-false", "root-only", "none-second-tried"},
        // half a JPEG decodes as the top of the picture over grey
        {"malformed", "empty-reported", "item-page", "unconfigured-false", "root-only", "picture"},
        {"redirect to nowhere", "empty-silent", "item-page", "unconfigured-false", "root-only", "none-second-tried"},
        {"wrong JSON types", "tiles", "item-page", "key-only", "renamed-tree", "none-first-only"},
        {"huge body", "empty-reported", "item-page", "unconfigured-false", "root-only", "none-no-file"},
        {"huge body, length not announced", "empty-reported", "item-page", "unconfigured-false", "root-only",
         "none-no-file"},
        {"huge pixels", nullptr, nullptr, nullptr, nullptr, "clipped"},
        {"huge PNG", nullptr, nullptr, nullptr, nullptr, "reduced"},
        {"pixels beyond the bound", nullptr, nullptr, nullptr, nullptr, "none-first-only"},
    };
    for (const Row& r : rows) {
        const QString column = QString::fromLatin1(r.column);
        const std::pair<const char*, const char*> cells[] = {{"list answer", r.list},
                                                             {"gateway", r.gateway},
                                                             {"configuration", r.configuration},
                                                             {"categories", r.categories},
                                                             {"pictures", r.pictures}};
        for (const auto& [path, expected] : cells) {
            if (!expected)
                continue;
            const QString p = QString::fromLatin1(path);
            QTest::newRow(qPrintable(p + QStringLiteral(" / ") + column)) << p << column << QString::fromLatin1(expected);
        }
    }
}

void FaultTableTest::faultTable()
{
    QFETCH(QString, path);
    QFETCH(QString, column);
    QFETCH(QString, expected);
    MarketServerProcess* server = ServerFor(column);
    QVERIFY(server);
    yfx::SetEndpointServer(server->BaseUrl());

    if (path == QStringLiteral("list answer"))
        CheckList(expected);
    else if (path == QStringLiteral("gateway"))
        CheckGateway(expected);
    else if (path == QStringLiteral("configuration"))
        CheckConfiguration(expected);
    else if (path == QStringLiteral("categories"))
        CheckCategories(expected);
    else
        CheckPictures(*server, expected);
    if (QTest::currentTestFailed())
        return;
    // A list row that shows a stray developer message fails here (not for pictures or the
    // gateway, whose answers are never reported).
    if (path == QStringLiteral("list answer"))
        QCOMPARE(m_reports, expected == QStringLiteral("empty-reported") ? 1 : 0);
    else
        QCOMPARE(m_reports, 0);
}

void FaultTableTest::CheckList(const QString& expected)
{
    ScopedHost host(&m_host);
    TestDocument doc(ListUrl(kListPath), 0, QStringLiteral("自助搜索 - 销量"));
    CLumbra2View view(&doc);
    view.resize(917, 700);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const std::uint64_t before = BytesTaken();
    view.OnInitialUpdate();
    if (expected == QStringLiteral("tiles")) {
        QTRY_COMPARE_WITH_TIMEOUT(view.ItemCount(), 40, kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(!view.Tiles().empty(), kWaitMs);
        return;
    }
    if (expected == QStringLiteral("empty-reported"))
        QTRY_COMPARE_WITH_TIMEOUT(m_reports, 1, kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!view.IsLoading(), kWaitMs);
    QVERIFY(view.Tiles().empty());
    QCOMPARE(view.ItemCount(), 0);
    QVERIFY(!view.PicturesLoading());
    // whatever the server sent, no more than the reader takes came in
    QVERIFY2(BytesTaken() - before <= kMaxListAnswerBytes + kCurlBuffer, qPrintable(QString::number(BytesTaken() - before)));
}

void FaultTableTest::CheckGateway(const QString& expected)
{
    ScopedHost host(&m_host);
    TestDocument doc(ListUrl(), 0, QStringLiteral("自助搜索 - 销量"));
    CLumbra2View view(&doc);
    view.resize(917, 700);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.OnInitialUpdate();
    QTRY_VERIFY_WITH_TIMEOUT(!view.Tiles().empty(), kWaitMs);
    CTBItemWnd* tile = nullptr; // an item the gateway has an affiliate link for (id not ending in 7)
    for (CTBItemWnd* t : view.Tiles())
        if (!tile && !t->Record().itemId().ends_with('7'))
            tile = t;
    QVERIFY(tile);
    view.ensureWidgetVisible(tile);
    const yfx::TileRect picture = tile->PictureArea();
    QTest::mouseClick(tile, Qt::LeftButton, {}, QPoint(picture.x + 100, picture.y + 100));
    QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 1, kWaitMs);
    const QString href = QString::fromStdString(tile->Record().href());
    if (expected == QStringLiteral("click")) {
        QVERIFY2(m_opened.front().contains(QStringLiteral("/s.click")), qPrintable(m_opened.front()));
    } else {
        QCOMPARE(m_opened.front(), href);
    }
}

void FaultTableTest::CheckConfiguration(const QString& expected)
{
    const std::uint64_t before = BytesTaken();
    auto frame = std::make_unique<CMainFrame>();
    const Configuration& cfg = frame->m_config;
    if (expected == QStringLiteral("configured")) {
        QTRY_COMPARE_WITH_TIMEOUT(cfg.appKey, std::string(kKey), kWaitMs);
        QCOMPARE(cfg.pid, std::string(kPid));
        QVERIFY(!cfg.announcements.empty());
    } else if (expected == QStringLiteral("key-only")) {
        QTRY_COMPARE_WITH_TIMEOUT(cfg.appKey, std::string(kKey), kWaitMs);
        QCOMPARE(cfg.pid, std::string());
    } else {
        QVERIFY(cfg.appKey.empty() && cfg.appSecret.empty() && cfg.pid.empty() && cfg.sellerNicks.empty() &&
                cfg.announcements.empty());
        QVERIFY(!frame->AnnouncementTimer().isActive());
    }
    // both documents, whatever the server sent: no more than their readers take
    QTRY_VERIFY_WITH_TIMEOUT(!frame->DocumentsPending(), kWaitMs);
    QVERIFY(cfg.appKey.empty() == (expected.startsWith(QStringLiteral("unconfigured"))));
    QVERIFY2(BytesTaken() - before <= kMaxConfigurationBytes + kMaxCategoryDocumentBytes + 2 * kCurlBuffer,
             qPrintable(QString::number(BytesTaken() - before)));
    frame.reset();
    // The reading's own result: a failure is not reported as success.
    Configuration read;
    const bool result = ReadConfiguration(read, ConfigDocumentUrl());
    QCOMPARE(result, expected != QStringLiteral("unconfigured-false"));
}

void FaultTableTest::CheckCategories(const QString& expected)
{
    auto frame = std::make_unique<CMainFrame>();
    QTreeWidgetItem* root = frame->CategoryTree()->RootItem();
    QVERIFY(root);
    if (expected == QStringLiteral("root-only")) {
        QCOMPARE(root->childCount(), 0);
        QCOMPARE(frame->CategoryTree()->topLevelItemCount(), 1);
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(root->childCount(), m_normalCategories, kWaitMs);
    const QString first = root->child(0)->text(0);
    if (expected == QStringLiteral("renamed-tree"))
        QCOMPARE(first, QStringLiteral("1"));
    else
        QVERIFY(!first.isEmpty() && first != QStringLiteral("1"));
}

void FaultTableTest::CheckPictures(MarketServerProcess& server, const QString& expected)
{
    ScopedHost host(&m_host);
    TestDocument doc(ListUrl(), 0, QStringLiteral("自助搜索 - 销量"));
    auto view = std::make_unique<CLumbra2View>(&doc);
    view->resize(917, 700);
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view.get()));
    QSignalSpy arrived(view.get(), &CLumbra2View::pictureArrived);
    view->OnInitialUpdate();
    QTRY_VERIFY_WITH_TIMEOUT(view->Tiles().size() >= 3, kWaitMs);
    CTBItemWnd* first = view->Tiles()[0];
    QCOMPARE(PathOf(first->Record().thumbUrl), m_thumbPath);
    const auto handled = [&](int index) {
        for (const QList<QVariant>& args : arrived)
            if (args.at(0).toInt() == index)
                return true;
        return false;
    };
    // (a tile in sight holds its decoded picture when its picture is announced)
    const auto shows = [](CTBItemWnd* tile) { return !tile->PictureControl().m_image.isNull(); };

    // Capped at 8 MiB, both endless addresses end within 2 s at 10 MB/s; uncapped, the wait is
    // kept short so that little is written meanwhile.
    const bool noFileWanted = expected == QStringLiteral("none-no-file");
    QTRY_VERIFY_WITH_TIMEOUT(handled(0), noFileWanted ? 5000 : kWaitMs);
    CMyImageStatic& picture = first->PictureControl();
    const bool shown = shows(first);
    if (expected == QStringLiteral("picture")) {
        QCOMPARE(picture.m_image.size(), QSize(220, 220));
    } else if (expected == QStringLiteral("clipped")) {
        QCOMPARE(picture.m_image.size(), QSize(226, 226)); // only what the control shows of 4000 x 4000
    } else if (expected == QStringLiteral("reduced")) {
        QCOMPARE(picture.m_image.size(), QSize(224, 224)); // the whole 4000 x 4000 PNG, read reduced
    } else {
        QVERIFY(!shown);
        QVERIFY(Requested(server, m_thumbPath));
    }
    // The next tile, whose pictures are not faulted, gets its picture whatever befell the first.
    QTRY_VERIFY_WITH_TIMEOUT(handled(1), kWaitMs);
    QVERIFY(shows(view->Tiles()[1]));

    if (expected == QStringLiteral("none-first-only"))
        QVERIFY2(!Requested(server, m_secondPath), "an answer other than a failure leads to no second download");
    if (!expected.startsWith(QStringLiteral("none-")) || expected == QStringLiteral("none-first-only"))
        return;
    QVERIFY2(Requested(server, m_secondPath), "a failed download is tried once more at the second address");
    const QString file = QString::fromStdString(PictureFolder() + first->Record().thumbFileName);
    if (noFileWanted)
        QVERIFY2(!QFileInfo::exists(file), "nothing is kept of a picture beyond the size cap");
}

QTEST_MAIN(FaultTableTest)
#include "FaultTableTest.moc"
