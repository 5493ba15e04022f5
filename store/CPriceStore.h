#pragma once
// The price memory's own thread: every read and write of the store file runs on it, never on
// the GUI thread or the network engine's. Other threads hand jobs over (a locked queue) and
// get their answers through callbacks that run on the store thread, in the order the jobs were
// handed over; a callback that needs another thread posts itself there (the Qt layer turns
// it into a queued call on its receiver).
//
// The file is opened by the first job, then rows older than the keeping time are deleted.
// When the file cannot be used, or a fault happens later, memory is off for the rest of the
// run: the status callback says so once, writes are dropped and reads answer nothing.
// Destroying the store finishes every job handed over before, then closes the file.
#include "market/TBRecord.h"
#include "store/CPriceDatabase.h"
#include "store/StoreTypes.h"
#include "store/WatchTypes.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace yfx::store {

class CPriceStore {
public:
    static constexpr int kKeepDays = 400;

    struct Settings {
        CPriceDatabase::Options database;
        int keepDays = kKeepDays; // rows of days older than this are deleted at start
    };
    // Store thread: Ready or Renamed once the file is open, Unavailable when it cannot be used
    // (once, at open or at the first fault later).
    using StatusCallback = std::function<void(const StoreStatus&)>;

    CPriceStore(Settings settings, StatusCallback onStatus);
    ~CPriceStore();
    CPriceStore(const CPriceStore&) = delete;
    CPriceStore& operator=(const CPriceStore&) = delete;

    // One results window's records, converted on the store thread and written in one
    // transaction. `done` (may be empty) gets the number of price rows written, -1 when nothing
    // was written (memory off or a fault).
    void Record(std::vector<CTBRecord> records, std::function<void(int)> done = {});
    void Record(std::vector<Sighting> sightings, std::function<void(int)> done = {});
    // One summary per query (none when memory is off).
    void AskSummaries(std::vector<SummaryQuery> queries, std::function<void(std::vector<PriceSummary>)> done);
    void AskHistory(ItemKey key, std::function<void(PriceHistory)> done);
    // Deletes everything remembered; true when it was deleted.
    void Clear(std::function<void(bool)> done);
    // Deletes rows of days older than `keepDays`; `done` (may be empty) gets the number of rows
    // deleted, -1 on a fault.
    void Prune(int keepDays, std::function<void(int)> done = {});
    // The watch list (CPriceDatabase.h says what each does). Failed, false or nothing when
    // memory is off.
    void Watch(Sighting item, std::optional<std::int64_t> target, std::function<void(WatchOutcome)> done);
    // `done` gets true when the item was watched and no longer is / its target was set.
    void Unwatch(ItemKey key, std::function<void(bool)> done = {});
    void SetTarget(ItemKey key, std::optional<std::int64_t> target, std::function<void(bool)> done = {});
    void AskWatched(std::function<void(std::vector<WatchedItem>)> done);
    // Whether each key is watched, in the order asked (all false when memory is off).
    void AskWatching(std::vector<ItemKey> keys, std::function<void(std::vector<bool>)> done);
    // One check's findings (CPriceDatabase::RecordCheck); `done` gets the alerts, and false on
    // a fault.
    void RecordCheck(std::vector<CheckedItem> found, std::vector<ItemKey> gone, int dropPercent,
                     std::function<void(bool, std::vector<PriceAlert>)> done);
    // Runs `call` on the store thread after every job handed over before it.
    void Call(std::function<void()> call);

    // False once the store has said it is unavailable. Any thread.
    bool Available() const { return m_available.load(); }

private:
    using Job = std::function<void(CPriceDatabase&)>;
    void Post(Job job);
    void Run();
    // After a job: a fault closed the database.
    void Check(CPriceDatabase& db);

    Settings m_settings;
    StatusCallback m_onStatus;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_jobs;
    bool m_stop = false;
    bool m_reported = false; // store thread only
    std::atomic<bool> m_available{true};
    std::thread m_thread; // last: started when everything above exists
};

} // namespace yfx::store
