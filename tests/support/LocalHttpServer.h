#pragma once
// A real HTTP server on a loopback port inside the test process (cpp-httplib), for the
// network tests of the core. It records every request it served.
#include "tests/support/LoopbackListener.h"

#include <httplib.h>

#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

class LocalHttpServer {
public:
    struct Seen {
        std::string path;
        std::string target; // path and query exactly as sent
        std::string userAgent;
        int remotePort = 0;
    };

    LocalHttpServer();
    ~LocalHttpServer();

    httplib::Server& server() { return m_server; }
    // Starts listening on a free loopback port; call after the handlers are set.
    void Start();
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    int Port() const { return m_port; }

    std::vector<Seen> Requests();
    // Number of distinct client connections seen so far.
    size_t Connections();

private:
    httplib::Server m_server;
    int m_port = 0;
    std::mutex m_mutex;
    std::vector<Seen> m_seen;
    std::set<int> m_ports;
    std::unique_ptr<yfx::test::LoopbackListener> m_listener; // last: stops before the rest goes
};
