// The price memory with a heavy user's year in it: 2,000 items a day for 365 days, about
// 150,000 items and 500,000 price rows, a price change every few days. Measured in it:
//   hand-over  the GUI thread's cost of handing a 40-item window to the memory (goal <= 0.2 ms)
//   write      the store thread's write of such a window, conversion included (goal <= 5 ms)
//   markers    the summaries of 40 items (goal <= 2 ms)
//   size       the file (goal <= 60 MB)
// and, as the anchor of what SQLite itself costs, the same work as SQL text through the
// sqlite3 shell on the same file (startup of the shell subtracted). Also the store thread's
// open of the year's file at start (integrity check and pruning included).
//
// Lines "figure NAME VALUE" are for scripts (bench/run).
#include "market/Gbk.h"
#include "results/CPriceMemory.h"
#include "store/CPriceDatabase.h"
#include "store/LocalDay.h"
#include "store/Sighting.h"

#include <QCoreApplication>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace yfx::store;

namespace {

constexpr int kDays = 365;
constexpr int kItemsPerDay = 2000;
constexpr int kBatch = 40;
constexpr std::int64_t kStart = 1764561600; // 2025-12-01 12:00 in China: the year ends on 2026-12-01

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Stats {
    double median = 0, p99 = 0, worst = 0;
};

Stats Of(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v[v.size() * 99 / 100], v.back()};
}

double LoadAverage()
{
    double load = -1;
    if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &load) != 1)
            load = -1;
        std::fclose(f);
    }
    return load;
}

void Figure(const char* name, double value)
{
    std::printf("figure %s %.4f\n", name, value);
}

// A title as long as the marketplace's (about 30 Chinese characters), UTF-8.
std::string Title(std::mt19937& rng, int id)
{
    static const char* words[] = {"新款", "韩版", "修身", "加厚", "保暖", "羽绒服", "男士", "女装", "外套", "连衣裙",
                                  "休闲", "运动鞋", "包邮", "正品", "旗舰店", "冬季", "纯棉", "长袖", "衬衫", "牛仔裤",
                                  "手机壳", "充电宝", "蓝牙", "耳机", "大码", "宽松", "显瘦", "春秋", "学生", "百搭"};
    std::string t;
    while (t.size() < 80)
        t += words[rng() % std::size(words)];
    return t + " " + std::to_string(id % 1000);
}

std::string ItemId(int n)
{
    return std::to_string(35000000000LL + n * 7919LL);
}

std::string Picture(int n)
{
    return "http://img0" + std::to_string(n % 4 + 1) + ".taobaocdn.com/bao/uploaded/i" + std::to_string(n % 4 + 1) +
           "/T1" + std::to_string(n * 2654435761U % 100000000U) + "XXXXXXXX_!!0-item_pic.jpg";
}

std::string Page(int n)
{
    return "http://item.taobao.com/item.htm?id=" + ItemId(n);
}

