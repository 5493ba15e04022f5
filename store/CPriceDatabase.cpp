#include "store/CPriceDatabase.h"

#include "store/LocalDay.h"
#include "store/StoreFile.h"
#include "store/WatchRules.h"

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

bool CPriceDatabase::WriteSighting(const Sighting& s, std::int64_t now, int today, std::int64_t& id)
{
    const int source = static_cast<int>(s.key.source);
    SQLite::Statement& find = m_st->findItem;
    find.reset();
    find.bind(1, source);
    find.bind(2, s.key.itemId);
    id = 0;
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
        return false;
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
    return true;
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
            std::int64_t id = 0;
            if (WriteSighting(s, now, today, id))
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

std::int64_t CPriceDatabase::FindItemId(const ItemKey& key)
{
    SQLite::Statement& find = m_st->findItem;
    find.reset();
    find.bind(1, static_cast<int>(key.source));
    find.bind(2, key.itemId);
    const std::int64_t id = find.executeStep() ? find.getColumn(0).getInt64() : 0;
    find.reset();
    return id;
}

WatchOutcome CPriceDatabase::Watch(const Sighting& item, std::optional<std::int64_t> target)
{
    if (!m_db)
        return WatchOutcome::Failed;
    const std::int64_t now = Now();
    try {
        SQLite::Transaction transaction(*m_db, SQLite::TransactionBehavior::IMMEDIATE);
        if (const std::int64_t id = FindItemId(item.key)) {
            SQLite::Statement watched(*m_db, "SELECT 1 FROM watch WHERE item = ?1");
            watched.bind(1, id);
            if (watched.executeStep())
                return WatchOutcome::Already;
        }
        if (m_db->execAndGet("SELECT count(*) FROM watch").getInt() >= kMaxWatched)
            return WatchOutcome::Full;
        std::int64_t id = 0;
        WriteSighting(item, now, LocalDay(now), id);
        const std::int64_t price = WatchedPrice(item.price, item.finalPrice);
        SQLite::Statement insert(*m_db, "INSERT INTO watch(item, added_time, added_price, target, told_price, seen_price)"
                                        " VALUES(?1, ?2, ?3, ?4, ?3, ?3)");
        insert.bind(1, id);
        insert.bind(2, now);
        insert.bind(3, price);
        BindOptional(insert, 4, target);
        insert.exec();
        transaction.commit();
    } catch (const SQLite::Exception& e) {
        Fail(e);
        return WatchOutcome::Failed;
    }
    return WatchOutcome::Added;
}

bool CPriceDatabase::Unwatch(const ItemKey& key, bool* changed)
{
    if (changed)
        *changed = false;
    if (!m_db)
        return false;
    try {
        SQLite::Statement st(*m_db, "DELETE FROM watch WHERE item = (SELECT id FROM items WHERE source = ?1 AND item = ?2)");
        st.bind(1, static_cast<int>(key.source));
        st.bind(2, key.itemId);
        const int n = st.exec();
        if (changed)
            *changed = n > 0;
    } catch (const SQLite::Exception& e) {
        return Fail(e);
    }
    return true;
}

bool CPriceDatabase::SetTarget(const ItemKey& key, std::optional<std::int64_t> target, bool* changed)
{
    if (changed)
        *changed = false;
    if (!m_db)
        return false;
    try {
        SQLite::Statement st(*m_db, "UPDATE watch SET target = ?3"
                                    " WHERE item = (SELECT id FROM items WHERE source = ?1 AND item = ?2)");
        st.bind(1, static_cast<int>(key.source));
        st.bind(2, key.itemId);
        BindOptional(st, 3, target);
        const int n = st.exec();
        if (changed)
            *changed = n > 0;
    } catch (const SQLite::Exception& e) {
        return Fail(e);
    }
    return true;
}

bool CPriceDatabase::Watched(std::vector<WatchedItem>& out)
{
    out.clear();
    if (!m_db)
        return false;
    const int today = LocalDay(Now());
    try {
        SQLite::Transaction transaction(*m_db, SQLite::TransactionBehavior::DEFERRED);
        SQLite::Statement list(*m_db, "SELECT i.id, i.source, i.item, i.title, i.picture, i.page, w.added_time,"
                                      " w.added_price, w.target, w.checked_time, w.gone"
                                      " FROM watch w JOIN items i ON i.id = w.item ORDER BY w.added_time, i.id");
        SQLite::Statement rows(*m_db, "SELECT day, coalesce(final_price, price) FROM prices WHERE item = ?1 ORDER BY time");
        while (list.executeStep()) {
            WatchedItem w;
            const std::int64_t id = list.getColumn(0).getInt64();
            w.key.source = static_cast<ResultSource>(list.getColumn(1).getInt());
            w.key.itemId = list.getColumn(2).getString();
            w.title = list.getColumn(3).getString();
            w.picture = list.getColumn(4).getString();
            w.page = list.getColumn(5).getString();
            w.addedTime = list.getColumn(6).getInt64();
            w.addedPrice = list.getColumn(7).getInt64();
            w.target = OptionalColumn(list, 8);
            w.lastChecked = list.getColumn(9).getInt64();
            w.gone = list.getColumn(10).getInt() != 0;
            rows.reset();
            rows.bind(1, id);
            while (rows.executeStep()) {
                const int day = rows.getColumn(0).getInt();
                const std::int64_t price = rows.getColumn(1).getInt64();
                w.current = price;
                w.lowest = w.lowest ? std::min(*w.lowest, price) : price;
                if (day <= today - 30)
                    continue;
                if (!w.recent.empty() && w.recent.back().day == day)
                    w.recent.back().price = price; // the day's last row
                else
                    w.recent.push_back({day, price});
            }
            out.push_back(std::move(w));
        }
        rows.reset();
        list.reset();
        transaction.commit();
    } catch (const SQLite::Exception& e) {
        out.clear();
        return Fail(e);
    }
    return true;
}

bool CPriceDatabase::Watching(const std::vector<ItemKey>& keys, std::vector<bool>& out)
{
    out.clear();
    if (!m_db)
        return false;
    try {
        SQLite::Transaction transaction(*m_db, SQLite::TransactionBehavior::DEFERRED);
        SQLite::Statement st(*m_db, "SELECT 1 FROM watch w JOIN items i ON i.id = w.item WHERE i.source = ?1 AND i.item = ?2");
        for (const ItemKey& key : keys) {
            st.reset();
            st.bind(1, static_cast<int>(key.source));
            st.bind(2, key.itemId);
            out.push_back(st.executeStep());
        }
        st.reset();
        transaction.commit();
    } catch (const SQLite::Exception& e) {
        out.clear();
        return Fail(e);
    }
    return true;
}

bool CPriceDatabase::RecordCheck(const std::vector<CheckedItem>& found, const std::vector<ItemKey>& gone,
                                 int dropPercent, std::vector<PriceAlert>& alerts)
{
    alerts.clear();
    if (!m_db)
        return false;
    const std::int64_t now = Now();
    const int today = LocalDay(now);
    try {
        SQLite::Transaction transaction(*m_db, SQLite::TransactionBehavior::IMMEDIATE);
        SQLite::Statement state(*m_db, "SELECT i.id, i.title, i.picture, i.page, i.shop, w.told_price, w.seen_price,"
                                       " w.armed, w.target FROM items i JOIN watch w ON w.item = i.id"
                                       " WHERE i.source = ?1 AND i.item = ?2");
        SQLite::Statement before(*m_db, "SELECT min(coalesce(final_price, price)), min(day),"
                                        " (SELECT postage FROM prices WHERE item = ?1 ORDER BY time DESC LIMIT 1)"
                                        " FROM prices WHERE item = ?1");
        SQLite::Statement update(*m_db, "UPDATE watch SET told_price = ?2, seen_price = ?3, armed = ?4,"
                                        " checked_time = ?5, gone = 0 WHERE item = ?1");
        for (const CheckedItem& c : found) {
            state.reset();
            state.bind(1, static_cast<int>(c.seen.key.source));
            state.bind(2, c.seen.key.itemId);
            if (!state.executeStep())
                continue; // no longer watched
            const std::int64_t id = state.getColumn(0).getInt64();
            Sighting s = c.seen;
            if (s.title.empty())
                s.title = state.getColumn(1).getString();
            if (s.picture.empty())
                s.picture = state.getColumn(2).getString();
            if (s.page.empty())
                s.page = state.getColumn(3).getString();
            if (s.shop.empty())
                s.shop = state.getColumn(4).getString();
            AlertInput in;
            in.state.told = state.getColumn(5).getInt64();
            in.state.seen = state.getColumn(6).getInt64();
            in.state.armed = state.getColumn(7).getInt() != 0;
            in.target = OptionalColumn(state, 8);
            state.reset();
            before.reset();
            before.bind(1, id);
            in.firstDay = today;
            if (before.executeStep() && !before.getColumn(0).isNull()) {
                in.lowestBefore = before.getColumn(0).getInt64();
                in.firstDay = before.getColumn(1).getInt();
                if (!c.postageKnown)
                    s.postage = before.getColumn(2).getInt64();
            }
            before.reset();
            in.now = WatchedPrice(s.price, s.finalPrice);
            in.today = today;
            in.dropPercent = dropPercent;
            std::int64_t written = 0;
            WriteSighting(s, now, today, written);
            const AlertDecision d = DecideAlert(in);
            update.reset();
            update.bind(1, id);
            update.bind(2, d.next.told);
            update.bind(3, d.next.seen);
            update.bind(4, d.next.armed ? 1 : 0);
            update.bind(5, now);
            update.exec();
            if (d.reason)
                alerts.push_back({s.key, s.title, s.picture, s.page, in.state.told, in.now, in.target, *d.reason});
        }
        SQLite::Statement lost(*m_db, "UPDATE watch SET gone = 1, checked_time = ?3"
                                      " WHERE item = (SELECT id FROM items WHERE source = ?1 AND item = ?2)");
        for (const ItemKey& key : gone) {
            lost.reset();
            lost.bind(1, static_cast<int>(key.source));
            lost.bind(2, key.itemId);
            lost.bind(3, now);
            lost.exec();
        }
        transaction.commit();
    } catch (const SQLite::Exception& e) {
        alerts.clear();
        return Fail(e);
    }
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
        // the watch list is the user's own: its items stay (without rows)
        m_db->exec("DELETE FROM prices; DELETE FROM items WHERE id NOT IN (SELECT item FROM watch);");
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
            m_db->exec("DELETE FROM items WHERE NOT EXISTS (SELECT 1 FROM prices WHERE prices.item = items.id)"
                       " AND NOT EXISTS (SELECT 1 FROM watch WHERE watch.item = items.id)");
        transaction.commit();
        if (rowsDeleted)
            *rowsDeleted = deleted;
    } catch (const SQLite::Exception& e) {
        return Fail(e);
    }
    return true;
}

} // namespace yfx::store
