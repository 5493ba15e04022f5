#pragma once
// One exchange of the network engine whose result comes back on the GUI thread: the widget
// layer's way to ask the network for anything. GUI thread only.
//
// The result is handed to `done` by a queued call on `receiver`'s thread. Destroying the
// fetch, or starting another one with it, cancels the exchange: `done` is then never called,
// nothing more of it is written, and no call is left queued for the receiver. Keep the fetch
// as a member of the receiver (or of something the receiver outlives), so that a closed tab
// or a destroyed tile never receives a late answer.
#include "market/HttpTransfer.h"
#include "market/NetEngine.h"

#include <functional>
#include <memory>

class QObject;

namespace yfx {

class CAsyncFetch {
public:
    using Done = std::function<void(const net::Result&)>;

    CAsyncFetch() = default;
    ~CAsyncFetch() { Cancel(); }
    CAsyncFetch(const CAsyncFetch&) = delete;
    CAsyncFetch& operator=(const CAsyncFetch&) = delete;

    // Cancels what this fetch had under way, then submits `request`.
    void Start(QObject* receiver, net::Request request, Done done,
               int priority = CNetEngine::kPriorityInteractive);
    // Nothing of the exchange under way is delivered after this.
    void Cancel();
    // True from Start until `done` has been called or the fetch was cancelled.
    bool Pending() const { return m_handle != 0; }

private:
    CNetEngine::Handle m_handle = 0;
    std::shared_ptr<int> m_token; // tells a queued call whether it is still the fetch's own
};

} // namespace yfx
