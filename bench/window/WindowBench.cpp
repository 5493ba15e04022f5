// How the window behaves while the network is slow, measured on the real program against the
// local marketplace server (tools/market-server) with added latency and injected stalls.
//
//   bench_window stalls   [--runs N]
//       The whole main window (CLumbra2App, CMainFrame) in this process. A search is typed and
//       Enter pressed while the list answer comes at once, in 3 s or never (the server stalls);
//       "清除" is clicked while it waits and the tab is closed. Then a tile is clicked (twice)
//       while the gateway answers or stalls. Prints Enter -> new tab painted, and the GUI thread's longest
//       stall (the longest gap between the ticks of a 1 ms timer).
//   bench_window startup  [--runs N]
//       Fresh processes: a bare Qt main window; the same with the application object, then with
//       the frame's Chinese texts (where the program's extra time goes); the program against a
//       server that answers (its documents kept from the warm-up start), one whose two start-up
//       documents stall and one that is gone. Prints process start -> main window shown, split
//       into the window built and then shown, and each against the bare window.
//   bench_window pictures [--server URL | --latency-ms N] [--runs N] [--page FILE]
//       A results view tall enough for its 40 tiles: from the answer's arrival to the 40th
//       picture painted. --page writes an HTML page listing the same 40 picture addresses
//       (what bench/pictures-vs-chromium loads in Chromium).
//   bench_window scroll   [--runs N] [--latency-ms N]
//       A results view of 917 x 700 on a search of the whole catalogue, scrolled from top to
//       bottom at 120 pixels a frame (a 16 ms frame) through fifteen pages, 600 items: the
//       GUI thread's longest stall from the first answer on, the time of every frame (the
//       scroll step, its paint and whatever else the turn ran), each next page's answer ->
//       its rows painted, the tile widgets made, and the resident memory above the idle
//       process at the end.
//   bench_window finder   [--runs N]
//       The search pane's "搜索更多当前浏览的商品" while Firefox's session file is 60 MB (a
//       long-running browser with tens of thousands of tabs) and no Chromium-family browser
//       listens: the GUI thread's longest stall from the press until the pages are read, and
//       how long the read takes (what the GUI thread stalled when it read them itself).
//
// Every mode prints a readable table and, for bench/run, lines "figure KEY VALUE" (ms).
// Uses the offscreen platform unless DISPLAY is set.
#include "bench/support/BenchSupport.h"
#include "app/CChildFrame.h"
#include "app/CLumbra2App.h"
#include "results/CPriceMemory.h"
#include "app/CMainFrame.h"
#include "market/Endpoints.h"
#include "market/Gbk.h"
#include "market/NetEngine.h"
#include "market/SearchUrl.h"
#include "market/TBRecord.h"
#include "panes/CLumbraWnd.h"
#include "panes/finder/BrowserPages.h"
#include "panes/finder/ItemPageRules.h"
#include "res/GbkText.h"
#include "results/CLumbra2View.h"
#include "results/CMoreRow.h"
#include "results/ResultsHost.h"
#include "results/CTBItemWnd.h"
#include "results/IResultsDocument.h"
#include "results/UrlOpener.h"
#include "tests/panes/finder/SessionFiles.h"
#include "tests/support/MarketServerProcess.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

double NowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double ThreadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double Median(std::vector<double> v)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double Worst(const std::vector<double>& v)
{
    return v.empty() ? -1 : *std::max_element(v.begin(), v.end());
}

void Figure(const std::string& key, double value)
{
    std::printf("figure %s %.1f\n", key.c_str(), value);
}

// The platform plugin the children use or this process uses.
std::string PlatformName()
{
    if (qApp)
        return QGuiApplication::platformName().toStdString();
    return std::getenv("DISPLAY") ? "xcb" : "offscreen";
}

double LoadAverage()
{
    double one = 0;
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &one) != 1)
            one = 0;
        std::fclose(f);
    }
    return one;
}

// Runs the event loop (never sleeping outside it) until `done` holds or `timeoutMs` passes.
bool SpinUntil(const std::function<bool()>& done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    poll.start(1);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

void Spin(int ms)
{
    SpinUntil([] { return false; }, ms);
}

// Time this thread has waited, runnable, for a processor (the kernel's schedstat), in ms;
// -1 when the kernel does not say.
double ThreadQueuedMs()
{
    std::ifstream in("/proc/thread-self/schedstat");
    unsigned long long running = 0;
    unsigned long long waiting = 0;
    if (!(in >> running >> waiting))
        return -1;
    return waiting / 1e6;
}

// The GUI thread's longest stall: a 1 ms timer notes the gaps between its ticks. A gap is
// booked to the phase current when it ends; with it go the CPU time the thread used in it and
// the time it waited, ready to run, for a processor that other programs held (on a busy
// machine a gap can be long with the program doing nothing: then the queued time says so).
class StallMeter {
public:
    StallMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
    }
    void Start(const std::string& phase)
    {
        m_phase = phase;
        m_gaps.clear();
        m_lastWall = NowMs();
        m_lastCpu = ThreadCpuMs();
        m_lastQueued = ThreadQueuedMs();
        m_timer.start(1);
    }
    void SetPhase(const std::string& phase)
    {
        m_phase = phase;
    }
    void Stop()
    {
        Tick();
        m_timer.stop();
    }
    struct Gap {
        double wallMs = 0;
        double cpuMs = 0;    // the GUI thread on a processor
        double queuedMs = 0; // the GUI thread ready but waiting for a processor
    };
    // The longest gap of a phase (zero when the phase saw no tick).
    Gap Longest(const std::string& phase) const
    {
        auto it = m_gaps.find(phase);
        return it == m_gaps.end() ? Gap{} : it->second;
    }
    Gap LongestOverall() const
    {
        Gap g;
        for (const auto& [phase, gap] : m_gaps)
            if (gap.wallMs > g.wallMs)
                g = gap;
        return g;
    }

private:
    void Tick()
    {
        const double wall = NowMs();
        const double cpu = ThreadCpuMs();
        const double queued = ThreadQueuedMs();
        Gap& longest = m_gaps[m_phase];
        if (wall - m_lastWall > longest.wallMs)
            longest = Gap{wall - m_lastWall, cpu - m_lastCpu, queued - m_lastQueued};
        m_lastWall = wall;
        m_lastCpu = cpu;
        m_lastQueued = queued;
    }

    QTimer m_timer;
    std::string m_phase;
    std::map<std::string, Gap> m_gaps;
    double m_lastWall = 0;
    double m_lastCpu = 0;
    double m_lastQueued = 0;
};

