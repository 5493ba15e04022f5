#pragma once
// Runs a cpp-httplib server on a free 127.0.0.1 port, on a thread of its own, for the life of
// this object. Every loopback test server goes through it.
//
// cpp-httplib sets its running flag only once its accept loop has started: a stop() that
// comes before that is lost, and joining the thread would then wait forever. The constructor
// therefore returns only when the loop runs (or binding failed: Port() is then -1), and the
// destructor stops the server and joins its thread.
#include <httplib.h>

#include <atomic>
#include <thread>

namespace yfx::test {

class LoopbackListener {
public:
    // `host`: another loopback address (127.0.0.2, …) where a test needs one.
    explicit LoopbackListener(httplib::Server& server, const char* host = "127.0.0.1");
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    int Port() const { return m_nPort; }

private:
    httplib::Server& m_server;
    int m_nPort = -1;
    std::atomic<bool> m_bEnded{false};
    std::thread m_thread;
};

// A 127.0.0.1 port that nobody listens on at the moment of the call (for "cannot connect", or
// for a server started as another process).
int FreeLoopbackPort();

} // namespace yfx::test
