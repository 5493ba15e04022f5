#include "store/CPriceStore.h"

#include "store/Sighting.h"

namespace yfx::store {

CPriceStore::CPriceStore(Settings settings, StatusCallback onStatus)
    : m_settings(std::move(settings)), m_onStatus(std::move(onStatus)), m_thread([this] { Run(); })
{
}

CPriceStore::~CPriceStore()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void CPriceStore::Post(Job job)
{
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void CPriceStore::Run()
{
    CPriceDatabase db(m_settings.database);
    const StoreStatus status = db.Open();
    if (status.state == StoreStatus::State::Unavailable) {
        m_available = false;
        m_reported = true;
    } else {
        db.Prune(m_settings.keepDays);
    }
    if (m_onStatus) {
        if (status.state != StoreStatus::State::Unavailable && !db.IsOpen()) {
            // the file opened but could not be pruned
            m_available = false;
            m_reported = true;
            m_onStatus({StoreStatus::State::Unavailable, db.Problem()});
        } else {
            m_onStatus(status);
        }
    }
    for (;;) {
        Job job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
            if (m_jobs.empty())
                return; // stopping, and every job handed over is done
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        job(db);
        Check(db);
    }
}

void CPriceStore::Check(CPriceDatabase& db)
{
    if (db.IsOpen() || m_reported)
        return;
    m_reported = true;
    m_available = false;
    if (m_onStatus)
        m_onStatus({StoreStatus::State::Unavailable, db.Problem()});
}

void CPriceStore::Record(std::vector<CTBRecord> records, std::function<void(int)> done)
{
    Post([records = std::move(records), done = std::move(done)](CPriceDatabase& db) {
        std::vector<Sighting> batch;
        batch.reserve(records.size());
        for (const CTBRecord& r : records)
            if (std::optional<Sighting> s = SightingFromRecord(r))
                batch.push_back(std::move(*s));
        int written = 0;
        const bool ok = db.Record(batch, &written);
        if (done)
            done(ok ? written : -1);
    });
}

void CPriceStore::Record(std::vector<Sighting> sightings, std::function<void(int)> done)
{
    Post([sightings = std::move(sightings), done = std::move(done)](CPriceDatabase& db) {
        int written = 0;
        const bool ok = db.Record(sightings, &written);
        if (done)
            done(ok ? written : -1);
    });
}

void CPriceStore::AskSummaries(std::vector<SummaryQuery> queries, std::function<void(std::vector<PriceSummary>)> done)
{
    Post([queries = std::move(queries), done = std::move(done)](CPriceDatabase& db) {
        std::vector<PriceSummary> out;
        db.Summaries(queries, out);
        done(std::move(out));
    });
}

void CPriceStore::AskHistory(ItemKey key, std::function<void(PriceHistory)> done)
{
    Post([key = std::move(key), done = std::move(done)](CPriceDatabase& db) {
        PriceHistory history;
        db.History(key, history);
        done(std::move(history));
    });
}

void CPriceStore::Clear(std::function<void(bool)> done)
{
    Post([done = std::move(done)](CPriceDatabase& db) {
        const bool ok = db.Clear();
        if (done)
            done(ok);
    });
}

void CPriceStore::Prune(int keepDays, std::function<void(int)> done)
{
    Post([keepDays, done = std::move(done)](CPriceDatabase& db) {
        int deleted = 0;
        const bool ok = db.Prune(keepDays, &deleted);
        if (done)
            done(ok ? deleted : -1);
    });
}

void CPriceStore::Watch(Sighting item, std::optional<std::int64_t> target, std::function<void(WatchOutcome)> done)
{
    Post([item = std::move(item), target, done = std::move(done)](CPriceDatabase& db) {
        const WatchOutcome outcome = db.Watch(item, target);
        if (done)
            done(outcome);
    });
}

void CPriceStore::Unwatch(ItemKey key, std::function<void(bool)> done)
{
    Post([key = std::move(key), done = std::move(done)](CPriceDatabase& db) {
        bool changed = false;
        db.Unwatch(key, &changed);
        if (done)
            done(changed);
    });
}

void CPriceStore::SetTarget(ItemKey key, std::optional<std::int64_t> target, std::function<void(bool)> done)
{
    Post([key = std::move(key), target, done = std::move(done)](CPriceDatabase& db) {
        bool changed = false;
        db.SetTarget(key, target, &changed);
        if (done)
            done(changed);
    });
}

void CPriceStore::AskWatched(std::function<void(std::vector<WatchedItem>)> done)
{
    Post([done = std::move(done)](CPriceDatabase& db) {
        std::vector<WatchedItem> out;
        db.Watched(out);
        done(std::move(out));
    });
}

void CPriceStore::AskWatching(std::vector<ItemKey> keys, std::function<void(std::vector<bool>)> done)
{
    Post([keys = std::move(keys), done = std::move(done)](CPriceDatabase& db) {
        std::vector<bool> out;
        if (!db.Watching(keys, out))
            out.assign(keys.size(), false);
        done(std::move(out));
    });
}

void CPriceStore::RecordCheck(std::vector<CheckedItem> found, std::vector<ItemKey> gone, int dropPercent,
                              std::function<void(bool, std::vector<PriceAlert>)> done)
{
    Post([found = std::move(found), gone = std::move(gone), dropPercent, done = std::move(done)](CPriceDatabase& db) {
        std::vector<PriceAlert> alerts;
        const bool ok = db.RecordCheck(found, gone, dropPercent, alerts);
        if (done)
            done(ok, std::move(alerts));
    });
}

void CPriceStore::Call(std::function<void()> call)
{
    Post([call = std::move(call)](CPriceDatabase&) { call(); });
}

} // namespace yfx::store