// The year: items appear over the year; each is seen on a few days, its price moving every
// few sightings. One transaction, the program's own schema.
void Generate(const std::string& path, int& items, int& rows)
{
    {
        CPriceDatabase::Options o;
        o.path = path;
        CPriceDatabase db(o);
        if (db.Open().state != StoreStatus::State::Ready)
            std::exit(1);
    }
    SQLite::Database db(path, SQLite::OPEN_READWRITE);
    db.exec("PRAGMA synchronous = OFF");
    SQLite::Transaction t(db);
    SQLite::Statement item(db, "INSERT INTO items(id, source, item, title, picture, page, shop) VALUES(?1, 0, ?2, ?3, ?4, ?5, ?6)");
    SQLite::Statement row(db, "INSERT INTO prices(item, time, day, price, postage, final_price, coupon, sales)"
                              " VALUES(?1, ?2, ?3, ?4, ?5, NULL, NULL, ?6)");
    std::mt19937 rng(2026);
    // 2,000 items a day, 365 days: 730,000 sightings of 150,000 items. About 230,000 of them
    // repeat a sighting of the same day at the same price (no row): 500,000 rows.
    constexpr int kItems = 150000;
    items = kItems;
    rows = 0;
    for (int n = 0; n < kItems; ++n) {
        item.reset();
        item.bind(1, n + 1);
        item.bind(2, ItemId(n));
        item.bind(3, Title(rng, n));
        item.bind(4, Picture(n));
        item.bind(5, Page(n));
        item.bind(6, "小店" + std::to_string(n % 5000));
        item.exec();
        // seen on 1..6 days (3.33 on average), starting anywhere in the year
        const int days = 1 + static_cast<int>(rng() % 6) + (rng() % 3 == 0 ? 1 : 0) - (rng() % 4 == 0 ? 1 : 0);
        int day = static_cast<int>(rng() % kDays);
        std::int64_t price = 500 + static_cast<std::int64_t>(rng() % 50000);
        const std::int64_t postage = rng() % 2 ? 0 : 1000;
        for (int k = 0; k < std::max(1, days) && day < kDays; ++k) {
            const std::int64_t time = kStart + day * 86400LL + static_cast<std::int64_t>(rng() % 36000);
            if (rng() % 3 == 0)
                price = price * (85 + static_cast<std::int64_t>(rng() % 25)) / 100; // a change every few days
            row.reset();
            row.bind(1, n + 1);
            row.bind(2, time);
            row.bind(3, LocalDay(time));
            row.bind(4, price);
            row.bind(5, postage);
            row.bind(6, static_cast<std::int64_t>(rng() % 5000));
            row.exec();
            ++rows;
            day += 1 + static_cast<int>(rng() % 9);
        }
    }
    t.commit();
    db.exec("PRAGMA wal_checkpoint(TRUNCATE)");
}

// A window of 40 records as a list answer gives them: half known items (some at a new price),
// half new ones. GBK texts.
std::vector<CTBRecord> Window(std::mt19937& rng, int serial)
{
    std::vector<CTBRecord> records;
    for (int i = 0; i < kBatch; ++i) {
        const int n = i % 2 ? static_cast<int>(rng() % 150000) : 150000 + serial * kBatch + i;
        CTBRecord r;
        r.SetValue(CTBRecord::ItemId, ItemId(n));
        r.SetValue(CTBRecord::Tip, yfx::Utf8ToGbk(Title(rng, n)));
        r.SetValue(CTBRecord::OriginalImage, Picture(n));
        r.SetValue(CTBRecord::Href, Page(n));
        r.SetValue(CTBRecord::Nick, yfx::Utf8ToGbk("小店" + std::to_string(n % 5000)));
        r.SetValue(CTBRecord::CurrentPrice, std::to_string(10 + rng() % 900) + ".00");
        r.SetValue(CTBRecord::Ship, rng() % 2 ? "0.00" : "10.00");
        r.SetValue(CTBRecord::TradeNum, std::to_string(rng() % 9000));
        r.DeriveThumbnail();
        records.push_back(std::move(r));
    }
    return records;
}

std::string Quote(const std::string& text)
{
    std::string q = "'";
    for (char c : text)
        q += c == '\'' ? std::string("''") : std::string(1, c);
    return q + "'";
}