// The longest gap of each of several runs: "median / worst (cpu C, queued Q)", the bracket
// for the worst run's gap.
const StallMeter::Gap& WorstGap(const std::vector<StallMeter::Gap>& gaps)
{
    return *std::max_element(gaps.begin(), gaps.end(),
                             [](const StallMeter::Gap& a, const StallMeter::Gap& b) { return a.wallMs < b.wallMs; });
}

std::vector<double> Walls(const std::vector<StallMeter::Gap>& gaps)
{
    std::vector<double> walls;
    for (const StallMeter::Gap& g : gaps)
        walls.push_back(g.wallMs);
    return walls;
}

std::string GapText(const std::vector<StallMeter::Gap>& gaps)
{
    if (gaps.empty())
        return "-";
    const StallMeter::Gap& worst = WorstGap(gaps);
    char text[96];
    std::snprintf(text, sizeof text, "%.1f / %.1f (%.1f, %.1f)", Median(Walls(gaps)), worst.wallMs, worst.cpuMs,
                  worst.queuedMs);
    return text;
}

// KEY_median, KEY_worst, and KEY_worst_own: the worst gap less the time the thread waited for
// a processor that other programs held.
void GapFigures(const std::string& key, const std::vector<StallMeter::Gap>& gaps)
{
    if (gaps.empty())
        return;
    Figure(key + "_median", Median(Walls(gaps)));
    Figure(key + "_worst", WorstGap(gaps).wallMs);
    double own = 0;
    for (const StallMeter::Gap& g : gaps)
        own = std::max(own, g.wallMs - std::max(0.0, g.queuedMs));
    Figure(key + "_worst_own", own);
}

// Notes the first paint of any part of a results view that did not exist when it was armed,
// with the view's grey text at that moment.
class FirstViewPaint : public QObject {
public:
    void Arm(const QList<CChildFrame*>& existing)
    {
        m_known.clear();
        for (CChildFrame* child : existing)
            m_known.insert(child->View());
        m_timeMs = -1;
        m_statusText.clear();
        qApp->installEventFilter(this);
    }
    void Disarm() { qApp->removeEventFilter(this); }
    double TimeMs() const { return m_timeMs; }
    const QString& StatusText() const { return m_statusText; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Paint || m_timeMs >= 0 || !watched->isWidgetType())
            return false;
        for (QObject* o = watched; o; o = o->parent()) {
            if (auto* view = qobject_cast<CLumbra2View*>(o)) {
                if (!m_known.contains(view)) {
                    m_timeMs = NowMs();
                    m_statusText = view->StatusText();
                }
                break;
            }
        }
        return false;
    }

private:
    QSet<QObject*> m_known;
    double m_timeMs = -1;
    QString m_statusText;
};

// ---------------------------------------------------------------------------------------------
// stalls: the main window while answers stall

struct SearchRun {
    double enterToTabMs = -1;  // Enter -> first paint of the new tab's view
    bool loadingShown = false; // that paint showed "正在搜索…"
    StallMeter::Gap waiting;   // longest stall while the answer is awaited (Enter and 清除 included)
    StallMeter::Gap answer;    // longest stall from the answer's arrival on (tiles, pictures)
    double clearMs = -1;       // the 清除 click handled (fields empty) after
    bool cleared = false;
};

SearchRun OneSearch(CMainFrame* frame, int answerWaitMs)
{
    SearchRun run;
    CLumbraWnd* pane = frame->SearchPane();
    pane->m_editKeyword->setText(QStringLiteral("手机"));
    pane->m_editKeyword->setFocus();
    Spin(100);

    FirstViewPaint paint;
    paint.Arm(frame->ResultsWindows());
    StallMeter meter;
    meter.Start("waiting");
    Spin(50);
    const double enter = NowMs();
    QTest::keyClick(pane->m_editKeyword, Qt::Key_Return);
    QList<CChildFrame*> windows = frame->ResultsWindows();
    QPointer<CChildFrame> child = windows.isEmpty() ? nullptr : windows.last();
    if (!child) {
        meter.Stop();
        paint.Disarm();
        return run;
    }
    CLumbra2View* view = child->View();
    bool answered = !view->IsLoading();
    const QMetaObject::Connection watch = QObject::connect(view, &CLumbra2View::loadingChanged, view, [&](bool loading) {
        if (!loading) {
            answered = true;
            meter.SetPhase("answer");
        }
    });
    if (answered)
        meter.SetPhase("answer");
    SpinUntil([&] { return paint.TimeMs() >= 0; }, 5000);
    run.enterToTabMs = paint.TimeMs() >= 0 ? paint.TimeMs() - enter : -1;
    run.loadingShown = paint.StatusText() == QStringLiteral("正在搜索…");
    paint.Disarm();

    // while the answer is on the way the user clears the fields
    SpinUntil([&] { return NowMs() - enter >= 1000; }, 2000);
    pane->m_editKeyword->setText(QStringLiteral("手机"));
    const double click = NowMs();
    QTest::mouseClick(pane->m_btnClear, Qt::LeftButton);
    run.clearMs = NowMs() - click;
    run.cleared = pane->m_editKeyword->text().isEmpty();

    // the answer, when it comes, and its pictures
    SpinUntil([&] { return answered && child && !child->View()->PicturesLoading(); },
              std::max(0, answerWaitMs - static_cast<int>(NowMs() - enter)));
    Spin(200);
    if (child)
        child->close();
    SpinUntil([&] { return !child; }, 5000);
    if (child)
        QObject::disconnect(watch);
    Spin(200);
    meter.Stop();
    run.waiting = meter.Longest("waiting");
    run.answer = meter.Longest("answer");
    return run;
}

struct ClickRun {
    StallMeter::Gap longest;
    double clickToOpenMs = -1; // first click -> an address handed to the browser
    int opened = 0;            // addresses opened for two clicks on one tile
    bool busyCursor = false;   // the tile showed the busy cursor while waiting
    bool openedHref = false;   // the page opened is the record's own (no click address came)
};

ClickRun OneClick(CMainFrame* frame, int waitMs)
{
    ClickRun run;
    CChildFrame* child = frame->ResultsWindows().isEmpty() ? nullptr : frame->ResultsWindows().last();
    if (!child || child->View()->Tiles().empty())
        return run;
    CTBItemWnd* tile = child->View()->Tiles().front();
    std::vector<QString> opened;
    double openedAt = -1;
    yfx::SetUrlOpener([&](const QString& url) {
        if (openedAt < 0)
            openedAt = NowMs();
        opened.push_back(url);
    });
    const QPoint picture = tile->PictureControl().geometry().center();

    StallMeter meter;
    meter.Start("click");
    Spin(50);
    const double click = NowMs();
    QTest::mouseClick(tile, Qt::LeftButton, {}, picture);
    run.busyCursor = tile->ClickPending() && tile->cursor().shape() == Qt::BusyCursor;
    Spin(300);
    if (tile->ClickPending())
        QTest::mouseClick(tile, Qt::LeftButton, {}, picture); // a second click while it waits
    SpinUntil([&] { return openedAt >= 0; }, waitMs);
    Spin(300);
    meter.Stop();
    yfx::SetUrlOpener({});
    run.longest = meter.Longest("click");
    run.clickToOpenMs = openedAt >= 0 ? openedAt - click : -1;
    run.opened = static_cast<int>(opened.size());
    run.openedHref = !opened.empty() && opened.front() == yfx::QStringFromGbk(tile->Record().href());
    return run;
}

