#pragma once
// A real headless Chromium pointed at item pages served on loopback, for end-to-end tests of
// the browsed-item finder (and of the search pane built on it). No GoogleTest in here.
#include "tests/support/LoopbackListener.h"

#include <httplib.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>

namespace yfx::test {

// Serves item pages as the marketplace does, in GBK with <meta charset=gbk>:
// /item.htm?id=N is titled with the title added for N (404 for an unknown id); /shop.htm is
// another page of the same host. Listens on 127.0.0.1 from construction to destruction.
class ItemPageServer {
public:
    ItemPageServer();
    ~ItemPageServer();
    ItemPageServer(const ItemPageServer&) = delete;
    ItemPageServer& operator=(const ItemPageServer&) = delete;

    int Port() const;
    // `utf8Title` is sent as GBK.
    void AddItem(const std::string& id, const std::string& utf8Title);

private:
    std::mutex m_mutex;
    std::map<std::string, std::string> m_titles;
    httplib::Server m_server;
    std::unique_ptr<LoopbackListener> m_listener; // last: stops the server before the rest goes
};

// The Chromium executable: /usr/bin/chromium, installed first with
// "$YFX_SOURCE_DIR/scripts/install-deps browser" (the source folder of the build when
// YFX_SOURCE_DIR is unset) when it is missing (one installer at a time
// across test processes). "" with the reason in `why` when it cannot be had.
std::string FindOrInstallChromium(std::string& why);

// One headless Chromium in a process group of its own, with a fresh profile folder, its
// DevTools endpoint on a port it picks, and the two item hosts (item.taobao.com,
// detail.tmall.com) mapped to `itemServerPort` on loopback. Killed with all its processes
// when destroyed.
class HeadlessChromium {
public:
    HeadlessChromium(const std::string& executable, int itemServerPort, const std::string& firstUrl);
    ~HeadlessChromium();
    HeadlessChromium(const HeadlessChromium&) = delete;
    HeadlessChromium& operator=(const HeadlessChromium&) = delete;

    // Waits (polling, up to `deadline`) until the DevTools endpoint is announced. False with the
    // reason in `why` when Chromium exits or the deadline passes.
    bool WaitUntilReady(std::chrono::milliseconds deadline, std::string& why);
    // The DevTools port, once ready; 0 before.
    int DevToolsPort() const { return m_nDevToolsPort; }
    // Opens a new tab with `url` through the endpoint (PUT /json/new). False when refused.
    bool OpenPage(const std::string& url) const;
    // The end of what Chromium wrote to its standard output and error, for failure messages.
    std::string LogTail() const;

private:
    std::filesystem::path m_dir;
    pid_t m_pid = -1;
    int m_nDevToolsPort = 0;
};

} // namespace yfx::test