// The same work as the program's write and summaries, as SQL text for the shell.
std::string ShellWrite(const std::vector<CTBRecord>& records, std::int64_t now)
{
    const int today = LocalDay(now);
    std::string sql = "BEGIN IMMEDIATE;\n";
    for (const CTBRecord& r : records) {
        const Sighting s = *SightingFromRecord(r);
        const std::string key = "source = 0 AND item = " + Quote(s.key.itemId);
        sql += "INSERT INTO items(source, item, title, picture, page, shop) VALUES(0, " + Quote(s.key.itemId) + ", " +
               Quote(s.title) + ", " + Quote(s.picture) + ", " + Quote(s.page) + ", " + Quote(s.shop) +
               ") ON CONFLICT(source, item) DO UPDATE SET title = excluded.title, picture = excluded.picture,"
               " page = excluded.page, shop = excluded.shop WHERE title IS NOT excluded.title OR picture IS NOT"
               " excluded.picture OR page IS NOT excluded.page OR shop IS NOT excluded.shop;\n";
        sql += "INSERT OR REPLACE INTO prices(item, time, day, price, postage, final_price, coupon, sales) SELECT id, " +
               std::to_string(now) + ", " + std::to_string(today) + ", " + std::to_string(s.price) + ", " +
               std::to_string(s.postage) + ", NULL, NULL, " + std::to_string(s.sales.value_or(0)) + " FROM items WHERE " +
               key + " AND NOT EXISTS (SELECT 1 FROM (SELECT day, price, postage FROM prices WHERE item = items.id"
               " ORDER BY time DESC LIMIT 1) AS last WHERE last.day >= " + std::to_string(today) +
               " AND last.price = " + std::to_string(s.price) + " AND last.postage = " + std::to_string(s.postage) +
               ");\n";
    }
    return sql + "COMMIT;\n";
}

std::string ShellMarkers(const std::vector<SummaryQuery>& queries)
{
    std::string sql;
    for (const SummaryQuery& q : queries)
        sql += "SELECT p.time, p.day, p.price, p.postage FROM items i JOIN prices p ON p.item = i.id WHERE i.source = 0"
               " AND i.item = " + Quote(q.key.itemId) + " ORDER BY p.time;\n";
    return sql;
}

// Milliseconds the shell takes for `script` on the file, less its start with an empty script.
double ShellMs(const std::string& path, const std::string& script, int repeat)
{
    const std::string file = path + ".bench.sql";
    auto run = [&](const std::string& body) {
        std::ofstream(file) << ".timeout 5000\n" << body;
        const auto start = Clock::now();
        const std::string command = "sqlite3 " + path + " < " + file + " > /dev/null";
        if (std::system(command.c_str()) != 0)
            std::fprintf(stderr, "sqlite3 failed\n");
        return Ms(Clock::now() - start);
    };
    std::vector<double> empty, full;
    for (int i = 0; i < 5; ++i) {
        empty.push_back(run(""));
        std::string body;
        for (int r = 0; r < repeat; ++r)
            body += script;
        full.push_back(run(body));
    }
    fs::remove(file);
    return std::max(0.0, (Of(full).median - Of(empty).median) / repeat);
}

} // namespace

