#include "results/CPriceMemory.h"

#include "results/QueuedCall.h"
#include "store/Sighting.h"

namespace {
CPriceMemory* g_mainMemory = nullptr;
}

CPriceMemory* MainPriceMemory()
{
    return g_mainMemory;
}

void SetMainPriceMemory(CPriceMemory* memory)
{
    g_mainMemory = memory;
}

CPriceMemory::CPriceMemory(yfx::store::CPriceStore::Settings settings, bool recording, QObject* parent)
    : QObject(parent), m_strPath(settings.database.path), m_bRecording(recording)
{
    // The status comes from the store thread; it is read here, on this object's thread.
    m_store = std::make_unique<yfx::store::CPriceStore>(std::move(settings), [this](const yfx::store::StoreStatus& s) {
        yfx::PostQueued(this, [this, s] { OnStatus(s); });
    });
    RefreshWatched();
}

CPriceMemory::~CPriceMemory()
{
    m_store.reset(); // answers it still posts are dropped with this object
    if (g_mainMemory == this)
        g_mainMemory = nullptr;
}

void CPriceMemory::OnStatus(const yfx::store::StoreStatus& status)
{
    using State = yfx::store::StoreStatus::State;
    const QString message = QString::fromStdString(status.message);
    if (status.state == State::Unavailable) {
        if (!m_bAvailable)
            return;
        m_bAvailable = false;
        m_strStatus = QStringLiteral("价格记录不可用：") + message;
        emit unavailable(m_strStatus);
    } else if (status.state == State::Renamed) {
        m_strStatus = QStringLiteral("价格记录文件已损坏，已改名为 %1，从头记录").arg(message);
        emit notice(m_strStatus);
    }
}

quint64 CPriceMemory::Expect(QObject* receiver)
{
    const quint64 id = m_nextId++;
    m_pending.emplace(id, QPointer<QObject>(receiver));
    return id;
}

bool CPriceMemory::Deliverable(quint64 id)
{
    const auto it = m_pending.find(id);
    if (it == m_pending.end())
        return false;
    const bool alive = !it->second.isNull();
    m_pending.erase(it);
    return alive;
}

void CPriceMemory::Record(const std::vector<CTBRecord>& records)
{
    if (!m_bRecording || !m_bAvailable || records.empty())
        return;
    m_store->Record(std::vector<CTBRecord>(records));
}

template <class Value, class Done>
auto CPriceMemory::Relay(QObject* receiver, Done done)
{
    const quint64 id = receiver ? Expect(receiver) : 0;
    return [this, id, done = std::move(done)](Value value) mutable {
        yfx::PostQueued(this, [this, id, done = std::move(done), value = std::move(value)] {
            if (id == 0 || Deliverable(id))
                done(value);
        });
    };
}

void CPriceMemory::AskSummaries(QObject* receiver, std::vector<yfx::store::SummaryQuery> queries, SummariesDone done)
{
    m_store->AskSummaries(std::move(queries), Relay<std::vector<yfx::store::PriceSummary>>(receiver, std::move(done)));
}

void CPriceMemory::AskHistory(QObject* receiver, yfx::store::ItemKey key, HistoryDone done)
{
    m_store->AskHistory(std::move(key), Relay<yfx::store::PriceHistory>(receiver, std::move(done)));
}

void CPriceMemory::Watch(QObject* receiver, const CTBRecord& record, std::optional<std::int64_t> target, WatchDone done)
{
    using yfx::store::WatchOutcome;
    std::optional<yfx::store::Sighting> item = yfx::store::SightingFromRecord(record);
    auto answer = Relay<WatchOutcome>(receiver, [this, key = yfx::store::KeyOf(record), done = std::move(done)](WatchOutcome outcome) {
        if (outcome == WatchOutcome::Added || outcome == WatchOutcome::Already) {
            m_watched.insert(key);
            RefreshWatched();
        }
        if (done)
            done(outcome);
    });
    if (!item || !m_bAvailable) {
        answer(WatchOutcome::Failed); // an item without an id or a price cannot be watched
        return;
    }
    m_store->Watch(std::move(*item), target, std::move(answer));
}

void CPriceMemory::Unwatch(const yfx::store::ItemKey& key)
{
    m_watched.erase(key); // a menu opened now already offers to watch it again
    m_store->Unwatch(key);
    RefreshWatched(); // read after the removal: the store runs its jobs in order
}

void CPriceMemory::SetTarget(const yfx::store::ItemKey& key, std::optional<std::int64_t> target)
{
    m_store->SetTarget(key, target);
    RefreshWatched();
}

void CPriceMemory::AskWatched(QObject* receiver, WatchedDone done)
{
    m_store->AskWatched(Relay<std::vector<yfx::store::WatchedItem>>(receiver, std::move(done)));
}

void CPriceMemory::RefreshWatched()
{
    m_store->AskWatched(Relay<std::vector<yfx::store::WatchedItem>>(nullptr, [this](const std::vector<yfx::store::WatchedItem>& items) {
        m_watchedItems = items;
        m_watched.clear();
        for (const yfx::store::WatchedItem& item : items)
            m_watched.insert(item.key);
        emit watchListChanged();
    }));
}

void CPriceMemory::Clear(QObject* receiver, ClearDone done)
{
    const quint64 id = receiver ? Expect(receiver) : 0;
    m_store->Clear([this, id, done = std::move(done)](bool ok) mutable {
        yfx::PostQueued(this, [this, id, ok, done = std::move(done)] {
            if (ok)
                emit cleared();
            if (id != 0 && Deliverable(id) && done)
                done(ok);
        });
    });
    RefreshWatched(); // the watch list went with everything else
}

void CPriceMemory::Prune(int days)
{
    m_store->Prune(days);
}

void CPriceMemory::SetRecording(bool on)
{
    if (on == m_bRecording)
        return;
    m_bRecording = on;
    emit recordingChanged(on);
}
