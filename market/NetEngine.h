#pragma once
// The program's network engine: one thread of its own runs a libcurl multi handle and
// carries every exchange of the program (list answers, gateway requests, the configuration
// and category documents, pictures), so that no other thread ever waits for the network.
//
// Each exchange follows the rules of HttpTransfer.h (the same rules as the blocking calls):
// the same results, caps, time limits and file handling. An exchange that ends, whatever its
// result (its time limit passed, its cap reached), frees its place at once. Connections are kept alive and reused
// across exchanges to one host; where a host speaks HTTP/2 the exchanges share one
// multiplexed connection. At most kMaxPerHost exchanges run at once per host; the others
// wait in the engine's queue, lowest priority value first, then in the order submitted, and
// can be moved in that queue until they start.
//
// Completion callbacks run on the engine's thread: they must be quick and must not touch
// widgets (hand the result to the GUI thread with a queued call that carries its receiver).
#include "market/HttpTransfer.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

class CNetEngine {
public:
    using Handle = std::uint64_t; // 0: no exchange
    using Callback = std::function<void(yfx::net::Result)>;
    static constexpr int kMaxPerHost = 6;
    // What a person waits for (an answer, a document, a click) goes before pictures, which
    // take their tile's index as priority.
    static constexpr int kPriorityInteractive = -1000000;

    CNetEngine();
    // Cancels everything still under way (no callback runs) and ends the thread.
    ~CNetEngine();
    CNetEngine(const CNetEngine&) = delete;
    CNetEngine& operator=(const CNetEngine&) = delete;

    // The program's one engine, made on first use.
    static CNetEngine& Shared();

    // Any thread, also from a callback. `done` runs once on the engine's thread when the
    // exchange has ended (whatever its result), unless it was cancelled first. (Should libcurl
    // have refused the engine its multi handle, `done` runs at once with -1 and 0 comes back.)
    Handle Submit(yfx::net::Request request, Callback done, int priority = 0);
    // Any thread. When it returns, the callback of `handle` has not run and never will, or
    // has already finished (a callback running right now is waited for, except when Cancel
    // is called from that very callback). The transfer stops writing at once and is
    // abandoned; its temporary file is removed and nothing is renamed into place. Unknown or
    // finished handles: nothing happens. True when this call kept the callback from running.
    bool Cancel(Handle handle);
    // Any thread. An exchange that has not started yet takes its place by the new priority.
    void Reprioritize(Handle handle, int priority);

    // Exchanges running now / waiting in the queue, and the body bytes taken from the network
    // by every exchange that has ended (for tests and benchmarks).
    std::size_t Running() const;
    std::size_t Waiting() const;
    std::uint64_t BytesReceived() const;

private:
    struct Job;
    struct Gate;
    struct Key {
        int priority;
        std::uint64_t seq;
        Handle handle;
        bool operator<(const Key& o) const
        {
            return priority != o.priority ? priority < o.priority : seq < o.seq;
        }
    };

    void Run();
    void TakeOperations();
    void StartWaiting();
    void Complete(Job& job, int curlCode);
    void Abandon(Handle handle);

    void* m_multi = nullptr; // CURLM, engine thread only
    std::thread m_thread;

    mutable std::mutex m_mutex; // guards what follows, down to the thread-only part
    bool m_bStopping = false;
    std::uint64_t m_nextHandle = 1;
    std::uint64_t m_nextSeq = 1;
    std::vector<std::unique_ptr<Job>> m_submitted; // handed over, not yet taken by the thread
    std::vector<Handle> m_cancelled;
    std::vector<std::pair<Handle, int>> m_reprioritised;
    std::map<Handle, std::shared_ptr<Gate>> m_gates; // every job not yet completed
    std::size_t m_nRunning = 0;
    std::size_t m_nWaiting = 0;
    std::uint64_t m_nReceived = 0;

    // engine thread only
    std::map<Handle, std::unique_ptr<Job>> m_jobs;
    std::set<Key> m_queue;
    std::map<std::string, int> m_perHost;
};
