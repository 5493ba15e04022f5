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
        {2,
         // watch: the items the user watches (at most 500), one row per item of items. The
         // watched price is a row's final price where known, else its price. told_price: the
         // price the user was last told about (the price when added, at first); seen_price: the
         // watched price at the last check; armed: 0 once a drop was told, 1 again when a check
         // sees the price go up; checked_time: 0 until the first check; gone: the platform no
         // longer knows the item.
         "CREATE TABLE watch("
         " item INTEGER PRIMARY KEY,"
         " added_time INTEGER NOT NULL,"
         " added_price INTEGER NOT NULL,"
         " target INTEGER,"
         " told_price INTEGER NOT NULL,"
         " seen_price INTEGER NOT NULL,"
         " armed INTEGER NOT NULL DEFAULT 1,"
         " checked_time INTEGER NOT NULL DEFAULT 0,"
         " gone INTEGER NOT NULL DEFAULT 0);"},
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