int main(int argc, char** argv)
{
    int runs = 200;
    std::string keep;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::string(argv[i]) == "--runs")
            runs = std::max(5, std::atoi(argv[i + 1]));
        else if (std::string(argv[i]) == "--keep")
            keep = argv[i + 1];
    }
    setenv("TZ", "CST-8", 1);
    tzset();
    QCoreApplication app(argc, argv);
    const fs::path folder = fs::temp_directory_path() / ("yfx-bench-store-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const std::string path = keep.empty() ? (folder / "prices.sqlite").string() : keep;
    const std::int64_t now = kStart + kDays * 86400LL;

    int items = 0, rows = 0;
    auto start = Clock::now();
    Generate(path, items, rows);
    const double generateMs = Ms(Clock::now() - start);
    const double sizeMb = static_cast<double>(fs::file_size(path)) / 1e6;
    std::printf("a year: %d items, %d price rows, %.1f MB, generated in %.1f s\n", items, rows, sizeMb,
                generateMs / 1000);

    // The store thread's start on this file: integrity check and pruning.
    CPriceDatabase::Options options;
    options.path = path;
    std::int64_t clock = now;
    options.clock = [&clock] { return clock; };
    CPriceDatabase db(options);
    start = Clock::now();
    if (db.Open().state != StoreStatus::State::Ready)
        return 1;
    const double openMs = Ms(Clock::now() - start);
    start = Clock::now();
    db.Prune(400);
    const double pruneMs = Ms(Clock::now() - start);

    std::mt19937 rng(7);
    // The store thread's write of a window (conversion from the records included).
    std::vector<double> write, markers;
    for (int r = 0; r < runs; ++r) {
        clock = now + r * 7;
        const std::vector<CTBRecord> window = Window(rng, r);
        start = Clock::now();
        std::vector<Sighting> batch;
        for (const CTBRecord& rec : window)
            batch.push_back(*SightingFromRecord(rec));
        db.Record(batch);
        write.push_back(Ms(Clock::now() - start));

        std::vector<SummaryQuery> queries;
        for (const CTBRecord& rec : Window(rng, r + runs))
            queries.push_back({KeyOf(rec), *ShownTotal(rec)});
        std::vector<PriceSummary> out;
        start = Clock::now();
        db.Summaries(queries, out);
        markers.push_back(Ms(Clock::now() - start));
    }

    // The GUI thread's hand-over: a copy of the window into the store's queue.
    std::vector<double> handOver;
    {
        CPriceStore::Settings settings;
        settings.database = options;
        CPriceMemory memory(settings);
        for (int r = 0; r < runs; ++r) {
            const std::vector<CTBRecord> window = Window(rng, 100000 + r);
            start = Clock::now();
            memory.Record(window);
            handOver.push_back(Ms(Clock::now() - start));
        }
    } // the writes finish here

    // The same work through the sqlite3 shell on the same file.
    clock = now + 100000;
    const std::vector<CTBRecord> window = Window(rng, 200000);
    const double shellWrite = ShellMs(path, ShellWrite(window, clock), 20);
    std::vector<SummaryQuery> queries;
    for (const CTBRecord& rec : Window(rng, 300000))
        queries.push_back({KeyOf(rec), *ShownTotal(rec)});
    const double shellMarkers = ShellMs(path, ShellMarkers(queries), 20);
    const double finalMb = static_cast<double>(fs::file_size(path) + (fs::exists(path + "-wal") ? fs::file_size(path + "-wal") : 0)) / 1e6;

    const Stats w = Of(write), m = Of(markers), h = Of(handOver);
    std::printf("\n%-40s %-30s %-14s %s\n", "what", "program: median (99th %, worst)", "sqlite3 shell", "goal");
    std::printf("%-40s %7.3f ms (%.3f, %.3f)  %-14s %s\n", "GUI thread hands over a 40-item window", h.median, h.p99,
                h.worst, "-", "<= 0.2 ms");
    std::printf("%-40s %7.3f ms (%.3f, %.3f)  %7.3f ms     %s\n", "store thread writes it", w.median, w.p99, w.worst,
                shellWrite, "<= 5 ms");
    std::printf("%-40s %7.3f ms (%.3f, %.3f)  %7.3f ms     %s\n", "markers for 40 items", m.median, m.p99, m.worst,
                shellMarkers, "<= 2 ms");
    std::printf("%-40s %7.1f MB                         -              %s\n", "file size (a year)", sizeMb, "<= 60 MB");
    std::printf("%-40s %7.1f ms\n", "store thread opens it at start (check)", openMs);
    std::printf("%-40s %7.1f ms\n", "store thread prunes it at start", pruneMs);
    std::printf("(%d runs; file with the runs' writes: %.1f MB; load average %.1f)\n", runs, finalMb, LoadAverage());
    Figure("store_handover_median", h.median);
    Figure("store_handover_worst", h.worst);
    Figure("store_write_median", w.median);
    Figure("store_write_worst", w.worst);
    Figure("store_write_shell", shellWrite);
    Figure("store_markers_median", m.median);
    Figure("store_markers_worst", m.worst);
    Figure("store_markers_shell", shellMarkers);
    Figure("store_size_mb", sizeMb);
    Figure("store_open_ms", openMs);
    if (keep.empty())
        fs::remove_all(folder);
    return 0;
}
