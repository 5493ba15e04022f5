// Timing of a results view against the local marketplace server with added latency: from the
// answer's arrival to the tiles laid out, from there to every picture shown (compared with the
// sum of the single transfers), and the longest stall of the GUI thread while pictures load.
//
//   bench_results [--latency-ms N] [--runs N] [--keyword UTF8]
#include "market/Endpoints.h"
#include "market/Gbk.h"
#include "market/HttpClient.h"
#include "market/SearchUrl.h"
#include "market/TBRecord.h"
#include "results/CLumbra2View.h"
#include "results/CTBItemWnd.h"
#include "results/IResultsDocument.h"
#include "results/ResultsHost.h"
#include "tests/support/MarketServerProcess.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

class BenchDocument : public IResultsDocument {
public:
    explicit BenchDocument(std::string address) { m_data.m_strAddress = std::move(address); }
    const yfx::ResultsDocData& DocData() const override { return m_data; }
    QString GetTitle() const override { return m_title; }
    void SetTitle(const QString& title) override { m_title = title; }

private:
    yfx::ResultsDocData m_data;
    QString m_title = QStringLiteral("自助搜索 - 销量");
};

struct Run {
    int tiles = 0;
    double fetchMs = 0;        // OnInitialUpdate start -> answer read
    double layoutMs = 0;       // answer read -> every tile laid out (LoadResults returned)
    double paintedMs = 0;      // answer read -> first frame with every tile painted
    double picturesMs = 0;     // answer read -> every picture shown
    double longestStallMs = 0; // longest gap between 1 ms timer ticks while pictures load
};

bool AllPicturesShown(const CLumbra2View& view)
{
    for (CTBItemWnd* tile : view.Tiles())
        if (tile->PictureControl().m_image.isNull())
            return false;
    return true;
}

void ClearFolder(const QString& folder)
{
    QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden))
        dir.remove(name);
}

// One view of `height` pixels; `allInSight`: tall enough for every tile of a 40-item page
// to be in sight, so that the run ends when every picture is drawn (otherwise it ends when
// the worker has fetched every picture and the tiles in sight are drawn).
Run OneView(const std::string& address, const QString& folder, int height, bool allInSight)
{
    ClearFolder(folder);
    Run run;
    BenchDocument doc(address);
    CLumbra2View view(&doc);
    view.resize(917, height);
    view.show();
    QApplication::processEvents();

    Clock::time_point answer{};
    QObject::connect(&view, &CLumbra2View::answerLoaded, [&] { answer = Clock::now(); });

    const auto start = Clock::now();
    view.OnInitialUpdate();
    const auto laidOut = Clock::now();
    run.tiles = static_cast<int>(view.Tiles().size());
    run.fetchMs = Ms(answer - start);
    run.layoutMs = Ms(laidOut - answer);
    view.repaint(); // the first frame with every tile and its texts
    run.paintedMs = Ms(Clock::now() - answer);

    // The GUI thread's longest stall while the pictures arrive: a 1 ms timer notes its gaps.
    Clock::time_point lastTick = Clock::now();
    double longest = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        longest = std::max(longest, Ms(now - lastTick));
        lastTick = now;
    });
    ticker.start(1);

    const auto deadline = Clock::now() + std::chrono::seconds(120);
    while ((view.PicturesLoading() || (allInSight && !AllPicturesShown(view))) && Clock::now() < deadline)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    run.picturesMs = Ms(Clock::now() - answer);
    ticker.stop();
    run.longestStallMs = longest;
    if (allInSight && !AllPicturesShown(view))
        std::printf("warning: not every picture arrived within 120 s\n");
    return run;
}

// Each picture of the answer fetched alone, on a connection of its own, one after another.
double SumOfSingleTransfers(const std::string& address, const QString& folder, int& count)
{
    std::vector<CTBRecord> records;
    if (!LoadItemList(address, records))
        return -1;
    ClearFolder(folder);
    const std::string dir = QFile::encodeName(folder).toStdString() + "/";
    double total = 0;
    count = 0;
    for (const CTBRecord& r : records) {
        if (r.thumbFileName.empty())
            continue;
        CHttpSession session;
        const auto t0 = Clock::now();
        HttpGetFile(session, r.thumbUrl, dir + r.thumbFileName);
        total += Ms(Clock::now() - t0);
        ++count;
    }
    return total;
}

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    int latency = 20;
    int runs = 5;
    std::string keyword = "手机";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--latency-ms"))
            latency = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--runs"))
            runs = std::max(1, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--keyword"))
            keyword = argv[i + 1];
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    yfx::test::MarketServerProcess server({"--latency-ms", std::to_string(latency)});
    if (!server.Started()) {
        std::fprintf(stderr, "market server did not start: %s\n", server.Error().c_str());
        return 1;
    }
    yfx::SetEndpointServer(server.BaseUrl());
    QTemporaryDir folder;
    SetPictureFolder(QFile::encodeName(folder.path()).toStdString() + "/");

    SearchQuery query;
    query.keyword = yfx::Utf8ToGbk(keyword);
    const std::string address = BuildSearchUrl(query);

    std::printf("results view benchmark: market server with %d ms added per request, %d runs, median\n",
                latency, runs);
    std::vector<double> fetch, layout, painted, pictures, stall, singles, windowStall;
    int tiles = 0;
    int transfers = 0;
    for (int i = 0; i < runs; ++i) {
        const Run r = OneView(address, folder.path(), 14 * 300, true);
        windowStall.push_back(OneView(address, folder.path(), 700, false).longestStallMs);
        tiles = r.tiles;
        fetch.push_back(r.fetchMs);
        layout.push_back(r.layoutMs);
        painted.push_back(r.paintedMs);
        pictures.push_back(r.picturesMs);
        stall.push_back(r.longestStallMs);
        singles.push_back(SumOfSingleTransfers(address, folder.path(), transfers));
    }
    const double sum = Median(singles);
    std::printf("tiles                                   %d\n", tiles);
    std::printf("answer fetch (GUI thread, for context)  %8.1f ms\n", Median(fetch));
    std::printf("answer -> all tiles laid out            %8.1f ms\n", Median(layout));
    std::printf("answer -> first frame painted           %8.1f ms\n", Median(painted));
    std::printf("answer -> all %2d pictures shown         %8.1f ms\n", tiles, Median(pictures));
    std::printf("sum of %2d single transfers              %8.1f ms\n", transfers, sum);
    std::printf("pictures shown / sum of transfers       %8.2f\n", sum > 0 ? Median(pictures) / sum : 0.0);
    std::printf("longest GUI-thread stall while loading  %8.1f ms\n", Median(stall));
    std::printf("longest GUI-thread stall, worst run     %8.1f ms\n",
                *std::max_element(stall.begin(), stall.end()));
    std::printf("same in a 917 x 700 window (median)     %8.1f ms\n", Median(windowStall));
    std::printf("same in a 917 x 700 window (worst run)  %8.1f ms\n",
                *std::max_element(windowStall.begin(), windowStall.end()));
    return 0;
}
