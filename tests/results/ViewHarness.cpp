// Opens one results view for a search of the local marketplace server, the way the main frame
// will, for looking at it by hand (under Xvfb or a desktop) or for a screenshot:
//
//   results_view_harness [--keyword UTF8] [--order 0|1] [--server URL] [--shot FILE.png]
//
// Without --server it starts tools/market-server itself. With --shot it waits for the
// pictures, saves the view and quits; otherwise it runs until the window is closed.
#include "TestDocument.h"

#include "market/Endpoints.h"
#include "market/Gbk.h"
#include "market/SearchUrl.h"
#include "results/CLumbra2View.h"
#include "results/ResultsHost.h"
#include "tests/support/MarketServerProcess.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <memory>

int main(int argc, char** argv)
{
    std::string keyword = "手机";
    std::string server;
    std::string shot;
    int order = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--keyword"))
            keyword = argv[i + 1];
        else if (!std::strcmp(argv[i], "--order"))
            order = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--server"))
            server = argv[i + 1];
        else if (!std::strcmp(argv[i], "--shot"))
            shot = argv[i + 1];
    }
    QApplication app(argc, argv);

    std::unique_ptr<yfx::test::MarketServerProcess> local;
    if (server.empty()) {
        local = std::make_unique<yfx::test::MarketServerProcess>();
        if (!local->Started()) {
            std::fprintf(stderr, "market server did not start: %s\n", local->Error().c_str());
            return 1;
        }
        server = local->BaseUrl();
    }
    yfx::SetEndpointServer(server);
    QTemporaryDir folder;
    SetPictureFolder(QFile::encodeName(folder.path()).toStdString() + "/");
    TestHost host;
    ScopedHost scoped(&host);

    SearchQuery query;
    query.keyword = yfx::Utf8ToGbk(keyword);
    TestDocument doc(BuildSearchUrl(query), order,
                     QStringLiteral("自助搜索") +
                         (order ? QStringLiteral(" - 价格") : QStringLiteral(" - 销量")));
    CLumbra2View view(&doc);
    view.setWindowTitle(doc.GetTitle());
    view.resize(917, 700);
    view.show();
    view.OnInitialUpdate();
    std::printf("%zu tiles\n", view.Tiles().size());

    if (!shot.empty()) {
        auto save = [&] {
            view.grab().save(QString::fromStdString(shot));
            app.quit();
        };
        if (!view.PicturesLoading())
            QTimer::singleShot(0, &app, save);
        QObject::connect(&view, &CLumbra2View::picturesDone, &app, save);
    }
    return app.exec();
}
