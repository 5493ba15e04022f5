#pragma once
// One connection to the price memory's file and everything done through it: opening (folder,
// file, write-ahead log, schema, integrity), writing a results window's items, and reading
// summaries and histories back. Blocking; used by one thread at a time (the store thread).
//
// Every statement binds its values: the marketplace's texts are data, never SQL. A fault of
// the file (locked past the busy time-out, read-only, full disk, damaged) closes the
// connection: every call after it returns false, and Problem() says what happened.
#include "store/StoreSchema.h"
#include "store/StoreTypes.h"
#include "store/WatchTypes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace SQLite {
class Database;
class Exception;
} // namespace SQLite

namespace yfx::store {

class CPriceDatabase {
public:
    struct Options {
        std::string path;
        int busyTimeoutMs = 3000;
        // Seconds since the epoch; null: the system clock.
        std::function<std::int64_t()> clock;
        // The schema's steps; null: Migrations().
        const std::vector<Migration>* migrations = nullptr;
    };

    explicit CPriceDatabase(Options options);
    ~CPriceDatabase();
    CPriceDatabase(const CPriceDatabase&) = delete;
    CPriceDatabase& operator=(const CPriceDatabase&) = delete;

    // Makes the folder and the file when they are missing, switches on the write-ahead log,
    // brings the schema forward and checks the file. A file that is not a database or fails
    // the check is set aside (CorruptName) and a fresh one made: Renamed. Any other fault,
    // and a file of a newer schema (left as it is): Unavailable, and the connection stays
    // closed.
    StoreStatus Open();
    bool IsOpen() const { return m_db != nullptr; }

    // One results window's items in one transaction: each item's latest texts, and a price
    // row when its price or postage differs from its last row or that row is of an earlier
    // local day; a row never replaces an earlier one (a second change within a second is
    // written a second later). `rowsWritten` (may be null) counts the price rows written.
    // False on a fault.
    bool Record(const std::vector<Sighting>& batch, int* rowsWritten = nullptr);
    // One summary per query, in the order asked. False on a fault (`out` is then empty).
    bool Summaries(const std::vector<SummaryQuery>& queries, std::vector<PriceSummary>& out);
    bool History(const ItemKey& key, PriceHistory& out);
    // Deletes every row and every item that is not watched (the watch list stays), then gives the freed space back to the file system so that
    // nothing of it stays readable in the file.
    bool Clear();
    // Deletes the rows of days more than `keepDays` before today, and items left without rows
    // unless they are watched.
    bool Prune(int keepDays, int* rowsDeleted = nullptr);

    // The watch list. Watch records the sighting (its texts and a price row by Record's rule)
    // and watches it, in one transaction: Already when it was watched (its target is left as
    // it was), Full when kMaxWatched items are, Failed on a fault.
    WatchOutcome Watch(const Sighting& item, std::optional<std::int64_t> target);
    // `changed` (may be null): whether the item was watched. False on a fault.
    bool Unwatch(const ItemKey& key, bool* changed = nullptr);
    bool SetTarget(const ItemKey& key, std::optional<std::int64_t> target, bool* changed = nullptr);
    // Every watched item in the order added, with its current and lowest watched price and the
    // last 30 local days (today included) from its rows.
    bool Watched(std::vector<WatchedItem>& out);
    // Whether each key is watched, in the order asked.
    bool Watching(const std::vector<ItemKey>& keys, std::vector<bool>& out);
    // One check's findings in one transaction: a price row for each item found (Record's rule),
    // the alert rules (WatchRules.h) applied and their state kept, the check's time; items the
    // platform no longer knows (`gone`) marked so and kept with their rows. Items no longer
    // watched are skipped. `alerts` gets the drops to tell about.
    bool RecordCheck(const std::vector<CheckedItem>& found, const std::vector<ItemKey>& gone, int dropPercent,
                     std::vector<PriceAlert>& alerts);

    // What went wrong last (UTF-8), empty when nothing did.
    const std::string& Problem() const { return m_problem; }
    std::int64_t Now() const;
    const std::string& Path() const { return m_options.path; }

private:
    struct Statements;
    bool OpenFile(bool& corrupt);
    bool Fail(const SQLite::Exception& e);
    // Record's work for one sighting inside a transaction: the item's texts and, when its rule
    // wants one, a price row. True when a row was written; `id` gets the item's row id.
    bool WriteSighting(const Sighting& s, std::int64_t now, int today, std::int64_t& id);
    std::int64_t FindItemId(const ItemKey& key);
    std::string Describe(const SQLite::Exception& e) const;
    void Close();

    Options m_options;
    std::unique_ptr<SQLite::Database> m_db;
    std::unique_ptr<Statements> m_st;
    std::string m_problem;
};

} // namespace yfx::store
