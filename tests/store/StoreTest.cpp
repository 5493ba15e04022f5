// The price store without any window: schema steps, what is written when, round trips of both
// sources, hostile texts, summaries, keeping time, clearing, the store thread, and two stores
// writing one file at once.
#include "StoreTestSupport.h"
#include "ZoneScope.h"

#include "market/Gbk.h"
#include "store/CPriceDatabase.h"
#include "store/CPriceStore.h"
#include "store/LocalDay.h"
#include "store/Sighting.h"
#include "store/StoreFile.h"

#include <gtest/gtest.h>

#include <SQLiteCpp/Database.h>

#include <future>
#include <sys/stat.h>

using namespace yfx;
using namespace yfx::store;
using yfx::test::MakeRecord;
using yfx::test::MakeSighting;
using yfx::test::QueryText;
using yfx::test::TempFolder;

namespace {

// 2026-12-01 12:00 in China (UTC+8), the zone every test here runs in.
constexpr std::int64_t kNoon = 1796097600;
constexpr std::int64_t kDay = 86400;

class StoreTest : public testing::Test {
protected:
    CPriceDatabase::Options Options(const std::vector<Migration>* steps = nullptr)
    {
        CPriceDatabase::Options o;
        o.path = m_folder.File("data/prices.sqlite");
        o.clock = [this] { return m_now; };
        o.migrations = steps;
        return o;
    }
    // Records one batch at the current clock; the rows written, -1 on a fault.
    int Write(CPriceDatabase& db, const std::vector<Sighting>& batch)
    {
        int written = 0;
        return db.Record(batch, &written) ? written : -1;
    }

    yfx::test::ZoneScope m_zone{"CST-8"};
    TempFolder m_folder;
    std::int64_t m_now = kNoon;
};

} // namespace