int RunStalls(int argc, char** argv, int runs)
{
    CLumbra2App app(argc, argv);
    yfx::test::MarketServerProcess normal;
    yfx::test::MarketServerProcess slow({"--latency-ms", "3000"});
    yfx::test::MarketServerProcess stalling({"--fault", "*=stall", "--threads", "256"});
    for (auto* s : {&normal, &slow, &stalling}) {
        if (!s->Started()) {
            std::fprintf(stderr, "market server did not start: %s\n", s->Error().c_str());
            return 1;
        }
    }
    yfx::SetEndpointServer(normal.BaseUrl());
    if (!app.InitInstance())
        return 1;
    CMainFrame* frame = app.MainFrame();
    if (!SpinUntil([&] { return frame->isVisible(); }, 10000) || !QTest::qWaitForWindowExposed(frame, 10000)) {
        std::fprintf(stderr, "the main window did not show\n");
        return 1;
    }
    std::printf("stalls: the main window (%s platform), %d runs each, load average %.1f, price memory %s\n",
                PlatformName().c_str(), runs, LoadAverage(),
                app.PriceMemory() && app.PriceMemory()->Available() ? "on" : "off");

    // one search first: what a program that has just started pays once (fonts, plugins)
    yfx::SetEndpointOverride(yfx::Endpoint::ListSearch, normal.BaseUrl());
    const SearchRun first = OneSearch(frame, 15000);
    std::printf("first search of the process (not counted): Enter -> tab %.1f ms, longest stall %.1f ms\n",
                first.enterToTabMs, std::max(first.waiting.wallMs, first.answer.wallMs));

    struct Case {
        const char* key;
        const char* name;
        const yfx::test::MarketServerProcess* server;
        int answerWaitMs;
    };
    const Case cases[] = {
        {"now", "answer at once", &normal, 15000},
        {"3s", "answer in 3 s", &slow, 5000},
        {"stall", "answer stalls", &stalling, 3000},
    };
    std::printf("\n%-15s %-15s %-7s %-36s %-36s %s\n", "search", "Enter->tab ms", "loading",
                "longest stall awaiting the answer ms", "longest stall from the answer on ms", "清除 ms");
    std::printf("%-15s %-15s %-7s %-36s %-36s %s\n", "", "median/worst", "shown", "median/worst (worst: cpu, queued)",
                "median/worst (worst: cpu, queued)", "worst");
    for (const Case& c : cases) {
        yfx::SetEndpointOverride(yfx::Endpoint::ListSearch, c.server->BaseUrl());
        std::vector<double> tab, clear;
        std::vector<StallMeter::Gap> waiting, answer;
        int loading = 0;
        int cleared = 0;
        for (int i = 0; i < runs; ++i) {
            const SearchRun r = OneSearch(frame, c.answerWaitMs);
            tab.push_back(r.enterToTabMs);
            loading += r.loadingShown;
            waiting.push_back(r.waiting);
            if (r.answer.wallMs > 0)
                answer.push_back(r.answer);
            clear.push_back(r.clearMs);
            cleared += r.cleared;
        }
        char tabText[64];
        std::snprintf(tabText, sizeof tabText, "%.1f / %.1f", Median(tab), Worst(tab));
        char loadingText[32];
        std::snprintf(loadingText, sizeof loadingText, "%d/%d", loading, runs);
        std::printf("%-15s %-15s %-7s %-36s %-36s %.1f%s\n", c.name, tabText, loadingText, GapText(waiting).c_str(),
                    answer.empty() ? "-" : GapText(answer).c_str(), Worst(clear),
                    cleared == runs ? "" : " (not cleared!)");
        Figure(std::string("enter_to_tab_") + c.key + "_median", Median(tab));
        Figure(std::string("enter_to_tab_") + c.key + "_worst", Worst(tab));
        GapFigures(std::string("search_stall_awaiting_") + c.key, waiting);
        if (!answer.empty())
            GapFigures(std::string("search_stall_answer_") + c.key, answer);
    }
    yfx::SetEndpointOverride(yfx::Endpoint::ListSearch, normal.BaseUrl());

    // tile clicks on a tab whose pictures are in; the gateway answers at once or stalls
    CLumbraWnd* pane = frame->SearchPane();
    pane->m_editKeyword->setText(QStringLiteral("手机"));
    pane->RunSearch(0);
    CChildFrame* tab = frame->ResultsWindows().last();
    if (!SpinUntil([&] { return !tab->View()->IsLoading() && !tab->View()->PicturesLoading(); }, 30000) ||
        tab->View()->Tiles().empty()) {
        std::fprintf(stderr, "the results tab for the clicks did not fill\n");
        return 1;
    }
    const struct {
        const char* key;
        const char* name;
        const yfx::test::MarketServerProcess* server;
    } clicks[] = {
        {"now", "gateway answers", &normal},
        {"stall", "gateway stalls", &stalling},
    };
    std::printf("\n%-15s %-15s %-36s %-13s %s\n", "tile click", "click->open ms", "longest stall ms",
                "pages opened", "busy cursor");
    std::printf("%-15s %-15s %-36s %-13s %s\n", "(twice)", "median", "median/worst (worst: cpu, queued)",
                "for 2 clicks", "");
    for (const auto& c : clicks) {
        yfx::SetEndpointOverride(yfx::Endpoint::Gateway, c.server->BaseUrl());
        std::vector<double> open;
        std::vector<StallMeter::Gap> stall;
        int onePage = 0;
        int busy = 0;
        int href = 0;
        for (int i = 0; i < runs; ++i) {
            const ClickRun r = OneClick(frame, CTBItemWnd::kClickWaitMs + 2000);
            open.push_back(r.clickToOpenMs);
            stall.push_back(r.longest);
            onePage += r.opened == 1;
            busy += r.busyCursor;
            href += r.openedHref;
        }
        char openText[32];
        std::snprintf(openText, sizeof openText, "%.1f", Median(open));
        char pagesText[32];
        std::snprintf(pagesText, sizeof pagesText, "1 in %d/%d", onePage, runs);
        std::printf("%-15s %-15s %-36s %-13s %d/%d%s\n", c.name, openText, GapText(stall).c_str(), pagesText, busy,
                    runs, href == runs ? "  (opened the item's own page)" : "  (opened the click address)");
        Figure(std::string("click_to_open_") + c.key + "_median", Median(open));
        GapFigures(std::string("click_stall_") + c.key, stall);
    }
    yfx::SetEndpointOverride(yfx::Endpoint::Gateway, std::string());
    tab->close();
    Spin(100);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// startup: process start -> main window shown, in fresh processes

// The children: what each builds before its window is shown.
enum class StartChild {
    Bare,      // QApplication and an empty QMainWindow of the frame's size
    AppObject, // the application object (Qt's Chinese catalogue, look, icon) and the empty window
    AppText,   // the same with the frame's Chinese texts in it (the CJK font is loaded)
    Program,   // the whole program (CLumbra2App::InitInstance)
};

const char* ChildMode(StartChild c)
{
    switch (c) {
    case StartChild::Bare:
        return "--child-bare";
    case StartChild::AppObject:
        return "--child-app-object";
    case StartChild::AppText:
        return "--child-app-text";
    case StartChild::Program:
        return "--child-app";
    }
    return "";
}

// Child side: builds what `child` names, shows the window and prints "<built> <exposed>", the
// moments (CLOCK_MONOTONIC, ms) the window was built and first exposed.
int RunStartupChild(int argc, char** argv, StartChild child)
{
    auto finish = [](QWidget* window, double built) {
        if (!QTest::qWaitForWindowExposed(window, 20000))
            return 1;
        std::printf("%.3f %.3f\n", built, NowMs());
        return 0;
    };
    if (child == StartChild::Bare) {
        QApplication app(argc, argv);
        QMainWindow window;
        window.resize(CMainFrame::kWidth, CMainFrame::kHeight);
        window.show();
        return finish(&window, NowMs());
    }
    CLumbra2App app(argc, argv);
    if (child == StartChild::Program) {
        if (!app.InitInstance())
            return 1;
        const double built = NowMs();
        if (!SpinUntil([&] { return app.MainFrame() && app.MainFrame()->isVisible(); }, 20000))
            return 1;
        return finish(app.MainFrame(), built);
    }
    QMainWindow window;
    window.setWindowIcon(app.windowIcon());
    window.setFixedSize(CMainFrame::kWidth, CMainFrame::kHeight);
    if (child == StartChild::AppText) {
        // the frame's first screen of text: title, the search pane's captions, the pages, the status bar
        auto* text = new QLabel(QStringLiteral("悦丰选网购助手\n自助搜索 热卖排行 悦丰选今日推荐\n关键字： 价格： 物流： 排除：\n"
                                               "搜索更多当前浏览的商品 按销量排序 按价格排序 清除 搜索 就绪"),
                                &window);
        window.setCentralWidget(text);
    }
    window.show();
    return finish(&window, NowMs());
}

struct StartTimes {
    double built = -1;   // process start -> window built
    double exposed = -1; // process start -> window exposed
};

// Parent side: one start of the child with `env` added to this process's environment (a
// variable named there replaces this process's).
StartTimes TimeOneStart(const char* self, StartChild child, const std::vector<std::string>& extraEnv)
{
    int out[2];
    if (pipe(out) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('=') + 1);
        if (std::none_of(extraEnv.begin(), extraEnv.end(), [&](const std::string& x) { return x.rfind(name, 0) == 0; }))
            env.push_back(entry);
    }
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp;
    for (auto& s : env)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    char* args[] = {const_cast<char*>(self), const_cast<char*>(ChildMode(child)), nullptr};
    pid_t pid = -1;
    const double start = NowMs();
    const int rc = posix_spawn(&pid, self, &actions, nullptr, args, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) {
        close(out[0]);
        return {};
    }
    std::string text;
    char buf[128];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<size_t>(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    double built = 0, exposed = 0;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || std::sscanf(text.c_str(), "%lf %lf", &built, &exposed) != 2)
        return {};
    return {built - start, exposed - start};
}

