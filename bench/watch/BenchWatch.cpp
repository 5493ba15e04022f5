// A check of 500 watched items against the bundled server, as the program runs it (the watch
// service on the thread that owns it, the check on the engine's and the store's threads):
//   requests  item-details requests the server saw (goal: 25, 20 ids each)
//   check     from "check now" until the page has shown the list again after the check, in ms
//   stall     the longest gap between the ticks of a 1 ms timer on the GUI thread from "check
//             now" until the "我的关注" page (shown, 500 rows) has read the list again after the
//             check, as the main window has it do (goal <= 16 ms);
//             "own" is the processor time that thread used in its longest gap, leaving out the
//             time it waited for a processor that other programs held
// The first run writes a price row for every item; the later ones find the same prices.
// Lines "figure NAME VALUE" are for scripts.
#include "app/CWatchService.h"
#include "panes/CWatchListPane.h"
#include "results/CPriceMemory.h"
#include "market/Endpoints.h"
#include "market/NetEngine.h"
#include "store/CPriceStore.h"
#include "tests/support/MarketServerProcess.h"
#include "tests/support/PrivateFolders.h"
#include "tools/market-server/Catalogue.h"
#include "tools/market-server/MaterialGateway.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <future>
#include <vector>

using namespace yfx;

namespace {

constexpr int kItems = 500;

double ThreadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    int runs = 5;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--runs") == 0)
            runs = std::max(1, std::atoi(argv[i + 1]));
    test::PrivateFolders folders; // the settings and the store of this run only
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    test::MarketServerProcess server;
    if (!server.Started()) {
        std::fprintf(stderr, "bench_watch: %s\n", server.Error().c_str());
        return 1;
    }
    SetEndpointServer(server.BaseUrl());

    store::CPriceStore::Settings settings;
    settings.database.path = folders.DataHome() + "/yuefengxuan/prices.sqlite";
    CPriceMemory gui(settings); // the program's side of the store, as the main window has it
    store::CPriceStore& memory = gui.Store();
    CWatchListPane pane;
    pane.resize(250, 600);
    pane.SetMemory(&gui);
    pane.show();
    const server::Catalogue catalogue = server::Catalogue::Generate(20130328, 2000);
    for (int i = 0; i < kItems; ++i) {
        const server::CatalogueItem& item = catalogue.Items()[static_cast<std::size_t>(i)];
        store::Sighting s;
        s.key = {ResultSource::OpenPlatform, server::MaterialGateway::ItemId(item)};
        s.title = item.titleUtf8;
        s.price = item.priceCents + 1000;
        memory.Watch(s, {}, {});
    }
    std::promise<void> ready;
    memory.Call([&] { ready.set_value(); });
    ready.get_future().get();

    CNetEngine engine;
    Configuration cfg;
    cfg.appKey = "12345678";
    cfg.appSecret = "yfx-local-secret";
    cfg.pid = "mm_10000001_2000002_30000003";
    std::vector<double> checks, stalls, owns;
    int requests = -1;
    for (int run = 0; run < runs; ++run) {
        CWatchService service(engine, memory, settings.database.path, nullptr);
        service.SetConfiguration(cfg);
        const std::size_t before = server.Requests().size();
        QElapsedTimer clock, tick;
        double worst = 0, worstOwn = 0, cpu = ThreadCpuMs();
        bool listed = false; // the run ends with the tick after the page's list, which measures its stall
        QTimer ticker;
        ticker.setInterval(1);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const double now = ThreadCpuMs();
            worst = std::max(worst, tick.nsecsElapsed() / 1e6);
            worstOwn = std::max(worstOwn, now - cpu);
            cpu = now;
            tick.restart();
            if (listed)
                app.quit();
        });
        // as in the main window: the end of a check has the page read the list again
        bool ended = false;
        QObject::connect(&service, &CWatchService::checked, &gui, [&] {
            ended = true;
            gui.RefreshWatched();
        });
        const QMetaObject::Connection shown = QObject::connect(&pane, &CWatchListPane::listShown, &app, [&](int rows) {
            listed = listed || (ended && rows == kItems);
        });
        ticker.start();
        clock.start();
        tick.start();
        cpu = ThreadCpuMs();
        service.CheckNow();
        app.exec();
        const double ms = clock.nsecsElapsed() / 1e6;
        ticker.stop();
        QObject::disconnect(shown);
        const auto& o = service.LastOutcome();
        requests = static_cast<int>(server.Requests().size() - before);
        std::printf("run %d: %d items, %d found, %zu alerts, %d requests (server saw %d), check %.1f ms, longest "
                    "stall %.2f ms (own %.2f)%s%s\n",
                    run + 1, o.items, o.found, o.alerts.size(), o.requests, requests, ms, worst, worstOwn,
                    o.problem.empty() ? "" : ", problem: ", o.problem.c_str());
        checks.push_back(ms);
        stalls.push_back(worst);
        owns.push_back(worstOwn);
    }
    std::printf("figure watch_requests %d\n", requests);
    std::printf("figure watch_check_median %.1f\nfigure watch_check_worst %.1f\n", Median(checks),
                *std::max_element(checks.begin(), checks.end()));
    std::printf("figure watch_stall_median %.2f\nfigure watch_stall_worst %.2f\n", Median(stalls),
                *std::max_element(stalls.begin(), stalls.end()));
    std::printf("figure watch_stall_own_worst %.2f\n", *std::max_element(owns.begin(), owns.end()));
    return 0;
}
