#include "store/CPriceDatabase.h"

#include "store/LocalDay.h"
#include "store/StoreFile.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <sqlite3.h>

#include <algorithm>
#include <ctime>

namespace yfx::store {

namespace {

void BindOptional(SQLite::Statement& st, int index, const std::optional<std::int64_t>& value)
{
    if (value)
        st.bind(index, static_cast<std::int64_t>(*value));
    else
        st.bind(index); // NULL
}

std::optional<std::int64_t> OptionalColumn(SQLite::Statement& st, int index)
{
    const SQLite::Column c = st.getColumn(index);
    if (c.isNull())
        return std::nullopt;
    return c.getInt64();
}

} // namespace

struct CPriceDatabase::Statements {
    explicit Statements(SQLite::Database& db)
        : findItem(db, "SELECT id, title, picture, page, shop FROM items WHERE source = ?1 AND item = ?2"),
          insertItem(db, "INSERT INTO items(source, item, title, picture, page, shop) VALUES(?1, ?2, ?3, ?4, ?5, ?6)"),
          updateItem(db, "UPDATE items SET title = ?2, picture = ?3, page = ?4, shop = ?5 WHERE id = ?1"),
          lastPrice(db, "SELECT day, price, postage, time FROM prices WHERE item = ?1 ORDER BY time DESC LIMIT 1"),
          insertPrice(db, "INSERT OR REPLACE INTO prices(item, time, day, price, postage, final_price, coupon, sales)"
                          " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)"),
          rowsOf(db, "SELECT p.time, p.day, p.price, p.postage, p.final_price, p.coupon, p.sales"
                     " FROM items i JOIN prices p ON p.item = i.id"
                     " WHERE i.source = ?1 AND i.item = ?2 ORDER BY p.time")
    {
    }
    SQLite::Statement findItem;
    SQLite::Statement insertItem;
    SQLite::Statement updateItem;
    SQLite::Statement lastPrice;
    SQLite::Statement insertPrice;
    SQLite::Statement rowsOf;
};

CPriceDatabase::CPriceDatabase(Options options) : m_options(std::move(options)) {}

CPriceDatabase::~CPriceDatabase()
{
    Close();
}

void CPriceDatabase::Close()
{
    m_st.reset();
    m_db.reset();
}

std::int64_t CPriceDatabase::Now() const
{
    return m_options.clock ? m_options.clock() : static_cast<std::int64_t>(std::time(nullptr));
}

std::string CPriceDatabase::Describe(const SQLite::Exception& e) const
{
    switch (e.getErrorCode()) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return m_options.path + " 被另一个程序锁住";
    case SQLITE_FULL:
        return "磁盘已满";
    case SQLITE_READONLY:
        return m_options.path + " 只读";
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return m_options.path + " 没有权限";
    case SQLITE_CANTOPEN:
        return "无法打开 " + m_options.path;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return m_options.path + " 已损坏";
    case SQLITE_IOERR:
        return m_options.path + " 读写出错（" + e.what() + "）";
    default:
        return e.what();
    }
}

bool CPriceDatabase::Fail(const SQLite::Exception& e)
{
    m_problem = Describe(e);
    Close();
    return false;
}

bool CPriceDatabase::OpenFile(bool& corrupt)
{
    corrupt = false;
    try {
        m_db = std::make_unique<SQLite::Database>(m_options.path, SQLite::OPEN_READWRITE, m_options.busyTimeoutMs);
        if (sqlite3_db_readonly(m_db->getHandle(), "main") == 1) {
            m_problem = m_options.path + " 只读";
            Close();
            return false;
        }
        const std::vector<Migration>& steps = m_options.migrations ? *m_options.migrations : Migrations();
        const int version = m_db->execAndGet("PRAGMA user_version").getInt();
        if (version > NewestVersion(steps)) {
            m_problem = m_options.path + " 由较新版本的程序写入（格式 " + std::to_string(version) + "）";
            Close();
            return false;
        }
        m_db->execAndGet("PRAGMA journal_mode = WAL");
        m_db->exec("PRAGMA synchronous = NORMAL");
        if (Migrate(*m_db, steps) == MigrateOutcome::Newer) {
            m_problem = m_options.path + " 由较新版本的程序写入";
            Close();
            return false;
        }
        const std::string check = m_db->execAndGet("PRAGMA quick_check").getString();
        if (check != "ok") {
            corrupt = true;
            Close();
            return false;
        }
        m_st = std::make_unique<Statements>(*m_db);
        return true;
    } catch (const SQLite::Exception& e) {
        corrupt = e.getErrorCode() == SQLITE_NOTADB || e.getErrorCode() == SQLITE_CORRUPT;
        return Fail(e);
    }
}

