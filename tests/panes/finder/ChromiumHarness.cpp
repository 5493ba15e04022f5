#include "tests/panes/finder/ChromiumHarness.h"

#include "market/Gbk.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string_view>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace yfx::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const char* const kChromium = "/usr/bin/chromium";

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

} // namespace

ItemPageServer::ItemPageServer()
{
    m_server.set_tcp_nodelay(true);
    m_server.Get("/item.htm", [this](const httplib::Request& req, httplib::Response& res) {
        std::string title;
        {
            std::lock_guard lock(m_mutex);
            auto it = m_titles.find(req.get_param_value("id"));
            if (it == m_titles.end()) {
                res.status = 404;
                return;
            }
            title = it->second;
        }
        res.set_content("<!DOCTYPE html><html><head><meta charset=gbk><title>" + Utf8ToGbk(title) +
                            "</title></head><body><h1>" + Utf8ToGbk(title) + "</h1></body></html>",
                        "text/html; charset=GBK");
    });
    m_server.Get("/shop.htm", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("<!DOCTYPE html><html><head><meta charset=gbk><title>" +
                            Utf8ToGbk("店铺首页-淘宝网") + "</title></head><body></body></html>",
                        "text/html; charset=GBK");
    });
    m_listener = std::make_unique<LoopbackListener>(m_server);
}

ItemPageServer::~ItemPageServer() = default;

int ItemPageServer::Port() const
{
    return m_listener->Port();
}

void ItemPageServer::AddItem(const std::string& id, const std::string& utf8Title)
{
    std::lock_guard lock(m_mutex);
    m_titles[id] = utf8Title;
}

std::string FindOrInstallChromium(std::string& why)
{
    if (::access(kChromium, X_OK) == 0)
        return kChromium;
    // the test environment names the source folder; the build's own is the fallback
    const char* source = std::getenv("YFX_SOURCE_DIR");
    if (!source || !*source)
        source = YFX_FINDER_SOURCE_DIR;
    // Tests run in parallel: let one process install while the others wait for it.
    int lock = ::open("/tmp/yfx-chromium-install.lock", O_CREAT | O_RDWR | O_CLOEXEC, 0600);
    if (lock >= 0)
        ::flock(lock, LOCK_EX);
    if (::access(kChromium, X_OK) != 0) {
        const std::string command = std::string(source) + "/scripts/install-deps browser >&2";
        int rc = std::system(command.c_str());
        if (::access(kChromium, X_OK) != 0)
            why = std::string(kChromium) +
                  " is missing and \"scripts/install-deps browser\" could not install it (exit " +
                  std::to_string(rc) + ")";
    }
    if (lock >= 0)
        ::close(lock); // releases the lock
    return ::access(kChromium, X_OK) == 0 ? kChromium : std::string();
}

HeadlessChromium::HeadlessChromium(const std::string& executable, int itemServerPort,
                                   const std::string& firstUrl)
{
    std::string pattern = (fs::temp_directory_path() / "yfx-chromium-XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!::mkdtemp(buf.data()))
        return;
    m_dir = buf.data();
    const fs::path profile = m_dir / "profile";
    fs::create_directories(profile);

    const std::string target = "127.0.0.1:" + std::to_string(itemServerPort);
    std::vector<std::string> args = {
        executable,
        "--headless",
        "--no-sandbox",
        "--disable-gpu",
        "--disable-quic",
        "--no-first-run",
        "--disable-background-networking",
        "--disable-component-update",
        "--disable-sync",
        // keep the plain-http item pages plain: no https attempt first
        "--disable-features=HttpsUpgrades",
        // a proxy set on the test machine must not see the item hosts
        "--no-proxy-server",
        "--user-data-dir=" + profile.string(),
        // 0: Chromium picks a free port and writes it to DevToolsActivePort
        "--remote-debugging-port=0",
        "--host-resolver-rules=MAP item.taobao.com " + target + ", MAP detail.tmall.com " + target,
        firstUrl,
    };
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string log = (m_dir / "chromium.log").string();
    // the environment with HOME in the temporary folder: crash reports and caches go there
    std::vector<std::string> env = {"HOME=" + m_dir.string()};
    for (char** e = environ; *e; ++e) {
        if (std::string_view(*e).substr(0, 5) != "HOME=")
            env.emplace_back(*e);
    }
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd >= 0) {
            ::dup2(fd, 1);
            ::dup2(fd, 2);
            ::close(fd);
        }
        int devNull = ::open("/dev/null", O_RDONLY);
        if (devNull >= 0) {
            ::dup2(devNull, 0);
            ::close(devNull);
        }
        // only async-signal-safe calls between fork and exec: the test process has threads
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    if (pid > 0) {
        ::setpgid(pid, pid); // also here, so that the group exists whichever runs first
        m_pid = pid;
    }
}

HeadlessChromium::~HeadlessChromium()
{
    if (m_pid > 0) {
        ::kill(-m_pid, SIGTERM);
        bool reaped = false;
        for (auto until = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < until;) {
            if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                reaped = true;
                break;
            }
            std::this_thread::sleep_for(50ms);
        }
        // whatever is left of the group (helpers that outlived the browser) goes now
        ::kill(-m_pid, SIGKILL);
        if (!reaped)
            ::waitpid(m_pid, nullptr, 0);
    }
    if (!m_dir.empty()) {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
}

bool HeadlessChromium::WaitUntilReady(std::chrono::milliseconds deadline, std::string& why)
{
    if (m_pid <= 0) {
        why = "Chromium could not be started";
        return false;
    }
    const fs::path announced = m_dir / "profile" / "DevToolsActivePort";
    for (auto until = std::chrono::steady_clock::now() + deadline;
         std::chrono::steady_clock::now() < until;) {
        // "PORT\n/devtools/browser/ID": a port without its line end may still be half-written
        const std::string text = ReadAll(announced);
        std::istringstream lines(text);
        int port = 0;
        if (text.find('\n') != std::string::npos && lines >> port && port > 0 && port < 65536) {
            m_nDevToolsPort = port;
            return true;
        }
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            why = "Chromium exited before its DevTools endpoint was ready:\n" + LogTail();
            return false;
        }
        std::this_thread::sleep_for(50ms);
    }
    why = "Chromium's DevTools endpoint was not ready in time:\n" + LogTail();
    return false;
}

bool HeadlessChromium::OpenPage(const std::string& url) const
{
    if (m_nDevToolsPort <= 0)
        return false;
    httplib::Client client("127.0.0.1", m_nDevToolsPort);
    client.set_url_encode(false);
    client.set_connection_timeout(5);
    client.set_read_timeout(10);
    httplib::Result result = client.Put("/json/new?" + url);
    return result && result->status == 200;
}

std::string HeadlessChromium::LogTail() const
{
    std::string log = ReadAll(m_dir / "chromium.log");
    return log.size() > 4000 ? log.substr(log.size() - 4000) : log;
}

} // namespace yfx::test
