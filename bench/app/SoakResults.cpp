// Soak: the main frame opens results windows one after the other against the local marketplace
// server, as a user would (OpenResults, every picture loaded and painted, then the tab closed),
// and resident memory is followed from the first window to the last. Meant to run under
// AddressSanitizer, whose leak check at exit then covers everything the windows left behind;
// it also runs in a plain build, where the memory figures are the program's own.
//
//   bench_soak [--windows N] [--same]     (default 200; --same: one search for every window)
//
// Exit status 0 when the last figure is within 5 % of the one after the first window.
#include "bench/support/BenchSupport.h"
#include "app/CChildFrame.h"
#include "app/CLumbra2App.h"
#include "app/CMainFrame.h"
#include "market/Endpoints.h"
#include "market/Gbk.h"
#include "market/SearchUrl.h"
#include "results/CLumbra2View.h"
#include "results/CTBItemWnd.h"
#include "tests/support/MarketServerProcess.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTemporaryDir>

#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define YFX_SOAK_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define YFX_SOAK_ASAN 1
#endif

#ifdef YFX_SOAK_ASAN
// No quarantine: freed memory held back for use-after-free checks would fill up over the first
// hundred windows and read as growth (the sanitizer test runs look for use after free). And
// allocation stacks of two frames, because the frame-pointer unwinder cannot walk Debian's Qt
// and C++ libraries further and every garbage stack would stay in the sanitizer's depot. The
// leak check is unaffected. ASAN_OPTIONS still come on top.
extern "C" const char* __asan_default_options()
{
    return "quarantine_size_mb=0:thread_local_quarantine_size_kb=0:malloc_context_size=2";
}
#endif

namespace {

template <typename Predicate>
bool WaitFor(Predicate done, std::chrono::seconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
    return true;
}

// Bytes the allocator has handed out and not had back (glibc's allocator; -1 under a
// sanitizer's, which does not say).
double HeapInUseMb()
{
#if defined(__GLIBC__) && !defined(YFX_SOAK_ASAN)
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
#else
    return -1;
#endif
}

} // namespace

int main(int argc, char** argv)
{
    int windows = 200;
    bool same = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--windows") && i + 1 < argc)
            windows = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--same"))
            same = true;
    }

    QTemporaryDir home; // the picture folder and the settings live here, not in the user's
    qputenv("XDG_RUNTIME_DIR", home.path().toUtf8());
    qputenv("XDG_CACHE_HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_DIRS", (home.path() + QStringLiteral("/xdg")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home.path() + QStringLiteral("/cache")).toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    yfx::test::MarketServerProcess server({"--seed", "11", "--threads", "8"});
    if (!server.Started()) {
        std::fprintf(stderr, "market server did not start: %s\n", server.Error().c_str());
        return 2;
    }
    yfx::SetEndpointServer(server.BaseUrl());

    int status = 0;
    {
        CLumbra2App app(argc, argv);
        if (!app.InitInstance(0) || !app.MainFrame()) {
            std::fprintf(stderr, "the main frame did not start\n");
            return 2;
        }
        CMainFrame* frame = app.MainFrame();
        yfx::bench::Settle(10);
        const double started = yfx::bench::RssMb();

        // Searches that give full pages of different items (and so different pictures).
        const char* const keywords[] = {"手机", "连衣裙", "包邮", "男装", "鞋", "奶粉", "大米", "牙膏", "耳机", "沙发"};
        const char* const markets[] = {"", "/market/nvzhuang.htm", "/market/shuma.htm", "/market/shipin.htm"};
        std::vector<double> rss;
        QElapsedTimer clock;
        clock.start();
        int tiles = 0, pictures = 0;
        double heapFirst = 0;
        for (int i = 0; i < windows; ++i) {
            SearchQuery q;
            q.cat = "0";
            if (!same) {
                q.path = markets[i / 10 % 4];
                if (i % 3)
                    q.keyword = yfx::Utf8ToGbk(keywords[i % 10]);
            }
            QPointer<QWidget> child = frame->OpenResults(BuildSearchUrl(q), QStringLiteral("自助搜索"), i % 2);
            auto* results = qobject_cast<CChildFrame*>(child.data());
            if (!results) {
                std::fprintf(stderr, "window %d did not open\n", i + 1);
                return 2;
            }
            CLumbra2View* view = results->View();
            if (!WaitFor([&] { return !view->IsLoading() && !view->PicturesLoading(); }, std::chrono::seconds(120))) {
                std::fprintf(stderr, "window %d: pictures did not arrive\n", i + 1);
                return 2;
            }
            // Every row scrolled into sight and its tile painted once, so that every picture is
            // decoded (on the picture pool; the view binds its tiles to the rows near the viewport).
            for (int row = 0; row < view->ItemCount(); ++row) {
                view->EnsureRowVisible(row);
                WaitFor([&] { return !view->MakingTiles() && !view->PicturesLoading(); }, std::chrono::seconds(30));
                CTBItemWnd* tile = view->TileForRow(row);
                if (!tile)
                    continue;
                tile->PictureControl().repaint();
                WaitFor([&] { return !tile->PictureControl().Decoding(); }, std::chrono::seconds(20));
                pictures += !tile->PictureControl().m_image.isNull();
                ++tiles;
            }
            child->close(); // the tab's close button
            if (!WaitFor(
                    [&] {
                        // outside an event loop of its own, deleteLater needs a nudge
                        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
                        return child.isNull();
                    },
                    std::chrono::seconds(10))) {
                std::fprintf(stderr, "window %d did not close\n", i + 1);
                return 2;
            }
            yfx::bench::Settle(10);
            rss.push_back(yfx::bench::RssMb());
            if (i == 0)
                heapFirst = HeapInUseMb();
            if (i == 0 || (i + 1) % 20 == 0) {
                std::printf("after window %3d: RSS %7.1f MB (%+.1f MB since the first)", i + 1, rss.back(),
                            rss.back() - rss.front());
                if (heapFirst >= 0)
                    std::printf(", heap in use %+.2f MB", HeapInUseMb() - heapFirst);
                std::printf("\n");
            }
        }
        const double first = rss.front(), last = rss.back();
        const double growth = (last - first) / first * 100.0;
        std::printf("main frame started: %.1f MB; after the first window: %.1f MB; after window %d: %.1f MB "
                    "(%+.2f %%); highest %.1f MB\n",
                    started, first, windows, last, growth, *std::max_element(rss.begin(), rss.end()));
        std::printf("%d windows, %d tiles, %d pictures decoded, %.1f s\n", windows, tiles, pictures,
                    static_cast<double>(clock.elapsed()) / 1000.0);
        status = growth <= 5.0 ? 0 : 1;
        if (status)
            std::printf("RSS grew by more than 5 %%\n");
        frame->close();
        yfx::bench::Settle(10);
    }
    return status;
}
