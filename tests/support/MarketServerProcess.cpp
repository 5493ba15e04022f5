#include "tests/support/MarketServerProcess.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <json/json.h>
#include <memory>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace yfx::test {
namespace {

constexpr auto kStartTimeout = std::chrono::seconds(20);
constexpr auto kStopTimeout = std::chrono::seconds(3);

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// The environment for the child: ours, with the sanitizers told not to fail the server over
// leaks or races inside the libraries it uses (the server is a tool here, not the code under test).
std::vector<std::string> ChildEnvironment()
{
    std::vector<std::string> env;
    bool asan = false, tsan = false;
    for (char** e = environ; e && *e; ++e) {
        std::string entry = *e;
        if (entry.rfind("ASAN_OPTIONS=", 0) == 0) {
            entry += ":detect_leaks=0";
            asan = true;
        } else if (entry.rfind("TSAN_OPTIONS=", 0) == 0) {
            entry += ":report_bugs=0:exitcode=0";
            tsan = true;
        }
        env.push_back(std::move(entry));
    }
    if (!asan)
        env.emplace_back("ASAN_OPTIONS=detect_leaks=0");
    if (!tsan)
        env.emplace_back("TSAN_OPTIONS=report_bugs=0:exitcode=0");
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts)
{
    std::vector<char*> out;
    for (std::string& t : texts)
        out.push_back(t.data());
    out.push_back(nullptr);
    return out;
}

} // namespace

std::string MarketServerProcess::BinaryPath()
{
    return YFX_MARKET_SERVER_PATH;
}

MarketServerProcess::MarketServerProcess(const std::vector<std::string>& extraArgs)
{
    std::signal(SIGPIPE, SIG_IGN);
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/yfx-market-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        m_error = "cannot create a temporary folder: " + std::string(std::strerror(errno));
        return;
    }
    m_folder = pattern;
    m_logPath = m_folder + "/requests.jsonl";
    m_stderrPath = m_folder + "/stderr.txt";

    std::vector<std::string> args = {BinaryPath(), "--port", "0", "--log", m_logPath};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<std::string> env = ChildEnvironment();
    std::vector<char*> argv = Pointers(args);
    std::vector<char*> envp = Pointers(env);

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        m_error = "cannot create a pipe: " + std::string(std::strerror(errno));
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, m_stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    const int spawned = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        m_pid = -1;
        close(out[0]);
        m_error = "cannot start " + BinaryPath() + ": " + std::strerror(spawned);
        return;
    }

    // Read the first line: "listening on http://127.0.0.1:PORT".
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            m_error = "the server did not say its port within 20 s";
            break;
        }
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char buf[256];
        const ssize_t n = read(out[0], buf, sizeof buf);
        if (n <= 0) {
            m_error = "the server ended before it said its port";
            break;
        }
        line.append(buf, static_cast<std::size_t>(n));
    }
    close(out[0]);
    static const std::string kPrefix = "listening on http://127.0.0.1:";
    if (m_error.empty()) {
        if (line.rfind(kPrefix, 0) == 0)
            m_port = std::atoi(line.c_str() + kPrefix.size());
        if (m_port <= 0)
            m_error = "unexpected first line from the server: " + line;
    }
    if (m_port <= 0)
        Stop();
}

MarketServerProcess::~MarketServerProcess()
{
    Stop();
    if (!m_folder.empty()) {
        std::remove(m_logPath.c_str());
        std::remove(m_stderrPath.c_str());
        rmdir(m_folder.c_str());
    }
}

void MarketServerProcess::Stop()
{
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + kStopTimeout;
    int status = 0;
    while (waitpid(m_pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    m_pid = -1;
}

std::string MarketServerProcess::Error() const
{
    if (m_error.empty())
        return {};
    return m_error + "\n--- server stderr ---\n" + StderrText();
}

std::string MarketServerProcess::BaseUrl() const
{
    return Started() ? "http://" + Host() : std::string();
}

std::string MarketServerProcess::Host() const
{
    return "127.0.0.1:" + std::to_string(m_port);
}

std::string MarketServerProcess::StderrText() const
{
    return m_stderrPath.empty() ? std::string() : ReadFile(m_stderrPath);
}

std::vector<MarketRequest> MarketServerProcess::Requests() const
{
    std::vector<MarketRequest> requests;
    if (m_logPath.empty())
        return requests;
    std::istringstream in(ReadFile(m_logPath));
    std::string line;
    Json::CharReaderBuilder builder;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    while (std::getline(in, line)) {
        Json::Value v;
        std::string errors;
        if (!reader->parse(line.data(), line.data() + line.size(), &v, &errors) || !v.isObject())
            continue; // a line still being written
        MarketRequest r;
        r.time = v["time"].asString();
        r.method = v["method"].asString();
        r.path = v["path"].asString();
        r.rawQuery = v["rawQuery"].asString();
        r.userAgent = v["userAgent"].asString();
        r.fault = v["fault"].asString();
        r.status = v["status"].asInt();
        r.bytes = static_cast<std::size_t>(v["bytes"].asUInt64());
        const Json::Value& q = v["query"];
        if (q.isObject())
            for (const std::string& name : q.getMemberNames())
                r.query[name] = q[name].asString();
        requests.push_back(std::move(r));
    }
    return requests;
}

std::vector<MarketRequest> MarketServerProcess::WaitForRequests(std::size_t count,
                                                                std::chrono::milliseconds timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::vector<MarketRequest> requests = Requests();
    while (requests.size() < count && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        requests = Requests();
    }
    return requests;
}

} // namespace yfx::test