int RunStartup(const char* self, int runs)
{
    yfx::test::MarketServerProcess normal;
    yfx::test::MarketServerProcess stalling(
        {"--fault", "/set/config.jpg=stall", "--fault", "/set/tbcat.jpg=stall", "--threads", "64"});
    for (auto* s : {&normal, &stalling}) {
        if (!s->Started()) {
            std::fprintf(stderr, "market server did not start: %s\n", s->Error().c_str());
            return 1;
        }
    }
    // Each case has folders of its own (settings, config.json, kept documents), as one user's
    // machine has: the answering server's documents are kept after the warm-up start.
    QTemporaryDir homes(QDir::tempPath() + QStringLiteral("/yfx-bench-homes-XXXXXX"));
    auto folders = [&homes](const char* name, const std::string& server) {
        const std::string root = QFile::encodeName(homes.path()).toStdString() + "/" + name;
        return std::vector<std::string>{"YFX_SERVER=" + server,       "XDG_CONFIG_HOME=" + root + "/config",
                                        "XDG_CONFIG_DIRS=" + root + "/xdg", "XDG_CACHE_HOME=" + root + "/cache"};
    };
    struct Case {
        const char* name;
        const char* key;
        StartChild child;
        std::vector<std::string> env;
        std::vector<StartTimes> times;
    };
    std::vector<Case> cases = {
        {"bare Qt main window", "bare", StartChild::Bare, folders("bare", normal.BaseUrl()), {}},
        {"  + application object (catalogue, look, icon)", "app_object", StartChild::AppObject,
         folders("object", normal.BaseUrl()), {}},
        {"  + the frame's Chinese texts (CJK font)", "app_text", StartChild::AppText, folders("text", normal.BaseUrl()),
         {}},
        {"program, server answers (documents kept)", "answering", StartChild::Program,
         folders("answering", normal.BaseUrl()), {}},
        {"program, both start-up documents stall", "stalled", StartChild::Program,
         folders("stalled", stalling.BaseUrl()), {}},
        {"program, server gone (nothing listens)", "dead", StartChild::Program, folders("dead", "http://127.0.0.1:1"),
         {}},
    };
    for (Case& c : cases) // warm-up: the disk cache, and the documents kept for the next start
        TimeOneStart(self, c.child, c.env);
    for (int i = 0; i < runs; ++i) {
        // alternate, so that a slow moment of the machine hits each alike
        for (Case& c : cases) {
            const StartTimes t = TimeOneStart(self, c.child, c.env);
            if (t.exposed < 0) {
                std::fprintf(stderr, "a start failed (%s)\n", c.name);
                return 1;
            }
            c.times.push_back(t);
        }
    }
    std::printf("startup: process start -> main window shown (%s platform), %d runs each, load average %.1f\n",
                PlatformName().c_str(), runs, LoadAverage());
    std::printf("%-48s %-26s %s\n", "", "window shown", "of it: built, then shown");
    const double bare = Median([&] {
        std::vector<double> v;
        for (const StartTimes& t : cases.front().times)
            v.push_back(t.exposed);
        return v;
    }());
    for (const Case& c : cases) {
        std::vector<double> exposed, built, shown;
        for (const StartTimes& t : c.times) {
            exposed.push_back(t.exposed);
            built.push_back(t.built);
            shown.push_back(t.exposed - t.built);
        }
        char head[64];
        std::snprintf(head, sizeof head, "%.1f ms (%.2f x)", Median(exposed), Median(exposed) / bare);
        std::printf("%-48s %-26s %.1f + %.1f ms  (min %.1f, max %.1f)\n", c.name, head, Median(built), Median(shown),
                    *std::min_element(exposed.begin(), exposed.end()), Worst(exposed));
        Figure(std::string("startup_") + c.key + "_median", Median(exposed));
        Figure(std::string("startup_") + c.key + "_worst", Worst(exposed));
        Figure(std::string("startup_") + c.key + "_ratio", Median(exposed) / bare);
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// pictures: answer in -> 40 pictures painted

// Notes when every tile of a view has painted its picture: each picture control's paint is
// run here and its decoded picture looked at right after.
class PicturePaints : public QObject {
public:
    explicit PicturePaints(const CLumbra2View* view) : m_view(view) { qApp->installEventFilter(this); }
    ~PicturePaints() override { qApp->removeEventFilter(this); }
    double AllShownMs() const { return m_allShownMs; }
    int Shown() const { return static_cast<int>(m_shown.size()); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        auto* picture = qobject_cast<CMyImageStatic*>(watched);
        if (!picture || !m_view->Canvas()->isAncestorOf(picture))
            return false;
        watched->event(event); // the control's own paint, which decodes its file
        if (!picture->m_image.isNull()) {
            m_shown.insert(picture);
            if (m_allShownMs < 0 && !m_view->Tiles().empty() && static_cast<size_t>(m_shown.size()) == m_view->Tiles().size())
                m_allShownMs = NowMs();
        }
        return true;
    }

private:
    const CLumbra2View* m_view;
    QSet<const CMyImageStatic*> m_shown;
    double m_allShownMs = -1;
};

struct PictureRun {
    int tiles = 0;
    int shown = 0;
    double answerToShownMs = -1; // the answer read -> the last of the pictures painted
    double searchToShownMs = -1; // the view's request -> the same
    double lastFileMs = -1;      // the answer read -> the last picture file complete
    double tilesMs = -1;         // the answer read -> every tile made and laid out (GUI thread)
    double stallMs = 0;          // the GUI thread's longest stall meanwhile
    size_t maxRunning = 0;       // most transfers the engine ran at once
};

void ClearFolder(const QString& folder)
{
    QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden))
        dir.remove(name);
}

