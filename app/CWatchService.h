#pragma once
// Checks the watch list while the program runs: every N hours (QSettings "watch/intervalHours",
// 1..168, default 6) and at start when the last check, by this program or the headless one, is
// older than that. The check itself (watch/CWatchCheck) runs on the engine's and the store's
// threads; its end comes back to the GUI thread as a queued call. A check that another program
// is running is waited for without blocking (the lock is tried again each second) and not
// repeated. Alerts use "watch/dropPercent" (1..90, default 5).
#include "market/Configuration.h"
#include "store/WatchTypes.h"
#include "watch/CWatchCheck.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

class CNetEngine;
namespace yfx::store {
class CPriceStore;
}
namespace yfx::watch {
class CCheckLock;
}

class CWatchService : public QObject {
    Q_OBJECT
public:
    enum class State { Idle, Waiting, Checking };
    // A check that could not take its lock file is tried again after this long.
    static constexpr int kRetryAfterFaultMs = 10 * 60 * 1000;

    CWatchService(CNetEngine& engine, yfx::store::CPriceStore& store, std::string storePath, QObject* parent);
    ~CWatchService() override;

    // The keys to check with; a check without an application key and secret does not run.
    void SetConfiguration(const Configuration& config);
    // Schedules the checks (the first at once when the last is older than the interval).
    void Start();
    // The interval setting changed: the next check is scheduled anew.
    void Reschedule();
    // Checks now, unless a check is under way.
    void CheckNow();

    State CurrentState() const { return m_state; }
    std::int64_t LastCheck() const; // seconds since the epoch, 0: never
    const yfx::watch::CheckOutcome& LastOutcome() const { return m_last; }

    static int IntervalHours(); // the setting, clamped
    static int DropPercent();

signals:
    void alerts(std::vector<yfx::store::PriceAlert> alerts);
    void checked(); // a check ended (or another program's was waited for)
    void stateChanged();

private:
    void TryBegin();
    void Finished(yfx::watch::CheckOutcome outcome);
    void Schedule();
    void SetState(State state);

    CNetEngine& m_engine;
    yfx::store::CPriceStore& m_store;
    std::unique_ptr<yfx::watch::CCheckLock> m_lock;
    std::unique_ptr<yfx::watch::CWatchCheck> m_check;
    Configuration m_config;
    QTimer m_next;  // the next check
    QTimer m_retry; // the lock tried again
    State m_state = State::Idle;
    bool m_waitedForOther = false;
    bool m_bAwaitingKeys = false; // a due check found no keys: it runs when they come
    yfx::watch::CheckOutcome m_last;
};
