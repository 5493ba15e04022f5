#pragma once
// A real HTTP server on a loopback port inside the test process (cpp-httplib), for the
// network tests of the core. It records every request it served.
#include <httplib.h>

#include <mutex>
#include <set>
#include <string>
#include <thread>
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
    std::thread m_thread;
    int m_port = 0;
    std::mutex m_mutex;
    std::vector<Seen> m_seen;
    std::set<int> m_ports;
};