PictureRun OnePictureView(const std::string& address, const QString& folder, int tileHeight)
{
    ClearFolder(folder);
    PictureRun run;
    yfx::bench::BenchDocument doc(address);
    CLumbra2View view(&doc);
    // every tile of a 40-item page in sight, so that each picture is painted
    view.resize(917, 14 * (tileHeight + 10) + 40);
    view.show();
    if (!QTest::qWaitForWindowExposed(&view, 10000))
        std::fprintf(stderr, "warning: the view was not exposed\n");
    Spin(50);

    double answer = -1;
    double lastFile = -1;
    double laidOut = -1;
    QObject::connect(&view, &CLumbra2View::answerLoaded, [&] { answer = NowMs(); });
    QObject::connect(&view, &CLumbra2View::loadFinished, [&] { laidOut = NowMs(); });
    QObject::connect(&view, &CLumbra2View::pictureArrived, [&] { lastFile = NowMs(); });
    PicturePaints paints(&view);
    StallMeter meter;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout,
                     [&] { run.maxRunning = std::max(run.maxRunning, CNetEngine::Shared().Running()); });
    meter.Start("pictures");
    sampler.start(1);
    const double start = NowMs();
    view.OnInitialUpdate();
    SpinUntil([&] { return paints.AllShownMs() >= 0 || (!view.IsLoading() && view.Tiles().empty()); }, 60000);
    meter.Stop();
    sampler.stop();
    run.tiles = static_cast<int>(view.Tiles().size());
    run.shown = paints.Shown();
    if (paints.AllShownMs() >= 0 && answer >= 0) {
        run.answerToShownMs = paints.AllShownMs() - answer;
        run.searchToShownMs = paints.AllShownMs() - start;
        run.lastFileMs = lastFile - answer;
        run.tilesMs = laidOut - answer;
    }
    run.stallMs = meter.LongestOverall().wallMs;
    return run;
}

// An HTML page that loads the view's picture addresses in tile order and, at its load event,
// writes "LOAD <ms since navigation start>" into itself (read back with --dump-dom).
bool WritePage(const std::string& file, const std::vector<std::string>& urls)
{
    std::ofstream out(file);
    out << "<!doctype html>\n<html><head><meta charset=\"utf-8\"><title>40 pictures</title></head>\n<body>\n";
    for (const std::string& url : urls)
        out << "<img src=\"" << url << "\" width=\"220\" height=\"220\">\n";
    out << "<pre id=\"timing\"></pre>\n<script>\n"
           "addEventListener('load', () => {\n"
           "  const res = performance.getEntriesByType('resource');\n"
           "  let last = 0;\n"
           "  for (const r of res) last = Math.max(last, r.responseEnd);\n"
           "  document.getElementById('timing').textContent =\n"
           "    'LOAD ' + performance.now().toFixed(1) + ' LASTRESPONSE ' + last.toFixed(1) + ' RESOURCES ' + res.length;\n"
           "});\n</script>\n</body></html>\n";
    return static_cast<bool>(out);
}