TEST_F(StoreTest, EmptyFileGetsTheNewestSchemaInPrivateFiles)
{
    CPriceDatabase db(Options());
    const StoreStatus status = db.Open();
    ASSERT_EQ(status.state, StoreStatus::State::Ready) << status.message;
    EXPECT_EQ(QueryText(db.Path(), "PRAGMA user_version"), std::to_string(NewestVersion(Migrations())));
    EXPECT_EQ(QueryText(db.Path(), "PRAGMA journal_mode"), "wal");
    EXPECT_EQ(QueryText(db.Path(), "SELECT count(*) FROM sqlite_schema WHERE name IN ('items', 'prices')"), "2");
    struct stat st {};
    ASSERT_EQ(stat(m_folder.File("data").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(stat(db.Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(StoreTest, OlderVersionIsBroughtForwardKeepingItsRows)
{
    // A later step as a release would add one: the file of the first step is migrated.
    const std::vector<Migration> first = {Migrations().front()};
    std::vector<Migration> both = first;
    both.push_back({first.back().version + 1, "CREATE TABLE watched(item INTEGER PRIMARY KEY, target INTEGER);"
                                              "ALTER TABLE items ADD COLUMN note TEXT;"});
    {
        CPriceDatabase db(Options(&first));
        ASSERT_EQ(db.Open().state, StoreStatus::State::Ready);
        ASSERT_EQ(Write(db, {MakeSighting("1", 1250)}), 1);
    }
    CPriceDatabase db(Options(&both));
    ASSERT_EQ(db.Open().state, StoreStatus::State::Ready);
    EXPECT_EQ(QueryText(db.Path(), "PRAGMA user_version"), std::to_string(both.back().version));
    EXPECT_EQ(QueryText(db.Path(), "SELECT count(*) FROM watched"), "0");
    EXPECT_EQ(QueryText(db.Path(), "SELECT coalesce(note, 'none') FROM items"), "none");
    PriceHistory h;
    ASSERT_TRUE(db.History({ResultSource::ListSearch, "1"}, h));
    ASSERT_EQ(h.points.size(), 1u);
    EXPECT_EQ(h.points[0].price, 1250);

    // Opening the older program's steps on the newer file leaves it alone.
    CPriceDatabase older(Options(&first));
    const StoreStatus status = older.Open();
    EXPECT_EQ(status.state, StoreStatus::State::Unavailable);
    EXPECT_EQ(QueryText(db.Path(), "PRAGMA user_version"), std::to_string(both.back().version));
}

TEST_F(StoreTest, RoundTripOfEachSource)
{
    CPriceDatabase db(Options());
    ASSERT_EQ(db.Open().state, StoreStatus::State::Ready);

    CTBRecord list = MakeRecord("35012345678", "128.50", "10.00", "\xCA\xD6\xBB\xFA \xBA\xC3"); // GBK "手机 好"
    CTBRecord open = MakeRecord("Ab3dEf9-Zx81Yq2", "99.90", "0.00", Utf8ToGb18030("羽绒服 ★ 冬季"));
    open.source = ResultSource::OpenPlatform;
    open.couponFee = "20";
    open.finalPrice = "79.90";
    open.SetValue(CTBRecord::TradeNum, "8001");
    for (const CTBRecord& r : {list, open}) {
        SCOPED_TRACE(r.itemId());
        const std::optional<Sighting> s = SightingFromRecord(r);
        ASSERT_TRUE(s);
        ASSERT_EQ(Write(db, {*s}), 1);
        PriceHistory h;
        ASSERT_TRUE(db.History(KeyOf(r), h));
        ASSERT_TRUE(h.found);
        EXPECT_EQ(h.title, GbkToUtf8(r.tip()));
        EXPECT_EQ(h.picture, r.originalImage());
        EXPECT_EQ(QueryText(db.Path(), "SELECT shop || '|' || page FROM items WHERE item = '" + r.itemId() + "'"),
                  "旗舰店|" + r.href());
        ASSERT_EQ(h.points.size(), 1u);
        const PricePoint& p = h.points[0];
        EXPECT_EQ(p.time, kNoon);
        EXPECT_EQ(p.day, DayFromCivil({2026, 12, 1}));
        EXPECT_EQ(p.price, *ParseCents(r.currentPrice()));
        EXPECT_EQ(p.postage, *ParseCents(r.ship()));
        EXPECT_EQ(p.finalPrice, r.finalPrice.empty() ? std::nullopt : ParseCents(r.finalPrice));
        EXPECT_EQ(p.coupon, r.couponFee.empty() ? std::nullopt : ParseCents(r.couponFee));
        EXPECT_EQ(p.sales, *ParseCount(r.tradeNum()));
    }
    // The same id in the other source is another item.
    PriceHistory other;
    ASSERT_TRUE(db.History({ResultSource::OpenPlatform, "35012345678"}, other));
    EXPECT_FALSE(other.found);
}

TEST_F(StoreTest, HostileTextsAreStoredAndReadBackExactly)
{
    CPriceDatabase db(Options());
    ASSERT_EQ(db.Open().state, StoreStatus::State::Ready);
    std::string longTitle;
    while (longTitle.size() < 10 * 1024)
        longTitle += "\xB3\xA4\xB1\xEA\xCC\xE2 long "; // GBK "长标题"
    const struct {
        const char* name;
        std::string id;
        std::string title; // GBK
    } cases[] = {
        {"quotes", "1", "\"double\" 'single' `back` \\"},
        {"injection", "2", "'); DROP TABLE items;--"},
        {"injection in the id", "3'); DROP TABLE prices;--", "x"},
        {"GBK trail byte 0x5C", "4", "\x9C\x5C\x9C\x5C \xD5\x5C"}, // 淺淺 and a lone lead + '\'
        {"10 KB title", "5", longTitle},
        {"percent and underscore", "6", "100% _off_ %s %n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(Write(db, {*SightingFromRecord(MakeRecord(c.id, "1.00", "0", c.title))}), 1);
        PriceHistory h;
        ASSERT_TRUE(db.History({ResultSource::ListSearch, c.id}, h));
        EXPECT_TRUE(h.found);
        EXPECT_EQ(h.title, GbkToUtf8(c.title));
    }
    EXPECT_EQ(QueryText(db.Path(), "SELECT count(*) FROM items"), std::to_string(std::size(cases)));
    EXPECT_EQ(QueryText(db.Path(), "SELECT count(*) FROM prices"), std::to_string(std::size(cases)));
}

TEST_F(StoreTest, PriceRowIsWrittenOnAChangeOrANewLocalDay)
{
    CPriceDatabase db(Options());
    ASSERT_EQ(db.Open().state, StoreStatus::State::Ready);
    const struct {
        const char* step;
        std::int64_t time;
        std::int64_t price, postage;
        int written;
    } steps[] = {
        {"first sight", kNoon, 1000, 0, 1},
        {"same price later that day", kNoon + 3600, 1000, 0, 0},
        {"price changes", kNoon + 7200, 900, 0, 1},
        {"postage changes", kNoon + 7300, 900, 500, 1},
        {"same again, before local midnight", kNoon + 11 * 3600 + 59 * 60, 900, 500, 0},
        {"next local day, same price", kNoon + 12 * 3600, 900, 500, 1},
        {"a week later, back to the old price", kNoon + 7 * kDay, 1000, 0, 1},
    };
    int rows = 0;
    for (const auto& s : steps) {
        SCOPED_TRACE(s.step);
        m_now = s.time;
        EXPECT_EQ(Write(db, {MakeSighting("9", s.price, s.postage)}), s.written);
        rows += s.written;
    }
    EXPECT_EQ(QueryText(db.Path(), "SELECT count(*) FROM prices"), std::to_string(rows));
    // One window is one transaction: an item seen twice in it adds one row.
    m_now += kDay;
    EXPECT_EQ(Write(db, {MakeSighting("9", 1000), MakeSighting("9", 1000), MakeSighting("10", 5)}), 2);
    // Two windows within one second at two prices: both rows stay, in the order they came.
    EXPECT_EQ(Write(db, {MakeSighting("9", 700)}), 1);
    EXPECT_EQ(Write(db, {MakeSighting("9", 600)}), 1);
    PriceHistory h;
    ASSERT_TRUE(db.History({ResultSource::ListSearch, "9"}, h));
    ASSERT_GE(h.points.size(), 3u);
    EXPECT_EQ(h.points[h.points.size() - 3].price, 1000);
    EXPECT_EQ(h.points[h.points.size() - 2].price, 700);
    EXPECT_EQ(h.points.back().price, 600);
}

TEST_F(StoreTest, SummariesTellLowestHighestDaysAndLastDifferentTotal)
{
    CPriceDatabase db(Options());
    ASSERT_EQ(db.Open().state, StoreStatus::State::Ready);
    // item a: 100 (day 0), 80 (day 1), 120 (day 2), 80 (day 3); item b: 50 twice on day 0
    const int day0 = LocalDay(kNoon);
    const struct {
        std::int64_t time;
        const char* id;
        std::int64_t price;
    } rows[] = {{kNoon, "a", 100}, {kNoon + kDay, "a", 80}, {kNoon + 2 * kDay, "a", 120},
                {kNoon + 3 * kDay, "a", 80}, {kNoon, "b", 50}, {kNoon + 60, "b", 40}};
    for (const auto& r : rows) {
        m_now = r.time;
        ASSERT_EQ(Write(db, {MakeSighting(r.id, r.price)}), 1);
    }
    const struct {
        const char* id;
        std::int64_t current;
        int rows, days;
        std::int64_t lowest;
        int lowestDay;
        std::int64_t highest;
        std::optional<std::int64_t> lastDifferent;
    } cases[] = {
        {"a", 80, 4, 4, 80, day0 + 3, 120, 120},
        {"a", 120, 4, 4, 80, day0 + 3, 120, 80},
        {"b", 40, 2, 1, 40, day0, 50, 50},
        {"never seen", 10, 0, 0, 0, 0, 0, std::nullopt},
    };
    std::vector<SummaryQuery> queries;
    for (const auto& c : cases)
        queries.push_back({{ResultSource::ListSearch, c.id}, c.current});
    std::vector<PriceSummary> out;
    ASSERT_TRUE(db.Summaries(queries, out));
    ASSERT_EQ(out.size(), std::size(cases));
    for (std::size_t i = 0; i < out.size(); ++i) {
        SCOPED_TRACE(cases[i].id);
        EXPECT_EQ(out[i].key.itemId, cases[i].id);
        EXPECT_EQ(out[i].currentTotal, cases[i].current);
        EXPECT_EQ(out[i].rows, cases[i].rows);
        EXPECT_EQ(out[i].days, cases[i].days);
        EXPECT_EQ(out[i].lowest, cases[i].lowest);
        EXPECT_EQ(out[i].lowestDay, cases[i].lowestDay);
        EXPECT_EQ(out[i].highest, cases[i].highest);
        EXPECT_EQ(out[i].lastDifferent, cases[i].lastDifferent);
    }
}

TEST_F(StoreTest, PruneKeepsTheDaysAskedForAndClearLeavesNothing)
{
    CPriceDatabase db(Options());
    ASSERT_EQ(db.Open().state, StoreStatus::State::Ready);
    m_now = kNoon - 401 * kDay;
    ASSERT_EQ(Write(db, {MakeSighting("old", 100), MakeSighting("both", 100)}), 2);
    m_now = kNoon - 400 * kDay;
    ASSERT_EQ(Write(db, {MakeSighting("edge", 100)}), 1);
    m_now = kNoon;
    ASSERT_EQ(Write(db, {MakeSighting("both", 100)}), 1);
    int deleted = 0;
    ASSERT_TRUE(db.Prune(400, &deleted));
    EXPECT_EQ(deleted, 2);
    EXPECT_EQ(QueryText(db.Path(), "SELECT group_concat(item, ',') FROM (SELECT item FROM items ORDER BY item)"),
              "both,edge");
    EXPECT_EQ(QueryText(db.Path(), "SELECT count(*) FROM prices"), "2");

    ASSERT_TRUE(db.Clear());
    EXPECT_EQ(QueryText(db.Path(), "SELECT (SELECT count(*) FROM items) + (SELECT count(*) FROM prices)"), "0");
    // still usable afterwards
    EXPECT_EQ(Write(db, {MakeSighting("new", 1)}), 1);
}

TEST_F(StoreTest, WatchListHoldsAtMost500AndAnswersPricesFromTheRows)
{
    CPriceDatabase db(Options());
    ASSERT_EQ(db.Open().state, StoreStatus::State::Ready);
    Sighting first = MakeSighting("1", 1000, 500);
    first.finalPrice = 900;
    const struct {
        Sighting item;
        std::optional<std::int64_t> target;
        WatchOutcome outcome;
    } adds[] = {
        {first, 800, WatchOutcome::Added},
        {MakeSighting("1", 1200), 700, WatchOutcome::Already}, // target and price left alone
        {MakeSighting("2", 3000), {}, WatchOutcome::Added},
    };
    for (const auto& a : adds)
        EXPECT_EQ(db.Watch(a.item, a.target), a.outcome) << a.item.key.itemId;

    // rows of later days: the current price, the lowest, one price per day of the last 30
    const struct {
        std::int64_t at;
        std::int64_t price;
        std::optional<std::int64_t> finalPrice;
    } rows[] = {{kNoon + kDay, 1000, 850}, {kNoon + kDay + 60, 980, 870}, {kNoon + 40 * kDay, 1100, {}}};
    for (const auto& r : rows) {
        m_now = r.at;
        Sighting s = MakeSighting("1", r.price, 500);
        s.finalPrice = r.finalPrice;
        ASSERT_EQ(Write(db, {s}), 1);
    }
    std::vector<WatchedItem> watched;
    ASSERT_TRUE(db.Watched(watched));
    ASSERT_EQ(watched.size(), 2u);
    const WatchedItem& w = watched[0];
    EXPECT_EQ(w.key.itemId, "1");
    EXPECT_EQ(w.addedTime, kNoon);
    EXPECT_EQ(w.addedPrice, 900);
    EXPECT_EQ(w.target, 800);
    EXPECT_EQ(w.current, 1100);
    EXPECT_EQ(w.lowest, 850);
    EXPECT_EQ(w.lastChecked, 0);
    ASSERT_EQ(w.recent.size(), 1u); // the rows of 40 days ago are older than 30 days
    EXPECT_EQ(w.recent[0].price, 1100);

    bool changed = false;
    ASSERT_TRUE(db.SetTarget({ResultSource::ListSearch, "2"}, 2500, &changed));
    EXPECT_TRUE(changed);
    ASSERT_TRUE(db.SetTarget({ResultSource::ListSearch, "9"}, 2500, &changed));
    EXPECT_FALSE(changed);

    // a check: "1" found lower (its postage kept), "2" gone; neither is dropped
    std::vector<PriceAlert> alerts;
    CheckedItem found{MakeSighting("1", 700), false};
    found.seen.title.clear();
    ASSERT_TRUE(db.RecordCheck({found}, {{ResultSource::ListSearch, "2"}}, 5, alerts));
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].reason, AlertReason::Target);
    EXPECT_EQ(alerts[0].before, 900);
    EXPECT_EQ(alerts[0].now, 700);
    EXPECT_FALSE(alerts[0].title.empty());
    PriceHistory h;
    ASSERT_TRUE(db.History({ResultSource::ListSearch, "1"}, h));
    EXPECT_EQ(h.points.back().postage, 500);
    ASSERT_TRUE(db.Watched(watched));
    EXPECT_EQ(watched[1].gone, true);
    EXPECT_EQ(watched[1].target, 2500);
    EXPECT_GT(watched[0].lastChecked, 0);

    // clearing and pruning keep the watch list
    ASSERT_TRUE(db.Clear());
    int deleted = 0;
    ASSERT_TRUE(db.Prune(0, &deleted));
    std::vector<bool> watching;
    ASSERT_TRUE(db.Watching({{ResultSource::ListSearch, "1"}, {ResultSource::OpenPlatform, "1"}, {ResultSource::ListSearch, "2"}}, watching));
    EXPECT_EQ(watching, (std::vector<bool>{true, false, true}));

    ASSERT_TRUE(db.Unwatch({ResultSource::ListSearch, "2"}, &changed));
    EXPECT_TRUE(changed);
    for (int i = 1; i < kMaxWatched; ++i)
        ASSERT_EQ(db.Watch(MakeSighting("n" + std::to_string(i), 100), {}), WatchOutcome::Added) << i;
    EXPECT_EQ(db.Watch(MakeSighting("one too many", 100), {}), WatchOutcome::Full);
    EXPECT_EQ(QueryText(db.Path(), "SELECT count(*) FROM watch"), std::to_string(kMaxWatched));
}

TEST(ParseCents, ReadsTheMarketplacesAmounts)
{
    const struct {
        const char* text;
        std::optional<std::int64_t> cents;
    } cases[] = {{"12.50", 1250}, {"7", 700},           {" 0.5", 50},     {"+3.10", 310},  {"1,299.00", 129900},
                 {"9.995", 1000}, {"9.994", 999},       {"12.5元", 1250}, {"", std::nullopt}, {"abc", std::nullopt},
                 {"-5", std::nullopt}, {".5", std::nullopt}, {"99999999999999", std::nullopt}, {"0", 0}};
    for (const auto& c : cases)
        EXPECT_EQ(ParseCents(c.text), c.cents) << c.text;
    EXPECT_EQ(ParseCount("1,000+"), 1000);
    EXPECT_EQ(ParseCount("n/a"), std::nullopt);
}

TEST(LocalDay, CalendarRoundTrip)
{
    yfx::test::ZoneScope zone("CST-8");
    EXPECT_EQ(DayFromCivil({1970, 1, 1}), 0);
    EXPECT_EQ(DayFromCivil({2000, 3, 1}), 11017);
    for (int day : {-1, 0, 59, 11016, 11017, 20788, 30000}) {
        const CivilDate d = CivilFromDay(day);
        EXPECT_EQ(DayFromCivil(d), day);
    }
    // local midnight in UTC+8 is 16:00 UTC the day before
    EXPECT_EQ(LocalDay(kNoon - 12 * 3600), LocalDay(kNoon));
    EXPECT_EQ(LocalDay(kNoon - 12 * 3600 - 1), LocalDay(kNoon) - 1);
}

// ---- the store thread

namespace {

CPriceStore::Settings StoreSettings(const std::string& path)
{
    CPriceStore::Settings s;
    s.database.path = path;
    s.database.busyTimeoutMs = 10000;
    return s;
}

std::vector<Sighting> Batch(const std::string& prefix, int n, std::int64_t price)
{
    std::vector<Sighting> batch;
    for (int i = 0; i < n; ++i)
        batch.push_back(MakeSighting(prefix + "-" + std::to_string(i), price));
    return batch;
}

} // namespace

TEST(PriceStore, AnswersInOrderAndFinishesWritesWhenDestroyed)
{
    TempFolder folder;
    const std::string path = folder.File("prices.sqlite");
    std::promise<StoreStatus> opened;
    {
        CPriceStore store(StoreSettings(path), [&](const StoreStatus& s) { opened.set_value(s); });
        for (int b = 0; b < 20; ++b)
            store.Record(Batch("w" + std::to_string(b), 40, 100 + b));
        std::promise<std::vector<PriceSummary>> answer;
        store.AskSummaries({{{ResultSource::ListSearch, "w19-0"}, 119}}, [&](std::vector<PriceSummary> s) {
            answer.set_value(std::move(s));
        });
        const std::vector<PriceSummary> summaries = answer.get_future().get();
        ASSERT_EQ(summaries.size(), 1u);
        EXPECT_EQ(summaries[0].rows, 1); // the write handed over before the question is in
        for (int b = 20; b < 40; ++b)
            store.Record(Batch("w" + std::to_string(b), 40, 100 + b));
    }
    EXPECT_EQ(opened.get_future().get().state, StoreStatus::State::Ready);
    EXPECT_EQ(QueryText(path, "SELECT count(*) FROM prices"), "1600");
}

TEST(PriceStore, TwoStoresOnOneFileWriteAtOnce)
{
    TempFolder folder;
    const std::string path = folder.File("prices.sqlite");
    constexpr int kBatches = 60;
    std::vector<StoreStatus> statuses(2);
    {
        CPriceStore a(StoreSettings(path), [&](const StoreStatus& s) { statuses[0] = s; });
        CPriceStore b(StoreSettings(path), [&](const StoreStatus& s) { statuses[1] = s; });
        std::promise<void> doneA, doneB;
        std::atomic<int> failures{0};
        for (int i = 0; i < kBatches; ++i) {
            auto check = [&failures](int written) { failures += written == 40 ? 0 : 1; };
            a.Record(Batch("a" + std::to_string(i), 40, 10), check);
            b.Record(Batch("b" + std::to_string(i), 40, 20), check);
            // both also write the same items
            a.Record(Batch("shared", 10, 30 + i));
            b.Record(Batch("shared", 10, 30 + i));
        }
        a.Call([&] { doneA.set_value(); });
        b.Call([&] { doneB.set_value(); });
        doneA.get_future().get();
        doneB.get_future().get();
        EXPECT_EQ(failures.load(), 0);
        EXPECT_TRUE(a.Available());
        EXPECT_TRUE(b.Available());
    }
    for (const StoreStatus& s : statuses)
        EXPECT_EQ(s.state, StoreStatus::State::Ready) << s.message;
    EXPECT_EQ(QueryText(path, "SELECT count(*) FROM items"), std::to_string(2 * kBatches * 40 + 10));
    EXPECT_EQ(QueryText(path, "PRAGMA integrity_check"), "ok");
}
