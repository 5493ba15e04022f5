// Start-up time: from process start to the main window shown, for the program (against the
// local marketplace server: both start-up downloads included) and, in the same run, for a bare
// Qt main window. Each is started as a fresh process several times; the median is printed.
//
//   bench_startup [runs]      (default 7; uses DISPLAY when set, else the offscreen platform)
#include "app/CLumbra2App.h"
#include "tests/support/MarketServerProcess.h"

#include <QApplication>
#include <QMainWindow>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

double Now()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Child side: show the window, print the moment it is exposed, leave.
int RunChild(int argc, char** argv, bool bare)
{
    if (bare) {
        QApplication app(argc, argv);
        QMainWindow window;
        window.resize(1008, 700);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window, 20000))
            return 1;
        std::printf("%.3f\n", Now());
        return 0;
    }
    CLumbra2App app(argc, argv);
    if (!app.InitInstance())
        return 1;
    if (!QTest::qWaitForWindowExposed(app.MainFrame(), 20000))
        return 1;
    std::printf("%.3f\n", Now());
    return 0;
}

// Parent side: one start of the child, in milliseconds; negative on failure.
double TimeOneStart(const char* self, const char* mode, const std::string& server)
{
    int out[2];
    if (pipe(out) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "YFX_SERVER=", 11) != 0)
            env.emplace_back(*e);
    env.push_back("YFX_SERVER=" + server);
    if (!std::getenv("DISPLAY"))
        env.emplace_back("QT_QPA_PLATFORM=offscreen");
    if (!std::getenv("XDG_RUNTIME_DIR")) {
        static std::string runtime = [] {
            char tmpl[] = "/tmp/yfx-bench-XXXXXX";
            const char* dir = mkdtemp(tmpl);
            return std::string(dir ? dir : "/tmp");
        }();
        env.push_back("XDG_RUNTIME_DIR=" + runtime);
    }
    std::vector<char*> envp;
    for (auto& s : env)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    char* args[] = {const_cast<char*>(self), const_cast<char*>(mode), nullptr};
    pid_t pid = -1;
    const double start = Now();
    const int rc = posix_spawn(&pid, self, &actions, nullptr, args, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) {
        close(out[0]);
        return -1;
    }
    std::string text;
    char buf[128];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<size_t>(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || text.empty())
        return -1;
    return std::atof(text.c_str()) - start;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && (std::strcmp(argv[1], "--child-app") == 0 || std::strcmp(argv[1], "--child-bare") == 0))
        return RunChild(argc, argv, std::strcmp(argv[1], "--child-bare") == 0);

    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    yfx::test::MarketServerProcess server;
    if (!server.Started()) {
        std::fprintf(stderr, "market server did not start: %s\n", server.Error().c_str());
        return 1;
    }
    std::vector<double> app, bare;
    for (int i = 0; i < runs; ++i) {
        // alternate, so that a slow moment of the machine hits both alike
        const double b = TimeOneStart(argv[0], "--child-bare", server.BaseUrl());
        const double a = TimeOneStart(argv[0], "--child-app", server.BaseUrl());
        if (a < 0 || b < 0) {
            std::fprintf(stderr, "a start failed\n");
            return 1;
        }
        app.push_back(a);
        bare.push_back(b);
    }
    std::printf("platform: %s, %d runs each\n", std::getenv("DISPLAY") ? "xcb" : "offscreen", runs);
    std::printf("bare Qt main window shown:   median %7.1f ms  (min %.1f, max %.1f)\n", Median(bare),
                *std::min_element(bare.begin(), bare.end()), *std::max_element(bare.begin(), bare.end()));
    std::printf("program main window shown:   median %7.1f ms  (min %.1f, max %.1f)\n", Median(app),
                *std::min_element(app.begin(), app.end()), *std::max_element(app.begin(), app.end()));
    std::printf("cost of the program's start-up over a bare window: %.1f ms\n", Median(app) - Median(bare));
    return 0;
}