int RunPictures(int argc, char** argv, std::string server, int latency, int runs, const std::string& page)
{
    QApplication app(argc, argv);
    std::unique_ptr<yfx::test::MarketServerProcess> own;
    if (server.empty()) {
        own = std::make_unique<yfx::test::MarketServerProcess>(
            std::vector<std::string>{"--latency-ms", std::to_string(latency)});
        if (!own->Started()) {
            std::fprintf(stderr, "market server did not start: %s\n", own->Error().c_str());
            return 1;
        }
        server = own->BaseUrl();
    }
    yfx::SetEndpointServer(server);
    QTemporaryDir folder;
    SetPictureFolder(QFile::encodeName(folder.path()).toStdString() + "/");
    SearchQuery query;
    query.cat = "0";
    query.keyword = yfx::Utf8ToGbk("手机");
    const std::string address = BuildSearchUrl(query);
    int tileHeight = 300;
    {
        CTBItemWnd probe;
        if (probe.Create())
            tileHeight = probe.height();
    }

    // one view first: what the first pictures of a process pay once (the JPEG reader)
    const PictureRun first = OnePictureView(address, folder.path(), tileHeight);
    std::vector<double> shown, search, files, stall, tilesMade;
    size_t maxRunning = 0;
    int tiles = 0;
    for (int i = 0; i < runs; ++i) {
        const PictureRun r = OnePictureView(address, folder.path(), tileHeight);
        if (r.answerToShownMs < 0) {
            std::fprintf(stderr, "only %d of %d pictures were shown\n", r.shown, r.tiles);
            return 1;
        }
        tiles = r.tiles;
        shown.push_back(r.answerToShownMs);
        search.push_back(r.searchToShownMs);
        files.push_back(r.lastFileMs);
        stall.push_back(r.stallMs);
        tilesMade.push_back(r.tilesMs);
        maxRunning = std::max(maxRunning, r.maxRunning);
        std::printf("run %d: answer -> %d pictures shown %.1f ms (last file %.1f ms, search -> shown %.1f ms, "
                    "longest stall %.1f ms)\n",
                    i + 1, r.tiles, r.answerToShownMs, r.lastFileMs, r.searchToShownMs, r.stallMs);
    }
    if (!page.empty()) {
        yfx::bench::BenchDocument doc(address);
        CLumbra2View view(&doc);
        view.OnInitialUpdate();
        SpinUntil([&] { return !view.IsLoading(); }, 30000);
        view.StopPictures();
        std::vector<std::string> urls;
        for (CTBItemWnd* tile : view.Tiles())
            urls.push_back(tile->PictureSource().thumbUrl);
        if (urls.empty() || !WritePage(page, urls)) {
            std::fprintf(stderr, "could not write %s\n", page.c_str());
            return 1;
        }
    }
    std::printf("pictures: %s, %d runs, median; first view of the process %.1f ms (not counted); "
                "at most %zu transfers at once\n",
                server.c_str(), runs, first.answerToShownMs, maxRunning);
    std::printf("answer -> all %d pictures shown   %8.1f ms\n", tiles, Median(shown));
    std::printf("answer -> last picture file in    %8.1f ms\n", Median(files));
    std::printf("search -> all %d pictures shown   %8.1f ms\n", tiles, Median(search));
    std::printf("answer -> %d tiles made, laid out %8.1f ms (one stretch of the GUI thread)\n", tiles,
                Median(tilesMade));
    std::printf("longest GUI-thread stall          %8.1f ms (worst run %.1f)\n", Median(stall), Worst(stall));
    Figure("pictures_shown_median", Median(shown));
    Figure("pictures_stall_worst", Worst(stall));
    for (double v : shown)
        Figure("pictures_shown_run", v);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// scroll: a view scrolled through 600 items

// Notes the end of every paint of a top-level widget's window: the update request after which
// everything dirty in it has been painted (whether it goes to the widget or to its window).
class PaintClock : public QObject {
public:
    explicit PaintClock(QWidget* topLevel) : m_widget(topLevel), m_window(topLevel->windowHandle())
    {
        m_widget->installEventFilter(this);
        if (m_window)
            m_window->installEventFilter(this);
    }
    ~PaintClock() override
    {
        m_widget->removeEventFilter(this);
        if (m_window)
            m_window->removeEventFilter(this);
    }
    double LastMs() const { return m_lastMs; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::UpdateRequest || m_inside)
            return false;
        m_inside = true;
        watched->event(event); // handled here, so that the time after it can be taken
        m_inside = false;
        m_lastMs = NowMs();
        return true;
    }

private:
    QWidget* m_widget;
    QWindow* m_window;
    bool m_inside = false;
    double m_lastMs = -1;
};

double Percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    const size_t index = std::min(v.size() - 1, static_cast<size_t>(p / 100.0 * static_cast<double>(v.size())));
    return v[index];
}

struct ScrollRun {
    int items = 0;
    int pages = 0;
    int tileWidgets = 0;
    int tileLimit = 0;
    double answerStallMs = 0;   // longest stall from the first answer until its tiles and pictures
    double answerStallCpuMs = 0, answerStallQueuedMs = 0; // of it: processor time, wait for a processor
    double tilesShownMs = -1;   // first answer -> its tiles made (the rows in reach)
    std::vector<double> frames;   // each frame's time, ms
    std::vector<double> frameCpu; // the GUI thread's processor time in it, ms
    std::vector<double> frameOwn; // its time less the wait for a processor held by other programs
    double scrollStallMs = 0;   // longest stall while scrolling
    std::vector<double> pageShownMs; // each next page: its answer -> the viewport painted
    double idleMb = 0, endMb = 0;
    double seconds = 0;
};

