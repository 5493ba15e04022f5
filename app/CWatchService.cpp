#include "app/CWatchService.h"

#include "results/QueuedCall.h"

#include "watch/CheckLock.h"

#include <QSettings>

#include <algorithm>
#include <ctime>

namespace {

std::int64_t Now()
{
    return static_cast<std::int64_t>(std::time(nullptr));
}

} // namespace

CWatchService::CWatchService(CNetEngine& engine, yfx::store::CPriceStore& store, std::string storePath, QObject* parent)
    : QObject(parent), m_engine(engine), m_store(store),
      m_lock(std::make_unique<yfx::watch::CCheckLock>(yfx::watch::CCheckLock::PathFor(storePath)))
{
    qRegisterMetaType<std::vector<yfx::store::PriceAlert>>("std::vector<yfx::store::PriceAlert>");
    m_next.setSingleShot(true);
    connect(&m_next, &QTimer::timeout, this, &CWatchService::CheckNow);
    m_retry.setSingleShot(true);
    m_retry.setInterval(1000);
    connect(&m_retry, &QTimer::timeout, this, &CWatchService::TryBegin);
}

CWatchService::~CWatchService()
{
    m_check.reset(); // no callback after this
}

void CWatchService::SetConfiguration(const Configuration& config)
{
    m_config = config;
    if (m_bAwaitingKeys && !m_config.appKey.empty() && !m_config.appSecret.empty()) {
        m_bAwaitingKeys = false; // the check that found no keys is due now
        if (m_state == State::Idle)
            CheckNow();
    }
}

int CWatchService::IntervalHours()
{
    return std::clamp(QSettings().value(QStringLiteral("watch/intervalHours"), 6).toInt(), 1, 168);
}

int CWatchService::DropPercent()
{
    return std::clamp(QSettings().value(QStringLiteral("watch/dropPercent"), 5).toInt(), 1, 90);
}

std::int64_t CWatchService::LastCheck() const
{
    return m_lock->LastCheck();
}

void CWatchService::Start()
{
    Schedule();
}

void CWatchService::Reschedule()
{
    if (m_state == State::Idle)
        Schedule();
}

void CWatchService::Schedule()
{
    const std::int64_t interval = std::int64_t{IntervalHours()} * 3600;
    const std::int64_t due = LastCheck() + interval - Now();
    // QTimer takes an int of milliseconds: at most a day at a time, then look again
    const std::int64_t seconds = std::clamp<std::int64_t>(due, 0, 86400);
    m_next.start(static_cast<int>(seconds * 1000));
}

void CWatchService::SetState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged();
}

void CWatchService::CheckNow()
{
    if (m_state != State::Idle)
        return;
    m_next.stop();
    m_waitedForOther = false;
    TryBegin();
}

void CWatchService::TryBegin()
{
    bool busy = false;
    std::string problem;
    if (!m_lock->TryLock(busy, problem)) {
        if (busy) { // another program checks: wait for it, without blocking this thread
            m_waitedForOther = true;
            SetState(State::Waiting);
            m_retry.start();
            return;
        }
        m_last = {};
        m_last.problem = problem;
        SetState(State::Idle);
        emit checked();
        m_next.start(kRetryAfterFaultMs); // the check is still due: not at once again
        return;
    }
    if (m_waitedForOther) { // it has just checked: not again
        m_lock->Unlock();
        SetState(State::Idle);
        emit checked();
        Schedule();
        return;
    }
    if (m_config.appKey.empty() || m_config.appSecret.empty()) {
        m_lock->Unlock();
        m_last = {};
        m_last.problem = "没有开放平台的 AppKey 和 AppSecret";
        m_bAwaitingKeys = true; // checked as soon as the keys are known
        emit checked();
        return;
    }
    SetState(State::Checking);
    yfx::watch::CWatchCheck::Settings settings;
    settings.config = m_config;
    settings.dropPercent = DropPercent();
    m_check = std::make_unique<yfx::watch::CWatchCheck>(m_engine, m_store, std::move(settings));
    m_check->Start([this](yfx::watch::CheckOutcome outcome) {
        // engine or store thread: to the GUI thread, dropped when the service is gone
        yfx::PostQueued(this, [this, outcome = std::move(outcome)]() mutable { Finished(std::move(outcome)); });
    });
}

void CWatchService::Finished(yfx::watch::CheckOutcome outcome)
{
    m_check.reset();
    m_lock->SetLastCheck(Now());
    m_lock->Unlock();
    m_last = std::move(outcome);
    SetState(State::Idle);
    if (!m_last.alerts.empty())
        emit alerts(m_last.alerts);
    emit checked();
    Schedule();
}
