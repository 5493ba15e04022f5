// Resident memory of a results window of 40 tiles against the local marketplace server, with
// its ordinary 220 x 220 thumbnails and with pictures of EDGE x EDGE pixels in every tile (PNGs,
// or JPEGs): once the pictures near the part in sight are decoded, after every tile has been
// scrolled into sight and painted, the highest it reached meanwhile, and after the window has
// closed; and the longest paint of a tile's picture.
//
//   bench_picture_memory [--edge N] [--format png|jpeg] [--height PIXELS]
//
// A warm-up window is opened and closed first, so that what is loaded once per process (fonts,
// image plugins, badge pictures) is not counted against the windows measured. The last lines
// are "figure KEY VALUE" for bench/run.
#include "bench/support/BenchSupport.h"
#include "market/Endpoints.h"
#include "market/SearchUrl.h"
#include "results/CLumbra2View.h"
#include "results/CTBItemWnd.h"
#include "results/IResultsDocument.h"
#include "results/ResultsHost.h"
#include "tests/support/MarketServerProcess.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

struct Figures {
    int tiles = 0;
    int decoded = 0;
    double before = 0, firstPaint = 0, allPainted = 0, peak = 0, closed = 0;
    double longestPaintMs = 0;
};

// The highest resident memory since the last ResetPeak, in MB (VmHWM).
double PeakMb()
{
    double kb = 0;
    if (FILE* f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, f))
            if (std::sscanf(line, "VmHWM: %lf kB", &kb) == 1)
                break;
        std::fclose(f);
    }
    return kb / 1024.0;
}

void ResetPeak()
{
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

// Events until the tile's picture control has no decoding under way.
void WaitForPicture(CTBItemWnd* tile, std::chrono::steady_clock::time_point deadline)
{
    while (tile->PictureControl().Decoding() && std::chrono::steady_clock::now() < deadline)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
}

Figures OneWindow(const std::string& address, int height, const QString& folder)
{
    QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden))
        dir.remove(name);
    Figures f;
    yfx::bench::Settle(5);
    f.before = yfx::bench::RssMb();
    ResetPeak();
    {
        yfx::bench::BenchDocument doc(address);
        CLumbra2View view(&doc);
        view.resize(917, height);
        view.show();
        QApplication::processEvents();
        view.OnInitialUpdate();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(600);
        while (view.IsLoading() && std::chrono::steady_clock::now() < deadline)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        f.tiles = static_cast<int>(view.Tiles().size());
        while (view.PicturesLoading() && std::chrono::steady_clock::now() < deadline)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        yfx::bench::Settle(5);
        f.firstPaint = yfx::bench::RssMb();
        // Every row into sight and its tile painted, one after the other, as a user scrolling
        // down (the view binds its tiles to the rows near the viewport as it scrolls).
        for (int row = 0; row < view.ItemCount(); ++row) {
            view.EnsureRowVisible(row);
            while ((view.MakingTiles() || view.PicturesLoading()) && std::chrono::steady_clock::now() < deadline)
                QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
            CTBItemWnd* tile = view.TileForRow(row);
            if (!tile)
                continue;
            QElapsedTimer t;
            t.start();
            tile->PictureControl().repaint();
            f.longestPaintMs = std::max(f.longestPaintMs, static_cast<double>(t.nsecsElapsed()) / 1e6);
            QApplication::processEvents();
            WaitForPicture(tile, deadline); // decoded on the picture pool, painted when it comes
            f.decoded += !tile->PictureControl().m_image.isNull();
        }
        yfx::bench::Settle(5);
        f.allPainted = yfx::bench::RssMb();
        f.peak = PeakMb();
    }
    yfx::bench::Settle(5);
    f.closed = yfx::bench::RssMb();
    return f;
}

void Print(const char* name, const Figures& f)
{
    std::printf("%-26s %5d %7d %9.1f %9.1f %9.1f %9.1f %9.1f %9.1f\n", name, f.tiles, f.decoded, f.before,
                f.firstPaint - f.before, f.allPainted - f.before, f.peak - f.before, f.closed - f.before,
                f.longestPaintMs);
}

} // namespace

int main(int argc, char** argv)
{
    int edge = 4000;
    int height = 700;
    std::string format = "png";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--edge"))
            edge = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--height"))
            height = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--format"))
            format = argv[i + 1];
    }
    if (!std::getenv("DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    QTemporaryDir folder;
    SetPictureFolder(QFile::encodeName(folder.path()).toStdString() + "/");

    const std::string huge = (format == "png" ? "huge-png:" : "huge-picture:") + std::to_string(edge);
    yfx::test::MarketServerProcess ordinary({"--seed", "7"});
    yfx::test::MarketServerProcess large({"--seed", "7", "--fault", "/bao/*=" + huge, "--fault", "/imgextra/*=" + huge});
    if (!ordinary.Started() || !large.Started()) {
        std::fprintf(stderr, "market server did not start: %s%s\n", ordinary.Error().c_str(), large.Error().c_str());
        return 1;
    }
    SearchQuery q;
    q.cat = "0";
    yfx::SetEndpointServer(ordinary.BaseUrl());
    const std::string ordinaryList = BuildSearchUrl(q);
    yfx::SetEndpointServer(large.BaseUrl());
    const std::string largeList = BuildSearchUrl(q);

    std::printf("RSS in MB of one results window (917 x %d), relative to before it opened\n", height);
    std::printf("%-26s %5s %7s %9s %9s %9s %9s %9s %9s\n", "pictures", "tiles", "decoded", "base", "1st paint",
                "all 40", "peak", "closed", "paint ms");
    yfx::SetEndpointServer(ordinary.BaseUrl());
    Print("warm-up (220 x 220)", OneWindow(ordinaryList, height, folder.path()));
    Print("ordinary (220 x 220)", OneWindow(ordinaryList, height, folder.path()));
    yfx::SetEndpointServer(large.BaseUrl());
    const std::string label = "huge " + format + " (" + std::to_string(edge) + " x " + std::to_string(edge) + ")";
    Print(label.c_str(), OneWindow(largeList, height, folder.path()));
    const Figures measured = OneWindow(largeList, height, folder.path());
    Print(label.c_str(), measured);
    yfx::SetEndpointServer(ordinary.BaseUrl());
    Print("ordinary again", OneWindow(ordinaryList, height, folder.path()));
    std::printf("figure picture_memory_tiles %d\nfigure picture_memory_decoded %d\n", measured.tiles, measured.decoded);
    std::printf("figure picture_memory_all %.1f\nfigure picture_memory_peak %.1f\n", measured.allPainted - measured.before,
                measured.peak - measured.before);
    return 0;
}