ScrollRun OneScroll(const std::string& address)
{
    ScrollRun run;
    yfx::bench::Settle(5);
    run.idleMb = yfx::bench::RssMb();
    yfx::bench::BenchDocument doc(address);
    CLumbra2View view(&doc);
    view.resize(917, 700);
    view.show();
    if (!QTest::qWaitForWindowExposed(&view, 10000))
        std::fprintf(stderr, "warning: the view was not exposed\n");
    Spin(50);

    // the first answer: tiles and pictures of the rows in reach
    StallMeter meter;
    double answered = -1, settled = -1;
    QObject::connect(&view, &CLumbra2View::answerLoaded, [&] {
        answered = NowMs();
        meter.Start("answer");
    });
    QObject::connect(&view, &CLumbra2View::loadFinished, [&] { settled = NowMs(); });
    view.OnInitialUpdate();
    SpinUntil([&] { return !view.IsLoading() && !view.PicturesLoading(); }, 30000);
    Spin(100);
    meter.Stop();
    run.answerStallMs = meter.Longest("answer").wallMs;
    run.answerStallCpuMs = meter.Longest("answer").cpuMs;
    run.answerStallQueuedMs = meter.Longest("answer").queuedMs;
    run.tilesShownMs = answered >= 0 && settled >= 0 ? settled - answered : -1;

    // each next page: from its answer to the first paint of the viewport after the view took it
    PaintClock paints(&view);
    double pageAnswer = -1, pageTaken = -1;
    QObject::connect(&view, &CLumbra2View::pageAnswerArrived, [&] { pageAnswer = NowMs(); });
    QObject::connect(&view, &CLumbra2View::pageLoaded, [&] { pageTaken = NowMs(); });
    const auto notePage = [&] {
        if (pageTaken >= 0 && pageAnswer >= 0 && paints.LastMs() >= pageTaken) {
            run.pageShownMs.push_back(paints.LastMs() - pageAnswer);
            pageAnswer = pageTaken = -1;
        }
    };

    // scrolling: a step every 16 ms; a frame's time is the step, its paint and the rest of the turn
    QScrollBar* bar = view.verticalScrollBar();
    meter.Start("scroll");
    const double start = NowMs();
    while (view.MoreRow()->CurrentState() != CMoreRow::State::End || bar->value() < bar->maximum()) {
        if (NowMs() - start > 120000) {
            std::fprintf(stderr, "the end never came\n");
            break;
        }
        const double frame = NowMs();
        const double cpu = ThreadCpuMs();
        const double queued = ThreadQueuedMs();
        bar->setValue(bar->value() + 120); // the view scrolls and binds; the paint is queued
        QApplication::processEvents();     // the paint, and whatever else came meanwhile
        const double wall = NowMs() - frame;
        run.frames.push_back(wall);
        run.frameCpu.push_back(ThreadCpuMs() - cpu);
        // less the time the thread waited, ready, for a processor that other programs held
        run.frameOwn.push_back(queued >= 0 ? wall - std::max(0.0, ThreadQueuedMs() - queued) : wall);
        notePage();
        SpinUntil([&] {
            notePage();
            return NowMs() - frame >= 16;
        }, 16);
    }
    run.seconds = (NowMs() - start) / 1000;
    SpinUntil([&] { return !view.PicturesLoading() && !view.MakingTiles(); }, 30000);
    meter.Stop();
    run.scrollStallMs = meter.Longest("scroll").wallMs;
    yfx::bench::Settle(5);
    run.endMb = yfx::bench::RssMb();
    run.items = view.ItemCount();
    run.pages = view.PagesShown();
    run.tileWidgets = view.TileWidgetCount();
    run.tileLimit = view.TileLimit();
    return run;
}

