// The local marketplace server: see ServerOptions.cpp (--help) for what it serves.
#include <QGuiApplication>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <pthread.h>
#include <thread>

#include "tools/market-server/Catalogue.h"
#include "tools/market-server/MarketServer.h"
#include "tools/market-server/PictureFactory.h"
#include "tools/market-server/RequestLog.h"
#include "tools/market-server/ServerOptions.h"

using namespace yfx::server;

int main(int argc, char** argv)
{
    ServerOptions options;
    std::string error;
    switch (ParseServerOptions(argc, argv, options, error)) {
    case ParseOutcome::Help:
        std::fputs(ServerHelpText().c_str(), stdout);
        return 0;
    case ParseOutcome::Error:
        std::fprintf(stderr, "market-server: %s\n", error.c_str());
        return 2;
    case ParseOutcome::Run:
        break;
    }

    // SIGINT and SIGTERM are taken by one thread that stops the server; every other thread
    // (the pool's included, created later) inherits the blocked mask.
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    // Pictures are drawn off screen; the platform must be set before the application exists.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    char qtName[] = "market-server";
    char* qtArgv[] = {qtName, nullptr};
    QGuiApplication app(qtArgc, qtArgv);

    const Catalogue catalogue = Catalogue::Generate(options.seed, options.items);
    RequestLog log;
    if (!options.logPath.empty() && !log.Open(options.logPath, error)) {
        std::fprintf(stderr, "market-server: %s\n", error.c_str());
        return 1;
    }
    PictureFactory pictures(catalogue, std::size_t{128} << 20, options.pictureVersion);
    MarketServer server(options, catalogue, pictures, log);
    const int port = server.Bind(options.port);
    if (port <= 0) {
        std::fprintf(stderr, "market-server: cannot listen on 127.0.0.1:%d\n", options.port);
        return 1;
    }
    std::printf("listening on http://127.0.0.1:%d\n", port);
    std::fflush(stdout);

    std::atomic<bool> listenEnded{false};
    std::thread signalThread([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        if (!listenEnded)
            server.Stop();
    });
    // Loading the font database takes a moment: do it now, off the serving threads' path.
    std::thread warmUp([&] { pictures.Jpeg(catalogue.Items()[catalogue.SalesOrder().front()], 64); });

    const bool served = server.Listen();
    listenEnded = true;
    pthread_kill(signalThread.native_handle(), SIGTERM); // wakes sigwait when Listen ended by itself
    signalThread.join();
    warmUp.join();
    return served ? 0 : 1;
}
