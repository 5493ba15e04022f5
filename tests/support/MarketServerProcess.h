#pragma once
// Runs the local marketplace server (tools/market-server) as a child process on a free
// loopback port, for tests and benchmarks:
//
//     yfx::test::MarketServerProcess server({"--seed", "7"});
//     ASSERT_TRUE(server.Started()) << server.Error();
//     yfx::SetEndpointServer(server.BaseUrl());      // "http://127.0.0.1:PORT"
//     ... run the code under test ...
//     auto requests = server.Requests();             // what was asked for, in order
//
// The server's request log goes to a private temporary folder; Requests() reads it back. Each
// log line is written before the answer's body is sent, so a request whose answer has arrived
// is already listed. The destructor stops the server (SIGTERM, then SIGKILL after 3 s), reaps
// it and removes the folder. Constructing one also ignores SIGPIPE in the calling process, so
// that a client writing to a connection the server cut does not kill the test.
#include <chrono>
#include <cstddef>
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace yfx::test {

// One request as the server logged it.
struct MarketRequest {
    std::string time;                        // "2026-01-02T03:04:05.678Z" (UTC)
    std::string method;                      // "GET"
    std::string path;                        // "/itemlist/default.htm", UTF-8
    std::map<std::string, std::string> query; // decoded parameters ('+' is a space), GBK turned
                                             // into UTF-8; a repeated name keeps its first value
    std::string rawQuery;                    // the query as sent (bytes outside ASCII as %XX)
    std::string userAgent;                   // "HttpClient" for the program
    int status = 0;                          // HTTP status answered
    std::size_t bytes = 0;                   // body length announced
    std::string fault;                       // the injected fault ("stall", ...), else empty
};

class MarketServerProcess {
public:
    // Starts the server with "--port 0 --log <folder>/requests.jsonl" followed by `extraArgs`
    // (for example {"--seed", "7", "--fault", "/set/config.jpg=status:500"}) and waits up to
    // 20 s for it to say its port. Blocks; never throws. See Started() and Error().
    explicit MarketServerProcess(const std::vector<std::string>& extraArgs = {});
    ~MarketServerProcess();
    MarketServerProcess(const MarketServerProcess&) = delete;
    MarketServerProcess& operator=(const MarketServerProcess&) = delete;

    // True when the server is up and its port is known.
    bool Started() const { return m_port > 0; }
    // Why it did not start, with what the server wrote to its standard error.
    std::string Error() const;

    int Port() const { return m_port; }
    // "http://127.0.0.1:PORT" (no trailing slash); empty when not started.
    std::string BaseUrl() const;
    // "127.0.0.1:PORT": the host part of every address the server hands out.
    std::string Host() const;

    // Every request logged so far, oldest first. Unreadable lines are skipped.
    std::vector<MarketRequest> Requests() const;
    // Waits until at least `count` requests are logged or `timeout` passes; returns them all.
    std::vector<MarketRequest> WaitForRequests(std::size_t count,
                                               std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

    const std::string& LogPath() const { return m_logPath; }
    // What the server has written to its standard error so far.
    std::string StderrText() const;
    pid_t Pid() const { return m_pid; }

    // The server binary this helper runs.
    static std::string BinaryPath();

private:
    void Stop();

    std::string m_folder;
    std::string m_logPath;
    std::string m_stderrPath;
    std::string m_error;
    pid_t m_pid = -1;
    int m_port = 0;
};

} // namespace yfx::test