int RunScroll(int argc, char** argv, int latency, int runs)
{
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
    query.cat = "0"; // no keyword: the whole catalogue, more than fifteen pages
    const std::string address = BuildSearchUrl(query);

    const ScrollRun first = OneScroll(address); // what the first view of a process pays once
    ClearFolder(folder.path());
    std::vector<double> frameP99, frameWorst, frameCpuP99, frameOwnP99, scrollStall, answerStall, pageShown, pageWorst, memory,
        tilesShown;
    std::vector<double> answerCpu, answerQueued;
    ScrollRun last;
    for (int i = 0; i < runs; ++i) {
        ClearFolder(folder.path());
        const ScrollRun r = OneScroll(address);
        if (r.items == 0) {
            std::fprintf(stderr, "no items\n");
            return 1;
        }
        frameP99.push_back(Percentile(r.frames, 99));
        frameWorst.push_back(Worst(r.frames));
        frameCpuP99.push_back(Percentile(r.frameCpu, 99));
        frameOwnP99.push_back(Percentile(r.frameOwn, 99));
        scrollStall.push_back(r.scrollStallMs);
        answerStall.push_back(r.answerStallMs);
        answerCpu.push_back(r.answerStallCpuMs);
        answerQueued.push_back(r.answerStallQueuedMs);
        tilesShown.push_back(r.tilesShownMs);
        pageShown.push_back(Median(r.pageShownMs));
        pageWorst.push_back(Worst(r.pageShownMs));
        memory.push_back(r.endMb - r.idleMb);
        std::printf("run %d: %d items in %d pages, %zu frames in %.1f s: p99 %.1f ms, worst %.1f ms; "
                    "page answer -> painted median %.1f, worst %.1f ms; %d tile widgets (limit %d); "
                    "%.1f MB over idle\n",
                    i + 1, r.items, r.pages, r.frames.size(), r.seconds, frameP99.back(), frameWorst.back(),
                    pageShown.back(), pageWorst.back(), r.tileWidgets, r.tileLimit, memory.back());
        last = r;
    }
    std::printf("scroll: a view of 917 x 700 through %d items (%s platform, server latency %d ms), %d runs, "
                "median (worst run); load average %.1f; first view of the process: frame p99 %.1f ms\n",
                last.items, PlatformName().c_str(), latency, runs, LoadAverage(), Percentile(first.frames, 99));
    std::printf("first answer: tiles of the rows in reach made %.1f ms after it; longest stall %.1f ms (%.1f; "
                "processor time %.1f, waiting for a processor %.1f)\n",
                Median(tilesShown), Median(answerStall), Worst(answerStall), Median(answerCpu), Median(answerQueued));
    std::printf("frame time while scrolling, 99th percentile   %6.1f ms (%.1f); longest frame %.1f ms (%.1f)\n",
                Median(frameP99), Worst(frameP99), Median(frameWorst), Worst(frameWorst));
    std::printf("  less the wait for a processor held by others %5.1f ms (%.1f); the GUI thread's processor "
                "time, p99 %.1f ms (%.1f)\n",
                Median(frameOwnP99), Worst(frameOwnP99), Median(frameCpuP99), Worst(frameCpuP99));
    std::printf("longest GUI-thread stall while scrolling      %6.1f ms (%.1f)\n", Median(scrollStall),
                Worst(scrollStall));
    std::printf("next page: its answer -> painted              %6.1f ms (worst page of all runs %.1f)\n",
                Median(pageShown), Worst(pageWorst));
    std::printf("resident memory at the end, over idle         %6.1f MB (%.1f); %d tile widgets for %d items\n",
                Median(memory), Worst(memory), last.tileWidgets, last.items);
    Figure("scroll_answer_stall_worst", Worst(answerStall));
    Figure("scroll_frame_p99_median", Median(frameP99));
    Figure("scroll_frame_p99_worst", Worst(frameP99));
    Figure("scroll_frame_cpu_p99_worst", Worst(frameCpuP99));
    Figure("scroll_frame_own_p99_worst", Worst(frameOwnP99));
    Figure("scroll_stall_worst", Worst(scrollStall));
    Figure("scroll_page_shown_median", Median(pageShown));
    Figure("scroll_page_shown_worst", Worst(pageWorst));
    Figure("scroll_memory_median", Median(memory));
    Figure("scroll_memory_worst", Worst(memory));
    Figure("scroll_tile_widgets", last.tileWidgets);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// finder: the browsers' pages read while the window goes on

int RunFinder(int argc, char** argv, int runs)
{
    QApplication app(argc, argv);
    // a desktop whose Firefox has a 60 MB session file; DevTools on a port where nothing listens
    QTemporaryDir home;
    const std::string root = QFile::encodeName(home.path()).toStdString();
    setenv("HOME", root.c_str(), 1);
    setenv("YFX_DEVTOOLS_PORT", "1", 1);
    const std::string profile = root + "/.mozilla/firefox/p.default";
    QDir().mkpath(QString::fromStdString(profile + "/sessionstore-backups"));
    std::ofstream(root + "/.mozilla/firefox/profiles.ini") << "[Profile0]\nName=default\nIsRelative=1\nPath=p.default\n";
    const std::string file = yfx::test::LargeSessionFile(
        60'000'000, {{yfx::EndpointBase(yfx::Endpoint::MarketItem) + "/item.htm?id=9", "一件商品-淘宝网"}});
    std::ofstream(profile + "/sessionstore-backups/recovery.jsonlz4", std::ios::binary) << file;

    CLumbraWnd pane; // no main window: the search it would run opens nothing
    pane.show();
    if (!QTest::qWaitForWindowExposed(&pane, 10000))
        std::fprintf(stderr, "warning: the pane was not exposed\n");
    Spin(100);
    std::printf("finder: a %.1f MB session file (%s platform), %d runs, load average %.1f\n", file.size() / 1e6,
                PlatformName().c_str(), runs, LoadAverage());

    std::vector<StallMeter::Gap> gaps;
    std::vector<double> pressToResult, readOnly;
    for (int i = 0; i < runs; ++i) {
        bool finished = false;
        const QMetaObject::Connection c =
            QObject::connect(&pane, &CLumbraWnd::finderFinished, [&](int found) { finished = found == 1; });
        StallMeter meter;
        meter.Start("finder");
        Spin(50);
        const double press = NowMs();
        QTest::mouseClick(pane.m_btnSearchMore, Qt::LeftButton);
        const bool done = SpinUntil([&] { return finished; }, 60000);
        const double result = NowMs();
        Spin(50);
        meter.Stop();
        QObject::disconnect(c);
        if (!done) {
            std::fprintf(stderr, "the finder did not find the item page\n");
            return 1;
        }
        gaps.push_back(meter.Longest("finder"));
        pressToResult.push_back(result - press);

        // the same read on this thread, as the pane did it before it read on a pool thread
        const double start = NowMs();
        std::vector<std::unique_ptr<yfx::CBrowserPageSource>> sources = yfx::DefaultBrowserPageSources();
        std::vector<yfx::CBrowserPageSource*> raw;
        for (auto& source : sources)
            raw.push_back(source.get());
        const size_t titles = yfx::FindItemTitles(yfx::CollectBrowserPages(raw)).size();
        readOnly.push_back(NowMs() - start);
        std::printf("run %d: press -> result %.1f ms, longest stall %.1f ms; the read alone %.1f ms (%zu title)\n", i + 1,
                    pressToResult.back(), gaps.back().wallMs, readOnly.back(), titles);
    }
    std::printf("longest GUI-thread stall, press -> result  %s ms (median / worst (cpu, queued))\n", GapText(gaps).c_str());
    std::printf("press -> search for the item page          %8.1f ms median\n", Median(pressToResult));
    std::printf("the read on the GUI thread (before)        %8.1f ms median (worst %.1f)\n", Median(readOnly),
                Worst(readOnly));
    GapFigures("finder_stall", gaps);
    Figure("finder_result_median", Median(pressToResult));
    Figure("finder_read_median", Median(readOnly));
    return 0;
}

int Usage()
{
    std::fprintf(stderr,
                 "usage: bench_window stalls [--runs N]\n"
                 "       bench_window startup [--runs N]\n"
                 "       bench_window pictures [--server URL | --latency-ms N] [--runs N] [--page FILE]\n"
                 "       bench_window scroll [--runs N] [--latency-ms N]\n"
                 "       bench_window finder [--runs N]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage();
    const std::string mode = argv[1];
    if (!std::getenv("DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // the picture cache goes under XDG_CACHE_HOME, never the user's; the children of "startup"
    // share this one
    std::unique_ptr<QTemporaryDir> runtime;
    if (!std::getenv("XDG_RUNTIME_DIR") || !std::getenv("XDG_CACHE_HOME")) {
        runtime = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/yfx-bench-XXXXXX"));
        if (runtime->isValid()) {
            setenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime->path()).constData(), 0);
            setenv("XDG_CACHE_HOME", QFile::encodeName(runtime->path()).constData(), 0);
        }
    }
    // the price memory is on, in a file of the run's own unless the caller names a data folder
    std::unique_ptr<QTemporaryDir> data;
    if (!std::getenv("XDG_DATA_HOME")) {
        data = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/yfx-bench-data-XXXXXX"));
        if (data->isValid())
            setenv("XDG_DATA_HOME", QFile::encodeName(data->path()).constData(), 1);
    }
    // never the user's settings, config.json or kept documents (the start-up cases set their own)
    std::unique_ptr<QTemporaryDir> home;
    if (mode.rfind("--child", 0) != 0)
        home = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/yfx-bench-home-XXXXXX"));
    if (home && home->isValid()) {
        const QByteArray root = QFile::encodeName(home->path());
        setenv("XDG_CONFIG_HOME", (root + "/config").constData(), 1);
        setenv("XDG_CONFIG_DIRS", (root + "/xdg").constData(), 1);
        setenv("XDG_CACHE_HOME", (root + "/cache").constData(), 1);
    }
    for (StartChild child : {StartChild::Bare, StartChild::AppObject, StartChild::AppText, StartChild::Program})
        if (mode == ChildMode(child))
            return RunStartupChild(argc, argv, child);

    int runs = 5;
    int latency = 20;
    std::string server;
    std::string page;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            return Usage();
        const char* value = argv[++i];
        if (arg == "--runs")
            runs = std::max(1, std::atoi(value));
        else if (arg == "--latency-ms")
            latency = std::max(0, std::atoi(value));
        else if (arg == "--server")
            server = value;
        else if (arg == "--page")
            page = value;
        else
            return Usage();
    }
    int qtArgc = 1;
    if (mode == "stalls")
        return RunStalls(qtArgc, argv, runs);
    if (mode == "startup")
        return RunStartup(argv[0], runs);
    if (mode == "finder")
        return RunFinder(qtArgc, argv, runs);
    if (mode == "pictures")
        return RunPictures(qtArgc, argv, server, latency, runs, page);
    if (mode == "scroll")
        return RunScroll(qtArgc, argv, latency, runs);
    return Usage();
}
