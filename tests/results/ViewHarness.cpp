// Opens one results view for a search of the local marketplace server, the way the main frame
// will, for looking at it by hand (under Xvfb or a desktop) or for a screenshot:
//
//   results_view_harness [--keyword UTF8] [--order 0|1] [--server URL] [--shot FILE.png]
//                        [--source material]
//
// Without --server it starts tools/market-server itself. With --shot it waits for the
// pictures (and the credit levels), saves the view and quits; otherwise it runs until the
// window is closed. "--source material" searches through the open platform's material search
// with the bundled server's application.
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
    bool material = false;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--keyword"))
            keyword = argv[i + 1];
        else if (!std::strcmp(argv[i], "--order"))
            order = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--server"))
            server = argv[i + 1];
        else if (!std::strcmp(argv[i], "--shot"))
            shot = argv[i + 1];
        else if (!std::strcmp(argv[i], "--source"))
            material = !std::strcmp(argv[i + 1], "material");
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
    if (material) { // the bundled server's application
        host.m_config.appKey = "12345678";
        host.m_config.appSecret = "yfx-local-secret";
        host.m_config.pid = "mm_10000001_2000002_30000003";
        host.m_config.source = ResultSource::OpenPlatform;
    }
    ScopedHost scoped(&host);

    SearchQuery query;
    query.cat = "0";
    query.keyword = yfx::Utf8ToGbk(keyword);
    TestDocument doc(BuildSearchUrl(query), order,
                     QStringLiteral("自助搜索") +
                         (order ? QStringLiteral(" - 价格") : QStringLiteral(" - 销量")));
    doc.m_data.m_query = query;
    CLumbra2View view(&doc);
    view.setWindowTitle(doc.GetTitle());
    view.resize(917, 700);
    view.show();
    QObject::connect(&view, &CLumbra2View::loadFinished, &app,
                     [&view] { std::printf("%zu tiles\n", view.Tiles().size()); });
    view.OnInitialUpdate();

    if (!shot.empty()) {
        auto save = [&] {
            if (view.PicturesLoading() || view.CreditLevelsLoading())
                return; // the other one comes too
            view.grab().save(QString::fromStdString(shot));
            app.quit();
        };
        QObject::connect(&view, &CLumbra2View::loadFinished, &app, save);
        QObject::connect(&view, &CLumbra2View::picturesDone, &app, save);
        QObject::connect(&view, &CLumbra2View::creditLevelsArrived, &app, save);
    }
    return app.exec();
}
