#pragma once
// One check of the watch list: every watched item is asked for at the open platform
// ("taobao.tbk.item.info.upgrade.get", at most 20 ids a request, one request at a time, items
// of one source per request: a list-search item by its numeric id), the prices found become
// rows by the store's rule, items the platform leaves out of its answer are marked gone (never
// dropped), and the alert rules give the drops to tell about. A rate limit waits (BackOff.h)
// and asks again for the same items; a refusal of one request (code 15) leaves its items as
// they were and goes on; any other refusal, an unreadable answer or no answer at all ends the
// check with a problem, keeping what was found before. No Qt.
//
// Callbacks run on the network engine's thread, the store's thread or the check's own waiting
// thread. Destroying the check cancels it: no callback runs after the destructor returns.
#include "market/Configuration.h"
#include "market/NetEngine.h"
#include "store/CPriceStore.h"
#include "store/WatchTypes.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace yfx::watch {

struct CheckOutcome {
    bool complete = false;    // every item was asked for and answered
    int items = 0;            // watched items
    int requests = 0;         // requests sent (repeats after a rate limit included)
    int found = 0;            // items the platform answered
    int gone = 0;             // items it no longer knows
    int rateLimits = 0;       // rate limits met
    std::chrono::seconds waited{0}; // time spent waiting for them
    std::vector<store::PriceAlert> alerts;
    std::string problem;      // UTF-8, empty when complete
};

class CWatchCheck {
public:
    // Calls `call` once after `delay` on some thread (tests answer at once).
    using Later = std::function<void(std::chrono::milliseconds delay, std::function<void()> call)>;
    static constexpr int kMaxRateLimitsInARow = 8; // then the check ends with what it has

    struct Settings {
        Configuration config; // the open platform's keys, as for the material search
        int dropPercent = 5;
        Later later;          // null: a thread of the check's own
    };

    CWatchCheck(CNetEngine& engine, store::CPriceStore& store, Settings settings);
    ~CWatchCheck();
    CWatchCheck(const CWatchCheck&) = delete;
    CWatchCheck& operator=(const CWatchCheck&) = delete;

    // Starts the check; `done` runs once when it has ended (never after the destructor has
    // returned; it must not destroy the check).
    void Start(std::function<void(CheckOutcome)> done);

    // The requests a list of items needs: ids of one source together, at most 20 a request.
    static std::vector<std::vector<store::ItemKey>> Batches(const std::vector<store::WatchedItem>& items);

    struct State; // shared with the callbacks under way

private:
    class Waiter;
    std::shared_ptr<State> m_state;
    std::unique_ptr<Waiter> m_waiter;
};

} // namespace yfx::watch
