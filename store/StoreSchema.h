#pragma once
// The store's tables and their history. The file's schema version is PRAGMA user_version; a
// file of an older version is brought forward one step at a time, each step in the same
// transaction as the version it sets, so a file is always at one version or the next.
#include <string>
#include <vector>

namespace SQLite {
class Database;
}

namespace yfx::store {

struct Migration {
    int version;     // the version the file has after this step
    const char* sql; // statements of the step
};

// Every step from an empty file to the newest version, oldest first. Later tables (a watch
// list, a cache of documents) are added here as further steps; a step is never changed once
// released.
const std::vector<Migration>& Migrations();

// The newest version `steps` lead to (0 for none).
int NewestVersion(const std::vector<Migration>& steps);

enum class MigrateOutcome { Current, Migrated, Newer };

// Brings the file forward to the newest version of `steps`. Newer: the file is of a later
// version than the steps know (it is left alone). Throws SQLite::Exception on a database
// fault (nothing of a failed step stays).
MigrateOutcome Migrate(SQLite::Database& db, const std::vector<Migration>& steps);

} // namespace yfx::store
