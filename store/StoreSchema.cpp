#include "store/StoreSchema.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Transaction.h>

namespace yfx::store {

const std::vector<Migration>& Migrations()
{
    static const std::vector<Migration> steps = {
        {1,
         // items: the latest texts of every item seen, one row per source and item id.
         // prices: one row per change of price or postage, and at least one per local day the
         // item was seen; amounts in cents, time in seconds, day the local day number. The
         // rows of an item lie together (clustered by item and time).
         "CREATE TABLE items("
         " id INTEGER PRIMARY KEY,"
         " source INTEGER NOT NULL,"
         " item TEXT NOT NULL,"
         " title TEXT NOT NULL,"
         " picture TEXT NOT NULL,"
         " page TEXT NOT NULL,"
         " shop TEXT NOT NULL,"
         " UNIQUE(source, item));"
         "CREATE TABLE prices("
         " item INTEGER NOT NULL,"
         " time INTEGER NOT NULL,"
         " day INTEGER NOT NULL,"
         " price INTEGER NOT NULL,"
         " postage INTEGER NOT NULL,"
         " final_price INTEGER,"
         " coupon INTEGER,"
         " sales INTEGER,"
         " PRIMARY KEY(item, time)) WITHOUT ROWID;"},
    };
    return steps;
}

int NewestVersion(const std::vector<Migration>& steps)
{
    return steps.empty() ? 0 : steps.back().version;
}

MigrateOutcome Migrate(SQLite::Database& db, const std::vector<Migration>& steps)
{
    const int newest = NewestVersion(steps);
    int version = db.execAndGet("PRAGMA user_version").getInt();
    if (version > newest)
        return MigrateOutcome::Newer;
    if (version == newest)
        return MigrateOutcome::Current;
    for (const Migration& step : steps) {
        if (step.version <= version)
            continue;
        // A second program may be migrating the same file: the write lock is taken first and
        // the version read again under it.
        SQLite::Transaction transaction(db, SQLite::TransactionBehavior::IMMEDIATE);
        version = db.execAndGet("PRAGMA user_version").getInt();
        if (version >= step.version)
            continue;
        db.exec(step.sql);
        db.exec("PRAGMA user_version = " + std::to_string(step.version));
        transaction.commit();
        version = step.version;
    }
    return MigrateOutcome::Migrated;
}

} // namespace yfx::store
