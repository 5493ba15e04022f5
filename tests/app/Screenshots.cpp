// Not a test: the pictures of the main window in docs/, taken offscreen (or on the display
// QT_QPA_PLATFORM names) against the local marketplace server.
//
//   app_screenshots --font-size POINTS --results FILE.png [--tabs FILE.png]
//
// --results: a results window whose items have the marketplace's longest amounts and titles
// with ampersands, with the application font at POINTS (the desktop's font size).
// --tabs: then eight results windows, and the tab row of the frame.
#include "ItemServer.h"

#include "app/CChildFrame.h"
#include "app/CLumbra2App.h"
#include "app/CMainFrame.h"
#include "market/Endpoints.h"
#include "market/Gbk.h"
#include "market/SearchUrl.h"
#include "market/TBRecord.h"
#include "results/CLumbra2View.h"
#include "tests/support/MarketServerProcess.h"

#include <QEventLoop>
#include <QMdiArea>
#include <QTabBar>
#include <QToolButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Waits until the view has every picture it can get (at most 30 s).
void WaitForPictures(CLumbra2View* view)
{
    if (view->IsLoading()) {
        QEventLoop loop;
        QObject::connect(view, &CLumbra2View::loadFinished, &loop, &QEventLoop::quit);
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (!view->PicturesLoading())
        return;
    QEventLoop loop;
    QObject::connect(view, &CLumbra2View::picturesDone, &loop, &QEventLoop::quit);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
}

void Settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The market server's own items (with its pictures), given long amounts and ampersand titles.
std::vector<ItemSpec> LongItems(const std::string& serverBase)
{
    SearchQuery query;
    query.keyword = yfx::Utf8ToGbk("羽绒服");
    std::vector<CTBRecord> records;
    LoadItemList(BuildSearchUrl(query), records);
    const char* titles[] = {"H&M 联名款 M&M's 加厚保暖羽绒服 男女同款 冬季新品 宽松显瘦 大码外套 包邮",
                            "Tom&Jerry 儿童羽绒服 男童女童 中长款 加厚",
                            "A&F 经典款 短款羽绒服 90%白鸭绒 轻薄保暖 秋冬季节百搭外套",
                            "Dolce&Gabbana 同款 长款过膝羽绒服",
                            "鸭鸭&雪中飞 双品牌 羽绒马甲",
                            "P&G 联名 户外冲锋衣 三合一 可拆卸内胆 防风防水"};
    const char* prices[] = {"99999.00", "12345.67", "8999.00", "129.00", "59.90", "100000.00"};
    const char* ships[] = {"100.00", "0.00", "8888.88", "12.00", "5.00", "999.00"};
    const char* sales[] = {"8888888.88", "1523", "88888", "7", "1000000", "23"};
    std::vector<ItemSpec> items;
    for (size_t i = 0; i < records.size() && i < 9; ++i) {
        const CTBRecord& r = records[i];
        ItemSpec s;
        s.id = r.itemId().empty() ? std::to_string(9000 + i) : r.itemId();
        s.price = prices[i % 6];
        s.ship = ships[i % 6];
        s.tradeNum = sales[i % 6];
        s.ratesum = std::to_string(20 - static_cast<int>(i) * 2);
        s.tip = yfx::Utf8ToGbk(titles[i % 6]);
        s.originalImage = r.originalImage();
        s.image = r.image();
        s.href = serverBase + "/item.htm?id=" + s.id;
        items.push_back(s);
    }
    return items;
}

} // namespace

int main(int argc, char** argv)
{
    int points = 10;
    std::string results;
    std::string tabs;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--font-size"))
            points = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--results"))
            results = argv[i + 1];
        else if (!std::strcmp(argv[i], "--tabs"))
            tabs = argv[i + 1];
    }
    if (results.empty()) {
        std::fprintf(stderr, "usage: %s --font-size POINTS --results FILE.png [--tabs FILE.png]\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_DIRS", (home.path() + QStringLiteral("/xdg")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home.path() + QStringLiteral("/cache")).toUtf8());
    qputenv("XDG_RUNTIME_DIR", home.path().toUtf8());
    qputenv("XDG_CACHE_HOME", home.path().toUtf8());

    yfx::test::MarketServerProcess server;
    if (!server.Started()) {
        std::fprintf(stderr, "market server did not start: %s\n", server.Error().c_str());
        return 1;
    }
    yfx::SetEndpointServer(server.BaseUrl());
    CLumbra2App app(argc, argv);
    QFont font = QApplication::font();
    font.setPointSize(points);
    QApplication::setFont(font);

    ItemServer items;
    const std::string list = items.AddList("long", LongItems(server.BaseUrl()));
    if (!app.InitInstance())
        return 1;
    CMainFrame* frame = app.MainFrame();

    auto* window = qobject_cast<CChildFrame*>(frame->OpenResults(list, QStringLiteral("自助搜索"), 0));
    if (!window)
        return 1;
    WaitForPictures(window->View());
    Settle(300);
    if (!frame->grab().save(QString::fromStdString(results)))
        return 1;
    std::printf("%s: %zu tiles at %d pt\n", results.c_str(), window->View()->Tiles().size(), points);

    if (!tabs.empty()) {
        const QString titles[] = {QStringLiteral("自助搜索"), QStringLiteral("热卖排行 - 女装&男装"),
                                  QStringLiteral("悦丰选今日推荐"), QStringLiteral("热卖排行 - 所有市场"),
                                  QStringLiteral("自助搜索"), QStringLiteral("热卖排行 - 运动户外 - 跑步鞋"),
                                  QStringLiteral("自助搜索")};
        int order = 1;
        for (const QString& title : titles)
            frame->OpenResults(list, title, order++ % 2);
        frame->MdiArea()->setActiveSubWindow(frame->MdiArea()->subWindowList().at(3));
        Settle(500);
        QTabBar* bar = frame->TabBar();
        const QRect row(frame->MdiArea()->mapTo(frame, QPoint(0, 0)),
                        QSize(frame->MdiArea()->width(), bar->height() + 40));
        if (!frame->grab(row).save(QString::fromStdString(tabs)))
            return 1;
        std::printf("%s: %d tabs\n", tabs.c_str(), bar->count());
    }
    return 0;
}
