#include "results/AsyncFetch.h"

#include "results/QueuedCall.h"

namespace yfx {

void CAsyncFetch::Start(QObject* receiver, net::Request request, Done done, int priority)
{
    Cancel();
    auto token = std::make_shared<int>(0);
    m_token = token;
    std::weak_ptr<int> alive = token;
    m_handle = CNetEngine::Shared().Submit(
        std::move(request),
        [this, alive, receiver, done = std::move(done)](net::Result result) {
            // Engine thread. The receiver is alive here: whoever destroys it cancels this
            // fetch first, and a cancel waits for a callback under way.
            PostQueued(receiver, [this, alive, done, result = std::move(result)] {
                if (alive.expired())
                    return; // cancelled, or another exchange started since
                m_handle = 0;
                m_token.reset();
                done(result);
            });
        },
        priority);
}

void CAsyncFetch::Cancel()
{
    if (m_handle != 0)
        CNetEngine::Shared().Cancel(m_handle);
    m_handle = 0;
    m_token.reset();
}

} // namespace yfx