StoreStatus CPriceDatabase::Open()
{
    Close();
    m_problem.clear();
    auto unavailable = [this] { return StoreStatus{StoreStatus::State::Unavailable, m_problem}; };
    if (m_options.path.empty()) {
        m_problem = "找不到用户的数据文件夹";
        return unavailable();
    }
    if (!PrepareStoreFolder(m_options.path, m_problem) || !PrepareStoreFile(m_options.path, m_problem))
        return unavailable();
    bool corrupt = false;
    if (OpenFile(corrupt))
        return {};
    if (!corrupt)
        return unavailable();

    // A damaged file is set aside, never repaired in place or deleted: it may still be read.
    const std::string newName = CorruptName(m_options.path, Now());
    if (!SetAside(m_options.path, newName, m_problem) || !PrepareStoreFile(m_options.path, m_problem))
        return unavailable();
    if (!OpenFile(corrupt))
        return unavailable();
    m_problem.clear();
    return {StoreStatus::State::Renamed, newName};
}

bool CPriceDatabase::Record(const std::vector<Sighting>& batch, int* rowsWritten)
{
    if (rowsWritten)
        *rowsWritten = 0;
    if (!m_db)
        return false;
    const std::int64_t now = Now();
    const int today = LocalDay(now);
    int written = 0;
    try {
        SQLite::Transaction transaction(*m_db, SQLite::TransactionBehavior::IMMEDIATE);
        for (const Sighting& s : batch) {
            const int source = static_cast<int>(s.key.source);
            SQLite::Statement& find = m_st->findItem;
            find.reset();
            find.bind(1, source);
            find.bind(2, s.key.itemId);
            std::int64_t id = 0;
            if (find.executeStep()) {
                id = find.getColumn(0).getInt64();
                const bool same = find.getColumn(1).getString() == s.title && find.getColumn(2).getString() == s.picture &&
                                  find.getColumn(3).getString() == s.page && find.getColumn(4).getString() == s.shop;
                find.reset();
                if (!same) {
                    SQLite::Statement& update = m_st->updateItem;
                    update.reset();
                    update.bind(1, static_cast<std::int64_t>(id));
                    update.bind(2, s.title);
                    update.bind(3, s.picture);
                    update.bind(4, s.page);
                    update.bind(5, s.shop);
                    update.exec();
                }
            } else {
                find.reset();
                SQLite::Statement& insert = m_st->insertItem;
                insert.reset();
                insert.bind(1, source);
                insert.bind(2, s.key.itemId);
                insert.bind(3, s.title);
                insert.bind(4, s.picture);
                insert.bind(5, s.page);
                insert.bind(6, s.shop);
                insert.exec();
                id = m_db->getLastInsertRowid();
            }

            SQLite::Statement& last = m_st->lastPrice;
            last.reset();
            last.bind(1, static_cast<std::int64_t>(id));
            bool wanted = true;
            std::int64_t time = now;
            if (last.executeStep()) {
                wanted = last.getColumn(0).getInt() < today || last.getColumn(1).getInt64() != s.price ||
                         last.getColumn(2).getInt64() != s.postage;
                // A change within the second of the last row (or a clock set back) comes after it.
                time = std::max(now, last.getColumn(3).getInt64() + 1);
            }
            last.reset();
            if (!wanted)
                continue;
            SQLite::Statement& row = m_st->insertPrice;
            row.reset();
            row.bind(1, static_cast<std::int64_t>(id));
            row.bind(2, time);
            row.bind(3, today);
            row.bind(4, static_cast<std::int64_t>(s.price));
            row.bind(5, static_cast<std::int64_t>(s.postage));
            BindOptional(row, 6, s.finalPrice);
            BindOptional(row, 7, s.coupon);
            BindOptional(row, 8, s.sales);
            row.exec();
            ++written;
        }
        transaction.commit();
    } catch (const SQLite::Exception& e) {
        return Fail(e);
    }
    if (rowsWritten)
        *rowsWritten = written;
    return true;
}

