#include "results/CPriceMemory.h"

#include "results/QueuedCall.h"

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
    : QObject(parent), m_bRecording(recording)
{
    // The status comes from the store thread; it is read here, on this object's thread.
    m_store = std::make_unique<yfx::store::CPriceStore>(std::move(settings), [this](const yfx::store::StoreStatus& s) {
        yfx::PostQueued(this, [this, s] { OnStatus(s); });
    });
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

void CPriceMemory::AskSummaries(QObject* receiver, std::vector<yfx::store::SummaryQuery> queries, SummariesDone done)
{
    const quint64 id = Expect(receiver);
    m_store->AskSummaries(std::move(queries),
                          [this, id, done = std::move(done)](std::vector<yfx::store::PriceSummary> summaries) mutable {
                              yfx::PostQueued(this, [this, id, done = std::move(done), summaries = std::move(summaries)] {
                                  if (Deliverable(id))
                                      done(summaries);
                              });
                          });
}

void CPriceMemory::AskHistory(QObject* receiver, yfx::store::ItemKey key, HistoryDone done)
{
    const quint64 id = Expect(receiver);
    m_store->AskHistory(std::move(key), [this, id, done = std::move(done)](yfx::store::PriceHistory history) mutable {
        yfx::PostQueued(this, [this, id, done = std::move(done), history = std::move(history)] {
            if (Deliverable(id))
                done(history);
        });
    });
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