bool CPriceDatabase::Summaries(const std::vector<SummaryQuery>& queries, std::vector<PriceSummary>& out)
{
    out.clear();
    if (!m_db)
        return false;
    try {
        // One read transaction: every summary sees the same state of the file.
        SQLite::Transaction transaction(*m_db, SQLite::TransactionBehavior::DEFERRED);
        out.reserve(queries.size());
        std::vector<int> days;
        for (const SummaryQuery& q : queries) {
            PriceSummary s;
            s.key = q.key;
            s.currentTotal = q.currentTotal;
            SQLite::Statement& rows = m_st->rowsOf;
            rows.reset();
            rows.bind(1, static_cast<int>(q.key.source));
            rows.bind(2, q.key.itemId);
            days.clear();
            while (rows.executeStep()) {
                const int day = rows.getColumn(1).getInt();
                const std::int64_t total = rows.getColumn(2).getInt64() + rows.getColumn(3).getInt64();
                if (s.rows == 0 || total <= s.lowest) {
                    s.lowestDay = s.rows == 0 || total < s.lowest ? day : std::max(s.lowestDay, day);
                    s.lowest = total;
                }
                if (s.rows == 0 || total > s.highest)
                    s.highest = total;
                if (total != q.currentTotal)
                    s.lastDifferent = total;
                days.push_back(day);
                ++s.rows;
            }
            rows.reset();
            std::sort(days.begin(), days.end());
            s.days = static_cast<int>(std::unique(days.begin(), days.end()) - days.begin());
            out.push_back(std::move(s));
        }
        transaction.commit();
    } catch (const SQLite::Exception& e) {
        out.clear();
        return Fail(e);
    }
    return true;
}

bool CPriceDatabase::History(const ItemKey& key, PriceHistory& out)
{
    out = PriceHistory{};
    out.key = key;
    if (!m_db)
        return false;
    try {
        SQLite::Transaction transaction(*m_db, SQLite::TransactionBehavior::DEFERRED);
        SQLite::Statement& find = m_st->findItem;
        find.reset();
        find.bind(1, static_cast<int>(key.source));
        find.bind(2, key.itemId);
        if (find.executeStep()) {
            out.found = true;
            out.title = find.getColumn(1).getString();
            out.picture = find.getColumn(2).getString();
        }
        find.reset();
        SQLite::Statement& rows = m_st->rowsOf;
        rows.reset();
        rows.bind(1, static_cast<int>(key.source));
        rows.bind(2, key.itemId);
        while (rows.executeStep()) {
            PricePoint p;
            p.time = rows.getColumn(0).getInt64();
            p.day = rows.getColumn(1).getInt();
            p.price = rows.getColumn(2).getInt64();
            p.postage = rows.getColumn(3).getInt64();
            p.finalPrice = OptionalColumn(rows, 4);
            p.coupon = OptionalColumn(rows, 5);
            p.sales = OptionalColumn(rows, 6);
            out.points.push_back(p);
        }
        rows.reset();
        transaction.commit();
    } catch (const SQLite::Exception& e) {
        out = PriceHistory{};
        out.key = key;
        return Fail(e);
    }
    return true;
}

bool CPriceDatabase::Clear()
{
    if (!m_db)
        return false;
    try {
        SQLite::Transaction transaction(*m_db, SQLite::TransactionBehavior::IMMEDIATE);
        m_db->exec("DELETE FROM prices; DELETE FROM items;");
        transaction.commit();
    } catch (const SQLite::Exception& e) {
        return Fail(e);
    }
    // The freed pages still hold the old rows: the file is rebuilt and the log emptied. Another
    // program reading the file at this moment may keep either from happening now; the rows
    // are deleted all the same.
    m_st.reset();
    m_db->tryExec("VACUUM");
    m_db->tryExec("PRAGMA wal_checkpoint(TRUNCATE)");
    try {
        m_st = std::make_unique<Statements>(*m_db);
    } catch (const SQLite::Exception& e) {
        return Fail(e);
    }
    return true;
}

bool CPriceDatabase::Prune(int keepDays, int* rowsDeleted)
{
    if (rowsDeleted)
        *rowsDeleted = 0;
    if (!m_db)
        return false;
    try {
        SQLite::Transaction transaction(*m_db, SQLite::TransactionBehavior::IMMEDIATE);
        SQLite::Statement prune(*m_db, "DELETE FROM prices WHERE day < ?1");
        prune.bind(1, LocalDay(Now()) - keepDays);
        const int deleted = prune.exec();
        if (deleted > 0)
            m_db->exec("DELETE FROM items WHERE NOT EXISTS (SELECT 1 FROM prices WHERE prices.item = items.id)");
        transaction.commit();
        if (rowsDeleted)
            *rowsDeleted = deleted;
    } catch (const SQLite::Exception& e) {
        return Fail(e);
    }
    return true;
}

} // namespace yfx::store
