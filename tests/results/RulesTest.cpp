// The results rules without any window: grid arithmetic, the rows near the viewport and the
// tile pool, paging, the items of a view, seller filter, price order, title suffix, number
// reading, credit badges, coupon and price texts, the tile's hit and click rules, the price
// marker, the price chart's arithmetic and the watch list's rows.
#include "market/Gbk.h"
#include "results/GridLayout.h"
#include "results/NumberText.h"
#include "results/Paging.h"
#include "results/PriceChart.h"
#include "results/PriceMarker.h"
#include "results/ResultItems.h"
#include "results/ResultOrder.h"
#include "results/ResultsHost.h"
#include "results/TileClick.h"
#include "results/TileRules.h"
#include "results/TitleSuffix.h"
#include "results/WatchListRules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <set>
#include <thread>
#include <unistd.h>

using namespace yfx;

namespace {

constexpr int kTw = 232;
constexpr int kTh = 300;

GridInput Grid(int n, int width, int height)
{
    GridInput in;
    in.tileCount = n;
    in.tileWidth = kTw;
    in.tileHeight = kTh;
    in.clientWidth = width;
    in.clientHeight = height;
    in.scrollBarWidth = 17;
    return in;
}

CTBRecord Rec(const std::string& id, const std::string& price, const std::string& ship,
              const std::string& nick = {})
{
    CTBRecord r;
    r.SetValue(CTBRecord::ItemId, id);
    r.SetValue(CTBRecord::CurrentPrice, price);
    r.SetValue(CTBRecord::Ship, ship);
    r.SetValue(CTBRecord::Nick, nick);
    return r;
}

std::vector<std::string> Ids(const std::vector<CTBRecord>& records)
{
    std::vector<std::string> ids;
    for (const CTBRecord& r : records)
        ids.push_back(r.itemId());
    return ids;
}

} // namespace

// ---- grid arithmetic

struct WidthCase {
    int width; // client width, no scroll bar shown
    int tiles;
    int left;        // expected L
    int scrollWidth; // expected w - 1
};

class GridWidth : public testing::TestWithParam<WidthCase> {};

TEST_P(GridWidth, CentresInSevenHundredPixelMinimum)
{
    const WidthCase c = GetParam();
    const GridResult r = ComputeGridLayout(Grid(c.tiles, c.width, 2000));
    EXPECT_FALSE(r.empty);
    EXPECT_EQ(r.left, c.left);
    EXPECT_EQ(r.scrollWidth, c.scrollWidth);
    EXPECT_EQ(r.shift, c.left); // previous left 0
    EXPECT_TRUE(r.firstLayoutDone);
}

INSTANTIATE_TEST_SUITE_P(Widths, GridWidth,
                         testing::Values(WidthCase{640, 1, 1, 699}, // narrower than 700: horizontal scrolling
                                         WidthCase{700, 1, 1, 699}, WidthCase{701, 1, 0, 700},
                                         WidthCase{900, 3, 100, 899}, WidthCase{1000, 4, 150, 999},
                                         WidthCase{901, 4, 100, 900}));

TEST(Grid, RowsAndTotalHeight)
{
    struct {
        int tiles;
        int footer; // the "more" row below the grid
        int height;
    } cases[] = {{1, 0, kTh + 2},           {2, 0, kTh + 2},           {3, 0, kTh + 2},
                 {4, 0, 2 * (kTh + 1) + 1}, {6, 0, 2 * (kTh + 1) + 1}, {7, 0, 3 * (kTh + 1) + 1},
                 {1, 40, kTh + 2 + 40},     {7, 40, 3 * (kTh + 1) + 1 + 40}};
    for (const auto& c : cases) {
        GridInput in = Grid(c.tiles, 900, 5000);
        in.footerHeight = c.footer;
        const GridResult r = ComputeGridLayout(in);
        EXPECT_EQ(r.scrollHeight, c.height) << c.tiles << " tiles";
        EXPECT_EQ(r.footerTop, c.height - c.footer) << c.tiles << " tiles";
        EXPECT_EQ(r.positions.size(), static_cast<size_t>(c.tiles));
    }
    // the footer counts when rows overflow the client: it may bring the scroll bar
    GridInput fits = Grid(3, 917, kTh + 2);
    EXPECT_EQ(ComputeGridLayout(fits).left, 108);
    fits.footerHeight = 40;
    EXPECT_EQ(ComputeGridLayout(fits).left, 100);
}

TEST(Grid, CellsNearTheViewport)
{
    // rows start at 1, kTh + 2, 2 kTh + 3, ... (pitch kTh + 1); a viewport 600 high, one screen
    // of reach above and below it
    const int p = kTh + 1;
    struct {
        int count, top, height, screens;
        CellSpan span;
    } cases[] = {
        {40, 0, 600, 1, {0, 11}},            // rows 0-3: row 3 starts at 904, within 1200
        {40, 0, 600, 0, {0, 5}},             // rows 0 and 1 in sight
        {40, 1, 600, 0, {0, 5}},             // row 0 still shows its last pixels
        {40, p, 600, 0, {3, 8}},             // row 0 scrolled out whole: rows 1-2
        {40, p - 1, 600, 0, {0, 8}},         // ... one pixel less: row 0's last pixel row shows
        {40, 3 * p, 600, 1, {3, 20}},        // rows 1 to 6
        {40, 3000, 600, 1, {21, 39}},        // the last rows: up to the last item
        {5, 0, 600, 1, {0, 4}},              // fewer items than cells in reach
        {0, 0, 600, 1, {0, -1}},
        {40, 0, 0, 1, {0, -1}},              // no viewport
        {40, 100000, 600, 1, {0, -1}},       // scrolled past everything
        {600, 60 * p, 700, 1, {171, 194}},   // deep in a long list
    };
    for (const auto& c : cases)
        EXPECT_EQ(CellsNearViewport(c.count, kTh, c.top, c.height, c.screens), c.span)
            << c.count << " items, top " << c.top << ", height " << c.height << ", screens " << c.screens;
}

TEST(Grid, TilePoolHoldsEveryReachAtAnyScroll)
{
    // whatever the scroll position, the cells in reach never outnumber the pool; some position
    // reaches exactly as many
    for (const int height : {300, 600, 700, 1000, 1400}) {
        const int pool = TilePoolSize(kTh, height);
        int most = 0;
        for (int top = 0; top < 20 * (kTh + 1); top += 7) {
            const CellSpan span = CellsNearViewport(600, kTh, top, height);
            most = std::max(most, span.last - span.first + 1);
        }
        EXPECT_LE(most, pool) << height;
        EXPECT_GE(most, pool - kGridColumns) << height << ": a pool no larger than needed";
    }
    EXPECT_EQ(TilePoolSize(kTh, 0), 0);
}

// ---- paging

TEST(Paging, NextPageAddresses)
{
    EXPECT_EQ(ListPageAddress("http://h/itemlist/default.htm?&q=a&ver=probeta", 0),
              "http://h/itemlist/default.htm?&q=a&ver=probeta");
    EXPECT_EQ(ListPageAddress("http://h/x?a=1", 1), "http://h/x?a=1&s=40");
    EXPECT_EQ(ListPageAddress("http://h/x?a=1", 14), "http://h/x?a=1&s=560");
}

TEST(Paging, MorePagesAfterAPage)
{
    const auto list = ResultSource::ListSearch;
    const auto open = ResultSource::OpenPlatform;
    struct {
        ResultSource source;
        int pagesShown;
        std::size_t received;
        const char* total;
        bool full;
        bool more;
    } cases[] = {
        {list, 1, 40, "", false, true},
        {list, 1, 39, "", false, false},          // fewer than a page came
        {list, 1, 0, "", false, false},
        {list, 14, 40, "", false, true},
        {list, 15, 40, "", false, false},         // fifteen pages: 600 items
        {list, 3, 40, "", true, false},           // the view holds all it may
        {list, 1, 600, "", false, true},          // a long answer still asks on (the view's bound ends it)
        {open, 1, 40, "1234", false, true},
        {open, 2, 40, "80", false, false},        // total_results reached
        {open, 2, 40, "81", false, true},
        {open, 1, 40, "", false, true},           // no total: the full page decides
        {open, 1, 40, "many", false, true},
        {open, 1, 40, "99999999999999999999999", false, true},
        {open, 1, 39, "1234", false, false},
        {open, 15, 40, "100000", false, false},
        {list, 1, 40, "40", false, true},         // the list search has no total
    };
    for (const auto& c : cases) {
        PageAnswer page;
        page.source = c.source;
        page.pagesShown = c.pagesShown;
        page.received = c.received;
        page.totalResults = c.total;
        page.itemsFull = c.full;
        EXPECT_EQ(HasMorePages(page), c.more) << c.pagesShown << " pages, " << c.received << " received, total "
                                              << c.total << (c.source == open ? " (open platform)" : "");
    }
}

TEST(Paging, NearTheEnd)
{
    struct {
        int top, height, content;
        bool near;
    } cases[] = {{0, 700, 1400, true},   {0, 700, 1401, false}, {1000, 700, 2400, true},
                 {999, 700, 2400, false}, {0, 700, 100, true},  {0, 0, 100, false}};
    for (const auto& c : cases)
        EXPECT_EQ(NearEnd(c.top, c.height, c.content), c.near) << c.top << " " << c.height << " " << c.content;
}

// ---- the items of a view

TEST(ResultItems, PagesAppendWithoutRepeatsUpToTheBound)
{
    ResultItems items;
    EXPECT_EQ(items.Append({Rec("a", "3", "0"), Rec("b", "1", "0"), Rec("a", "9", "0"), Rec("", "2", "0")}), 3u)
        << "a repeat within a page is left out; an item without id always stays";
    EXPECT_EQ(items.Append({Rec("b", "5", "0"), Rec("c", "4", "0"), Rec("", "2", "0")}), 2u)
        << "a page that overlaps the one before";
    EXPECT_EQ(Ids(items.SalesRecords()), (std::vector<std::string>{"a", "b", "", "c", ""}));
    EXPECT_EQ(items.SalesRecords()[0].currentPrice(), "3") << "the first one kept";

    std::vector<CTBRecord> many;
    for (int i = 0; i < 700; ++i)
        many.push_back(Rec("m" + std::to_string(i), "1", "0"));
    EXPECT_EQ(items.Append(many), ResultItems::kMaxItems - 5);
    EXPECT_TRUE(items.Full());
    EXPECT_EQ(items.Count(), ResultItems::kMaxItems);
    EXPECT_EQ(items.Append({Rec("late", "1", "0")}), 0u);
    items.Clear();
    EXPECT_EQ(items.Append({Rec("a", "1", "0")}), 1u) << "cleared items come again";
}

TEST(ResultItems, PriceOrderMergesLaterPagesAsIfBuiltAgain)
{
    // pages whose keys interleave with ties across pages
    const std::vector<std::vector<CTBRecord>> pages = {
        {Rec("a", "10", "0"), Rec("b", "5", "5"), Rec("c", "8", "0")},
        {Rec("d", "9", "1"), Rec("e", "1", "0"), Rec("b", "0", "0"), Rec("f", "8", "")},
        {Rec("g", "100", "0"), Rec("h", "0.5", "0")},
    };
    ResultItems items;
    items.SetOrder(1);
    EXPECT_TRUE(items.PriceOrderBuilt());
    for (const auto& page : pages) {
        items.Append(page);
        EXPECT_EQ(Ids(items.PriceRecords()), Ids(PriceOrder(items.SalesRecords())));
    }
    EXPECT_EQ(Ids(items.PriceRecords()), (std::vector<std::string>{"h", "e", "c", "f", "a", "b", "d", "g"}));
    EXPECT_EQ(items.PriceOrderBuilds(), 1) << "merged, not built again";
    for (std::size_t row = 0; row < items.Count(); ++row) {
        EXPECT_EQ(items.AtRow(row).itemId(), items.PriceRecords()[row].itemId());
        EXPECT_EQ(items.RowOfItem(items.ItemOfRow(row)), row);
    }
    items.SetOrder(0);
    EXPECT_EQ(items.AtRow(1).itemId(), "b");
    EXPECT_EQ(items.RowOfItem(7), 7u);
    EXPECT_EQ(items.RowOfItem(8), items.Count()) << "no such item";
    items.SetOrder(1);
    EXPECT_EQ(items.PriceOrderBuilds(), 1);
}

TEST(ResultItems, CreditLevelsReachEveryOrder)
{
    ResultItems items;
    items.Append({Rec("a", "3", "0"), Rec("b", "1", "0"), Rec("c", "2", "0")});
    items.SetOrder(1);
    EXPECT_EQ(items.ApplyRatesums({{"a", "7"}, {"c", "12"}, {"zz", "3"}}), (std::vector<std::size_t>{0, 2}));
    EXPECT_EQ(items.AtRow(2).ratesum(), "7"); // "a" is the dearest
    EXPECT_EQ(items.PriceRecords()[1].ratesum(), "12");
    EXPECT_TRUE(items.ApplyRatesums({{"a", "7"}}).empty()) << "nothing changes the second time";
}

TEST(Grid, FirstLayoutPlacesThreeColumnsRowByRow)
{
    const GridResult one = ComputeGridLayout(Grid(1, 900, 2000));
    EXPECT_EQ(one.positions, (std::vector<GridPoint>{{100, 1}}));

    const GridResult three = ComputeGridLayout(Grid(3, 900, 2000));
    EXPECT_EQ(three.positions, (std::vector<GridPoint>{{100, 1}, {333, 1}, {566, 1}}));

    const GridResult four = ComputeGridLayout(Grid(4, 900, 2000));
    EXPECT_EQ(four.positions, (std::vector<GridPoint>{{100, 1}, {333, 1}, {566, 1}, {100, kTh + 2}}));

    // 700 pixels exactly hold the three columns, their gaps and margins.
    const GridResult narrow = ComputeGridLayout(Grid(3, 700, 2000));
    EXPECT_EQ(narrow.positions.back().x + kTw + 1, 700);
}

TEST(Grid, OverflowingRowsTakeTheScrollBarOffBeforeCentring)
{
    // 10 tiles: 4 rows, taller than 600 pixels.
    GridInput noBar = Grid(10, 917, 600);
    GridResult r = ComputeGridLayout(noBar);
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.scrollWidth, 899);
    EXPECT_EQ(r.scrollHeight, 4 * (kTh + 1) + 1);

    // The same view once its vertical bar is shown: the client is 17 pixels narrower but the
    // full size, and so the result, stays.
    GridInput withBar = noBar;
    withBar.clientWidth = 900;
    withBar.hasVScroll = true;
    withBar.vScrollWidth = 17;
    GridResult again = ComputeGridLayout(withBar);
    EXPECT_EQ(again.left, 100);
    EXPECT_EQ(again.scrollWidth, 899);

    // A horizontal bar shown now adds its height back before the comparison: 583 + 17 holds
    // one row of 302 pixels, so no width is taken off.
    GridInput hbar = Grid(3, 917, 583 - kTh);
    hbar.hasHScroll = true;
    hbar.hScrollHeight = 17;
    hbar.clientHeight = kTh + 2 - 17;
    EXPECT_EQ(ComputeGridLayout(hbar).left, 108);
    hbar.hasHScroll = false;
    EXPECT_EQ(ComputeGridLayout(hbar).left, 100);
}

TEST(Grid, LaterResizeOnlyShifts)
{
    GridInput first = Grid(5, 900, 2000);
    const GridResult a = ComputeGridLayout(first);
    ASSERT_EQ(a.left, 100);

    GridInput second = Grid(5, 1000, 2000);
    second.previousLeft = a.left;
    second.firstLayout = false;
    const GridResult b = ComputeGridLayout(second);
    EXPECT_EQ(b.left, 150);
    EXPECT_EQ(b.shift, 50);
    EXPECT_TRUE(b.positions.empty());

    GridInput same = second;
    same.previousLeft = b.left;
    EXPECT_EQ(ComputeGridLayout(same).shift, 0);

    GridInput smaller = Grid(5, 640, 2000);
    smaller.previousLeft = b.left;
    smaller.firstLayout = false;
    EXPECT_EQ(ComputeGridLayout(smaller).shift, 1 - 150);
}

TEST(Grid, NoTilesKeepsTheFirstLayoutPending)
{
    for (int n : {0, -3}) {
        const GridResult r = ComputeGridLayout(Grid(n, 900, 600));
        EXPECT_TRUE(r.empty);
        EXPECT_EQ(r.scrollWidth, 100);
        EXPECT_EQ(r.scrollHeight, 100);
        EXPECT_FALSE(r.firstLayoutDone);
        EXPECT_TRUE(r.positions.empty());
    }
}

// ---- numbers

TEST(Numbers, LeadingDoubleReadsLikeAtofOnDecimals)
{
    const struct {
        const char* text;
        double value;
    } cases[] = {{"12.50", 12.5}, {"  12.50", 12.5}, {"\t\n7", 7},     {"+3", 3},     {"-2.5e1x", -25},
                 {"1e", 1},       {"1e+", 1},        {".5", 0.5},      {"5.", 5},     {".", 0},
                 {"", 0},         {"abc", 0},        {"0x10", 0},      {"inf", 0},    {"nan", 0},
                 {"1,5", 1},      {"- 5", 0},        {"12.5元", 12.5}, {"1e-400", 0}, {"0.00", 0}};
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(LeadingDouble(c.text), c.value) << '"' << c.text << '"';
    EXPECT_EQ(LeadingDouble("1e400"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(LeadingDouble("-1e400"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(LeadingDouble(std::string(400, '9')), std::numeric_limits<double>::infinity());
    EXPECT_EQ(LeadingDouble("0." + std::string(400, '0') + "1"), 0.0);
}

// Builds a locale whose decimal point is a comma into a private folder (localedef needs no
// privileges) and switches LC_NUMERIC to it; false when that cannot be done on this machine.
// `made` receives the folder to remove afterwards.
bool UseCommaDecimalLocale(std::string& made)
{
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"})
        if (std::setlocale(LC_NUMERIC, name))
            return true;
    char folder[] = "/tmp/yfx-locale-XXXXXX";
    if (!::mkdtemp(folder))
        return false;
    const std::string dir = folder;
    made = dir;
    {
        std::ofstream src(dir + "/comma.src");
        src << "LC_CTYPE\ncopy \"POSIX\"\nEND LC_CTYPE\nLC_NUMERIC\ndecimal_point \"<U002C>\"\n"
               "thousands_sep \"<U002E>\"\ngrouping 3\nEND LC_NUMERIC\n";
    }
    const std::string cmd =
        "localedef -c -i " + dir + "/comma.src -f ANSI_X3.4-1968 " + dir + "/comma >/dev/null 2>&1";
    [[maybe_unused]] const int rc = std::system(cmd.c_str());
    ::setenv("LOCPATH", dir.c_str(), 1);
    return std::setlocale(LC_NUMERIC, "comma") != nullptr;
}

TEST(Numbers, LeadingDoubleIgnoresTheNumericLocale)
{
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    std::string made;
    struct Cleanup {
        std::string& dir;
        ~Cleanup()
        {
            if (!dir.empty())
                std::filesystem::remove_all(dir);
        }
    } cleanup{made};
    if (!UseCommaDecimalLocale(made))
        GTEST_SKIP() << "no comma-decimal locale can be had on this machine";
    // The C library itself now reads "12.50" as 12 ...
    EXPECT_DOUBLE_EQ(std::atof("12.50"), 12.0);
    // ... but the record texts still read with a decimal point.
    EXPECT_DOUBLE_EQ(LeadingDouble("12.50"), 12.5);
    EXPECT_DOUBLE_EQ(LeadingDouble("12,50"), 12);
    EXPECT_DOUBLE_EQ(PriceKey([] {
                         CTBRecord r;
                         r.SetValue(CTBRecord::CurrentPrice, "12.50");
                         r.SetValue(CTBRecord::Ship, "0.25");
                         return r;
                     }()),
                     12.75);
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(Numbers, LeadingLongReadsLikeAtol)
{
    const struct {
        const char* text;
        long value;
    } cases[] = {{"20", 20}, {" +5", 5}, {"-3", -3}, {"abc", 0},    {"12abc", 12},
                 {"", 0},    {"- 5", 0}, {"5.9", 5}, {"\v\f 8", 8}, {"007", 7}};
    for (const auto& c : cases)
        EXPECT_EQ(LeadingLong(c.text), c.value) << '"' << c.text << '"';
    EXPECT_EQ(LeadingLong("99999999999999999999999"), LONG_MAX);
    EXPECT_EQ(LeadingLong("-99999999999999999999999"), LONG_MIN);
    EXPECT_EQ(LeadingLong(std::to_string(LONG_MIN)), LONG_MIN);
}

// ---- seller filter

TEST(SellerFilter, Cases)
{
    const std::vector<CTBRecord> answer = {Rec("1", "1", "0", "alpha"), Rec("2", "1", "0", "beta"),
                                           Rec("3", "1", "0", ""), Rec("4", "1", "0", "Alpha"),
                                           Rec("5", "1", "0", "gamma")};
    struct {
        std::map<std::string, int> nicks;
        std::vector<std::string> kept;
    } cases[] = {
        {{}, {"1", "2", "3", "4", "5"}},                 // empty map: nothing filtered
        {{{"alpha", 0}, {"gamma", 1}}, {"2", "3", "4"}}, // two sellers gone, case-sensitive
        {{{"", 0}}, {"1", "2", "3", "4", "5"}},          // an empty nick is never filtered
        {{{"nobody", 3}}, {"1", "2", "3", "4", "5"}},
        {{{"alpha", 0}, {"beta", 1}, {"Alpha", 2}, {"gamma", 3}}, {"3"}},
    };
    for (const auto& c : cases) {
        std::vector<CTBRecord> records = answer;
        FilterSellers(records, c.nicks);
        EXPECT_EQ(Ids(records), c.kept);
    }
    std::vector<CTBRecord> all = {Rec("1", "1", "0", "a"), Rec("2", "1", "0", "b")};
    FilterSellers(all, {{"a", 0}, {"b", 1}});
    EXPECT_TRUE(all.empty());
}

TEST(SellerFilter, OpenPlatformBySellerIdWhereOneIsGiven)
{
    // the open platform names shops ("alpha's shop"), the configuration names sellers; ids
    // given beside the nicks decide for those sellers
    auto open = [](const char* id, const char* shop, const char* sellerId) {
        CTBRecord r = Rec(id, "1", "0", shop);
        r.source = ResultSource::OpenPlatform;
        r.sellerId = sellerId;
        return r;
    };
    const std::vector<CTBRecord> answer = {open("1", "alpha's shop", "101"), open("2", "beta", "102"),
                                           open("3", "gamma", ""), Rec("4", "1", "0", "alpha"),
                                           open("5", "alpha", "999")};
    struct {
        const char* name;
        std::map<std::string, int> nicks;
        std::map<std::string, std::string> ids;
        std::vector<std::string> kept;
    } cases[] = {
        {"no ids: shop titles against the nicks", {{"alpha", 0}, {"beta", 1}}, {}, {"1", "3"}},
        {"an id for alpha: its shop goes whatever its title, a shop titled alpha of another seller stays",
         {{"alpha", 0}, {"beta", 1}}, {{"alpha", "101"}}, {"3", "5"}},
        {"ids of sellers not named leave nothing out", {{"gamma", 0}}, {{"alpha", "101"}, {"beta", "102"}}, {"1", "2", "4", "5"}},
        {"no nicks, no filter", {}, {{"alpha", "101"}}, {"1", "2", "3", "4", "5"}},
        {"a nick with an id is not compared by title, not even with a shop that came without an id",
         {{"gamma", 0}}, {{"gamma", "103"}}, {"1", "2", "3", "4", "5"}},
    };
    for (const auto& c : cases) {
        std::vector<CTBRecord> records = answer;
        FilterSellers(records, c.nicks, c.ids);
        EXPECT_EQ(Ids(records), c.kept) << c.name; // the list search's "4" goes wherever alpha is named
    }
}

// ---- price order

TEST(PriceOrder, AscendingAndStable)
{
    // Keys 10 + 0, 5 + 5 and 8 + 0: the 8 first, then both tens in sales order.
    EXPECT_EQ(Ids(PriceOrder({Rec("a", "10", "0"), Rec("b", "5", "5"), Rec("c", "8", "0")})),
              (std::vector<std::string>{"c", "a", "b"}));
    // An empty postage counts as 0; a price that is no number counts as 0 and comes before
    // every positive key; equal keys keep their order.
    EXPECT_EQ(Ids(PriceOrder({Rec("a", "12.50", ""), Rec("b", "12.4", "0.2"), Rec("c", "面议", "0"),
                              Rec("d", "12.5", "0.00"), Rec("e", "0.01", "")})),
              (std::vector<std::string>{"c", "e", "a", "d", "b"}));
    EXPECT_TRUE(PriceOrder({}).empty());
    // Opposite infinities never make a NaN that would break the ordering.
    EXPECT_EQ(Ids(PriceOrder({Rec("a", "1", "0"), Rec("b", "1e999", "-1e999"), Rec("c", "-1", "0")})),
              (std::vector<std::string>{"b", "c", "a"}));
}

TEST(PriceOrder, KeyIsPricePlusPostage)
{
    EXPECT_DOUBLE_EQ(PriceKey(Rec("x", " 12.50", "8.5")), 21.0);
    EXPECT_DOUBLE_EQ(PriceKey(Rec("x", "", "")), 0.0);
    EXPECT_DOUBLE_EQ(PriceKey(Rec("x", "-3", "1")), -2.0);
}

TEST(PriceOrder, KeepsWholeRecords)
{
    CTBRecord r = Rec("x", "3", "0", "seller");
    r.SetValue(CTBRecord::Tip, "\xCA\xD6\xBB\xFA"); // GBK bytes stay as they are
    r.thumbUrl = "http://h/p.jpg_220x220.jpg";
    r.thumbFileName = "p.jpg_220x220.jpg";
    const std::vector<CTBRecord> sorted = PriceOrder({Rec("y", "9", "0"), r});
    ASSERT_EQ(sorted.size(), 2u);
    EXPECT_EQ(sorted[0].tip(), r.tip());
    EXPECT_EQ(sorted[0].nick(), "seller");
    EXPECT_EQ(sorted[0].thumbFileName, r.thumbFileName);
}

// ---- title suffix

TEST(TitleSuffix, Cases)
{
    const struct {
        const char* title;
        int order;
        const char* result;
        bool changed;
    } cases[] = {
        {"自助搜索 - 销量", 1, "自助搜索 - 价格", true},
        {"自助搜索 - 价格", 0, "自助搜索 - 销量", true},
        {"自助搜索 - 价格", 1, "自助搜索 - 价格", false},
        {"自助搜索 - 销量", 0, "自助搜索 - 销量", false},
        {"自助搜索", 1, "自助搜索", false},
        {"销量排行 - 其他", 1, "销量排行 - 其他", false},
        {"销量", 1, "价格", true},
        {"", 0, "", false},
    };
    for (const auto& c : cases) {
        std::string title = c.title;
        EXPECT_EQ(SwitchTitleSuffix(title, c.order), c.changed) << c.title;
        EXPECT_EQ(title, c.result);
    }
}

// ---- tile rules

TEST(TileRules, CreditBadges)
{
    const BadgeTable table;
    const struct {
        const char* ratesum;
        unsigned id;
        const char* words; // what a screen reader says of the badge
    } cases[] = {{"1", 315, "1心"},   {"5", 319, "5心"},   {"6", 320, "1钻"}, {"20", 334, "5金冠"},
                 {" 11", 325, "1皇冠"}, {"+16", 330, "1金冠"}, {"7.9", 321, "2钻"}, {"0", 0, ""},
                 {"21", 0, ""},       {"", 0, ""},         {"abc", 0, ""},    {"-5", 0, ""},
                 {"99999999999", 0, ""}, {"15", 329, "5皇冠"}, {"10", 324, "5钻"}};
    for (const auto& c : cases) {
        EXPECT_EQ(BadgeIdFor(c.ratesum, table), c.id) << '"' << c.ratesum << '"';
        EXPECT_EQ(CreditLevelWords(c.ratesum), c.words) << '"' << c.ratesum << '"';
    }
    EXPECT_EQ(CreditLevel("99999999999"), INT_MAX);
    EXPECT_EQ(CreditLevel("-99999999999"), INT_MIN);
}

TEST(TileRules, CouponLabelAndToolTip)
{
    const struct {
        const char* fee;
        const char* finalPrice;
        const char* label;   // UTF-8
        const char* toolTip; // UTF-8
    } cases[] = {{"10", "39.00", "券 ¥10", "券后价 ¥39.00"},
                 {"5.5", "", "券 ¥5.5", ""}, // no price after it: no tooltip
                 {"", "39.00", "", ""},      // another promotion, no coupon
                 {"", "", "", ""}};
    for (const auto& c : cases) {
        CTBRecord r;
        r.source = ResultSource::OpenPlatform;
        r.couponFee = c.fee;
        r.finalPrice = c.finalPrice;
        EXPECT_EQ(GbkToUtf8(CouponLabelText(r)), c.label) << c.fee;
        EXPECT_EQ(GbkToUtf8(CouponToolTipText(r)), c.toolTip) << c.fee << " " << c.finalPrice;
    }
}

TEST(TileRules, ItemDescriptionSaysAmountsCreditAndWhatTheTileShowsBesides)
{
    const struct {
        const char* ratesum;
        const char* fee;
        const char* finalPrice;
        const char* marker;
        const char* description;
    } cases[] = {
        {"3", "", "", "", "价格 ¥12.50，邮费 ¥0.00，销量 1523，信用 3心"},
        {"", "", "", "", "价格 ¥12.50，邮费 ¥0.00，销量 1523"},
        {"18", "10", "2.50", "降¥3.00",
         "价格 ¥12.50，邮费 ¥0.00，销量 1523，信用 3金冠，券 ¥10，券后价 ¥2.50，到手价 ¥2.50，降¥3.00"},
        {"12", "", "", "历史最低", "价格 ¥12.50，邮费 ¥0.00，销量 1523，信用 2皇冠，历史最低"},
    };
    for (const auto& c : cases) {
        CTBRecord r;
        r.SetValue(CTBRecord::CurrentPrice, "12.50");
        r.SetValue(CTBRecord::Ship, "0.00");
        r.SetValue(CTBRecord::TradeNum, "1523");
        r.SetValue(CTBRecord::Ratesum, c.ratesum);
        r.couponFee = c.fee;
        r.finalPrice = c.finalPrice;
        if (*c.fee)
            r.source = ResultSource::OpenPlatform;
        EXPECT_EQ(ItemDescription(r, c.marker), c.description);
    }
}

TEST(Grid, FocusMovesInGridOrder)
{
    // 8 cells: rows 0-2, 3-5, 6-7; a page of 2 grid rows
    const struct {
        int cell, count;
        FocusMove move;
        int to;
    } cases[] = {
        {-1, 8, FocusMove::Down, 0},     {3, 8, FocusMove::Left, 2},      {2, 8, FocusMove::Right, 3},
        {0, 8, FocusMove::Left, 0},      {7, 8, FocusMove::Right, 7},     {1, 8, FocusMove::Down, 4},
        {4, 8, FocusMove::Down, 7},      {5, 8, FocusMove::Down, 7},      {6, 8, FocusMove::Down, 6},
        {4, 8, FocusMove::Up, 1},        {1, 8, FocusMove::Up, 1},        {1, 8, FocusMove::PageDown, 7},
        {0, 8, FocusMove::PageDown, 6},  {2, 20, FocusMove::PageDown, 8}, {7, 8, FocusMove::PageUp, 1},
        {17, 20, FocusMove::PageUp, 11}, {5, 8, FocusMove::Home, 0},      {1, 8, FocusMove::End, 7},
        {0, 0, FocusMove::Down, -1},     {9, 8, FocusMove::Up, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MoveFocus(c.cell, c.count, c.move, 2), c.to)
            << c.cell << " of " << c.count << " move " << static_cast<int>(c.move);
    EXPECT_EQ(MoveFocus(0, 40, FocusMove::PageDown, 0), 3); // at least a grid row a page
}

TEST(TileRules, HitAreas)
{
    const TileRect picture{2, 2, 228, 228};
    const TileRect name{5, 264, 236, 30};
    const struct {
        int x, y;
        TileArea area;
    } cases[] = {{2, 2, TileArea::Picture},  {229, 229, TileArea::Picture}, {230, 100, TileArea::None},
                 {100, 230, TileArea::None}, {1, 1, TileArea::None},        {5, 264, TileArea::Name},
                 {240, 293, TileArea::Name}, {241, 270, TileArea::None},    {100, 294, TileArea::None},
                 {100, 250, TileArea::None}};
    for (const auto& c : cases)
        EXPECT_EQ(HitArea(c.x, c.y, picture, name), c.area) << c.x << "," << c.y;
}

TEST(TileRules, HoverLooks)
{
    const HoverLook none = HoverFor(TileArea::None);
    EXPECT_FALSE(none.handCursor || none.nameHighlight || none.pictureHover || none.noLinkNote);
    const HoverLook name = HoverFor(TileArea::Name);
    EXPECT_TRUE(name.handCursor && name.nameHighlight && !name.pictureHover && !name.noLinkNote);
    const HoverLook picture = HoverFor(TileArea::Picture);
    EXPECT_TRUE(picture.handCursor && !picture.nameHighlight && picture.pictureHover && !picture.noLinkNote);
    // an item with nothing to open: the grey note in place of every highlight
    for (const TileArea area : {TileArea::Name, TileArea::Picture}) {
        const HoverLook linkless = HoverFor(area, false);
        EXPECT_TRUE(linkless.noLinkNote && !linkless.handCursor && !linkless.nameHighlight && !linkless.pictureHover);
    }
    EXPECT_FALSE(HoverFor(TileArea::None, false).noLinkNote);
}

TEST(TileRules, LinksAndTheBoundedPrice)
{
    const struct {
        ResultSource source;
        const char* href;
        const char* price;
        const char* finalPrice;
        bool linked;
        const char* label; // UTF-8
    } cases[] = {
        {ResultSource::OpenPlatform, "https://s.click/1", "105.00", "95.00", true, "到手价 ¥95.00"},
        {ResultSource::OpenPlatform, "https://s.click/1", "95.00", "95.0", true, ""}, // the price shown
        {ResultSource::OpenPlatform, "", "105.00", "", false, ""},                      // no final price
        {ResultSource::OpenPlatform, "", "105.00", "n/a", false, ""},                   // bounds apply to the price
        {ResultSource::ListSearch, "", "105.00", "95.00", true, ""},                    // the list search has none
    };
    for (const auto& c : cases) {
        CTBRecord r = Rec("1", c.price, "0");
        r.source = c.source;
        r.SetValue(CTBRecord::Href, c.href);
        r.finalPrice = c.finalPrice;
        EXPECT_EQ(HasItemLink(r), c.linked) << c.href;
        EXPECT_EQ(GbkToUtf8(BoundedPriceLabelText(r)), c.label) << c.price << " " << c.finalPrice;
    }
}

TEST(TileRules, PressAndRelease)
{
    using A = TileArea;
    const struct {
        std::vector<A> presses;
        A release;
        bool opens;
    } cases[] = {
        {{A::Picture}, A::Name, true}, // press on the picture, release on the name
        {{A::Name}, A::Name, true},
        {{A::Name}, A::Picture, true},
        {{A::None}, A::Picture, false},             // press on the price, release on the picture
        {{A::Picture}, A::None, false},             // release outside both areas
        {{}, A::Picture, false},                    // no press at all
        {{A::Picture, A::None}, A::Picture, false}, // a later press elsewhere disarms
        {{A::None, A::Name}, A::Picture, true},
    };
    for (const auto& c : cases) {
        TileClick click;
        for (A a : c.presses)
            click.Press(a);
        EXPECT_EQ(click.Release(c.release), c.opens);
    }
    // A release does not disarm: a second release on the name opens again.
    TileClick click;
    click.Press(A::Picture);
    EXPECT_TRUE(click.Release(A::Picture));
    EXPECT_TRUE(click.Release(A::Name));
}

// ---- price marker

namespace {

// A summary of rows with these totals on these days, seen against `current`.
store::PriceSummary Summary(std::int64_t current, std::vector<std::pair<int, std::int64_t>> dayTotals)
{
    std::vector<store::PricePoint> points;
    for (const auto& [day, total] : dayTotals) {
        store::PricePoint p;
        p.time = static_cast<std::int64_t>(day) * 86400 + static_cast<std::int64_t>(points.size());
        p.day = day;
        p.price = total;
        points.push_back(p);
    }
    store::PriceSummary s;
    s.currentTotal = current;
    std::set<int> days;
    for (const store::PricePoint& p : points) {
        if (s.rows == 0 || p.Total() <= s.lowest) {
            s.lowestDay = p.day;
            s.lowest = p.Total();
        }
        s.highest = s.rows == 0 ? p.Total() : std::max(s.highest, p.Total());
        if (p.Total() != current)
            s.lastDifferent = p.Total();
        days.insert(p.day);
        ++s.rows;
    }
    s.days = static_cast<int>(days.size());
    return s;
}

} // namespace

TEST(PriceMarkerRules, Cases)
{
    using K = MarkerKind;
    const struct {
        const char* name;
        store::PriceSummary summary;
        PriceMarker marker;
        const char* text; // the longest form, UTF-8
    } cases[] = {
        {"never seen", Summary(1000, {}), {}, ""},
        {"first seen: the row of now only", Summary(1000, {{10, 1000}}), {}, ""},
        {"lower than the last different price", Summary(900, {{10, 800}, {11, 1250}, {12, 900}}), {K::Lower, 350},
         "降¥3.50"},
        {"higher", Summary(1100, {{10, 1000}, {11, 1100}}), {K::Higher, 100}, "涨¥1.00"},
        {"equal over days", Summary(1000, {{10, 1000}, {11, 1000}, {12, 1000}}), {}, ""},
        {"lowest within one day only is a drop", Summary(800, {{10, 1000}, {10, 800}}), {K::Lower, 200}, "降¥2.00"},
        {"lowest over two days", Summary(800, {{10, 1000}, {11, 800}}), {K::Lowest, 0}, "历史最低"},
        {"lowest again, days after the drop", Summary(800, {{10, 1000}, {11, 800}, {14, 800}}), {K::Lowest, 0},
         "历史最低"},
        {"back up after a low", Summary(1000, {{10, 1000}, {11, 800}, {12, 1000}}), {K::Higher, 200}, "涨¥2.00"},
        {"tied with an earlier low is still the lowest", Summary(800, {{9, 800}, {10, 1000}, {12, 800}}),
         {K::Lowest, 0}, "历史最低"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ChooseMarker(c.summary), c.marker);
        const std::vector<std::string> texts = MarkerTexts(c.marker);
        EXPECT_EQ(texts.empty() ? std::string() : texts.front(), c.text);
        for (std::size_t i = 1; i < texts.size(); ++i)
            EXPECT_LT(texts[i].size(), texts[i - 1].size()) << "shorter forms follow";
    }
}

TEST(PriceMarkerRules, ToolTipAndAmounts)
{
    EXPECT_EQ(MarkerToolTip(Summary(900, {{10, 1000}, {11, 900}, {11, 1250}}), "2026/12/9"),
              "最低 ¥9.00（2026/12/9）· 最高 ¥12.50 · 记录 2 天");
    EXPECT_EQ(MarkerToolTip(Summary(900, {}), "2026/12/9"), "");
    EXPECT_EQ(YuanText(5), "¥0.05");
    EXPECT_EQ(YuanText(9999900), "¥99999.00");
    EXPECT_EQ(YuanText(-250), "-¥2.50");
}

TEST(PriceMarkerRules, FitsTheLongestFormThatHasRoom)
{
    const struct {
        int priceRight, roomRight;
        std::vector<int> widths;
        MarkerFit fit;
    } cases[] = {
        {60, 140, {50, 14}, {0, 64, 50}},  // room for the whole text
        {90, 140, {50, 14}, {1, 94, 14}},  // a long price: the short form
        {130, 140, {50, 14}, {}},          // no room at all
        {60, 114, {50, 14}, {0, 64, 50}},  // exactly enough
        {60, 113, {50, 14}, {1, 64, 14}},  // one pixel short
        {60, 140, {}, {}},                 // no marker
    };
    for (const auto& c : cases)
        EXPECT_EQ(FitMarker(c.priceRight, c.roomRight, 4, c.widths), c.fit) << c.priceRight << " " << c.roomRight;
}

// ---- price chart

TEST(PriceChartRules, StepsLowestHighestAndValueAt)
{
    auto point = [](std::int64_t time, std::int64_t price, std::int64_t postage, std::optional<std::int64_t> after) {
        store::PricePoint p;
        p.time = time;
        p.price = price;
        p.postage = postage;
        p.finalPrice = after;
        return p;
    };
    const std::vector<store::PricePoint> rows = {point(100, 1000, 0, 900), point(200, 1000, 0, 900),
                                                 point(300, 800, 200, std::nullopt), point(400, 700, 0, 600)};
    const ChartSeries s = BuildChartSeries(rows, 1000);
    EXPECT_EQ(s.total, (std::vector<ChartStep>{{100, 1000}, {400, 700}})); // 800 + 200 postage: no step
    EXPECT_EQ(s.afterCoupon, (std::vector<ChartStep>{{100, 900}, {300, -1}, {400, 600}}));
    EXPECT_EQ(s.lowest, 700);
    EXPECT_EQ(s.highest, 1000);
    EXPECT_EQ(s.current, 700);
    EXPECT_EQ(s.firstTime, 100);
    EXPECT_EQ(s.lastTime, 1000);
    const struct {
        std::int64_t time;
        std::optional<std::int64_t> total, after;
    } at[] = {{99, std::nullopt, std::nullopt}, {100, 1000, 900}, {299, 1000, 900},
              {300, 1000, std::nullopt},        {400, 700, 600},  {5000, 700, 600}};
    for (const auto& a : at) {
        EXPECT_EQ(ValueAt(s.total, a.time), a.total) << a.time;
        EXPECT_EQ(ValueAt(s.afterCoupon, a.time), a.after) << a.time;
    }
    EXPECT_TRUE(BuildChartSeries({}, 1000).empty);
}

TEST(PriceChartRules, ScaleMapsTimesAndAmountsIntoThePlot)
{
    ChartSeries s;
    s.empty = false;
    s.firstTime = 1000;
    s.lastTime = 2000;
    s.lowest = 5000;
    s.highest = 15000;
    s.total = {{1000, 15000}, {1500, 5000}};
    const ChartScale scale(s, 10, 20, 400, 200);
    EXPECT_DOUBLE_EQ(scale.X(1000), 10);
    EXPECT_DOUBLE_EQ(scale.X(2000), 410);
    EXPECT_EQ(scale.TimeAt(210), 1500);
    EXPECT_EQ(scale.TimeAt(-50), 1000); // clamped
    // a tenth of the range as margin (40.00 .. 160.00), widened to steps of 25.00: the line
    // stays inside the plot
    EXPECT_EQ(scale.Step(), 2500);
    EXPECT_EQ(scale.LowValue(), 2500);
    EXPECT_EQ(scale.HighValue(), 17500);
    EXPECT_GT(scale.Y(15000), 20);
    EXPECT_LT(scale.Y(5000), 220);
    EXPECT_GT(scale.Y(5000), scale.Y(15000));
    // a flat series gets at least a yuan either side
    s.lowest = s.highest = 5000;
    const ChartScale flat(s, 0, 0, 100, 100);
    EXPECT_EQ(flat.Step(), 50);
    EXPECT_EQ(flat.LowValue(), 4900);
    EXPECT_EQ(flat.HighValue(), 5100);
    EXPECT_DOUBLE_EQ(flat.Y(5000), 50);
    // amounts below a yuan keep a floor of zero
    s.lowest = 30;
    s.highest = 70;
    const ChartScale cheap(s, 0, 0, 100, 100);
    EXPECT_EQ(cheap.LowValue(), 0);
    EXPECT_GE(cheap.HighValue(), 170);
}

TEST(PriceChartRules, DayTicks)
{
    const struct {
        int first, last, most;
        std::vector<int> ticks;
    } cases[] = {
        {100, 100, 6, {100}},
        {100, 104, 6, {100, 101, 102, 103, 104}},
        {100, 108, 6, {100, 102, 104, 106, 108}},
        {100, 130, 6, {100, 107, 114, 121, 128}},
        {100, 465, 6, {100, 191, 282, 373, 464}},
        {100, 99, 6, {}},
        {100, 110, 0, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DayTicks(c.first, c.last, c.most), c.ticks) << c.first << ".." << c.last << " " << c.most;
}

// ---- host values

TEST(ResultsHost, PictureFolderAndBadgeTable)
{
    EXPECT_EQ(BadgeIds().ForLevel(1), 315u);
    EXPECT_EQ(BadgeIds().ForLevel(20), 334u);
    EXPECT_EQ(BadgeIds().ForLevel(0), 0u);

    SetPictureFolder("/tmp/a/");
    const std::string& first = PictureFolder();
    EXPECT_EQ(first, "/tmp/a/");
    // A reader on another thread sees a whole value while it changes; an earlier reference
    // stays valid.
    std::thread reader([] {
        for (int i = 0; i < 1000; ++i) {
            const std::string& f = PictureFolder();
            ASSERT_TRUE(f == "/tmp/a/" || f == "/tmp/b/") << f;
        }
    });
    SetPictureFolder("/tmp/b/");
    reader.join();
    EXPECT_EQ(PictureFolder(), "/tmp/b/");
    EXPECT_EQ(first, "/tmp/a/");
    EXPECT_EQ(MainResultsHost(), nullptr);
}

namespace {

yfx::store::WatchedItem Watched(const char* id, const char* title, std::int64_t added, std::optional<std::int64_t> current,
                                bool gone = false)
{
    yfx::store::WatchedItem w;
    w.key = {ResultSource::ListSearch, id};
    w.title = title;
    w.addedPrice = added;
    w.current = current;
    w.gone = gone;
    return w;
}

} // namespace

TEST(WatchListRules, OrdersPutGoneAndUnknownLast)
{
    using yfx::WatchOrder;
    // added order a, b, c, d, e; drops 500, -100 (dearer), 0 (unchecked), gone, 200
    std::vector<yfx::store::WatchedItem> items = {
        Watched("a", "b-title", 1500, 1000), Watched("b", "a-title", 900, 1000), Watched("c", "c-title", 700, std::nullopt),
        Watched("d", "d-title", 5000, 10, true), Watched("e", "e-title", 1200, 1000)};
    for (std::size_t i = 0; i < items.size(); ++i)
        items[i].addedTime = static_cast<std::int64_t>(i);
    const auto less = [](const std::string& x, const std::string& y) { return x < y; };
    const struct {
        WatchOrder order;
        const char* ids;
    } cases[] = {{WatchOrder::Drop, "aecbd"}, {WatchOrder::Price, "abecd"}, {WatchOrder::Title, "bacde"}};
    for (const auto& c : cases) {
        std::vector<yfx::store::WatchedItem> sorted = items;
        std::reverse(sorted.begin(), sorted.end()); // the order given does not matter
        yfx::SortWatched(sorted, c.order, less);
        std::string ids;
        for (const auto& w : sorted)
            ids += w.key.itemId;
        EXPECT_EQ(ids, c.ids) << static_cast<int>(c.order);
    }
}

TEST(WatchListRules, PriceLineAndTargetText)
{
    yfx::store::WatchedItem w = Watched("a", "t", 1500, 1250);
    w.lowest = 990;
    w.target = 1000;
    EXPECT_EQ(yfx::WatchPriceLine(w), "¥12.50 · 最低 ¥9.90 · 目标 ¥10.00");
    w.lowest = 1250; // the lowest is now: not said twice
    w.target.reset();
    EXPECT_EQ(yfx::WatchPriceLine(w), "¥12.50");
    EXPECT_EQ(yfx::WatchPriceLine(Watched("a", "t", 1500, std::nullopt)), "尚未检查");
    EXPECT_EQ(yfx::WatchPriceLine(Watched("a", "t", 1500, 700, true)), "已下架 · ¥7.00");
    EXPECT_EQ(yfx::DropSinceAdded(Watched("a", "t", 1500, 700, true)), 0);

    const struct {
        const char* typed;
        bool valid;
        std::optional<std::int64_t> cents;
    } targets[] = {{"", true, std::nullopt},  {"  ", true, std::nullopt}, {"59.9", true, 5990}, {" 1,299.00 ", true, 129900},
                   {"0.005", true, 1},         {"0", false, {}},           {"-5", false, {}},   {"+5", false, {}},
                   {"12元", false, {}},        {"abc", false, {}},         {"1e3", false, {}}};
    for (const auto& t : targets) {
        const yfx::TargetEntry e = yfx::ReadTargetText(t.typed);
        EXPECT_EQ(e.valid, t.valid) << t.typed;
        EXPECT_EQ(e.cents, t.cents) << t.typed;
    }
}

TEST(WatchListRules, SparkLineSpansThirtyDays)
{
    const int today = 20000;
    // a day outside the 30 is left out; the lowest sits at the bottom, the highest at the top
    const std::vector<yfx::store::DayPrice> days = {{today - 40, 1}, {today - 29, 300}, {today - 10, 100}, {today, 200}};
    const auto points = yfx::SparkLine(days, today, 59, 11);
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[0], std::make_pair(0, 0));
    EXPECT_EQ(points[1], std::make_pair(38, 10));
    EXPECT_EQ(points[2], std::make_pair(58, 5));
    EXPECT_TRUE(yfx::SparkLine({{today, 5}}, today, 59, 11).empty());
    const auto flat = yfx::SparkLine({{today - 1, 5}, {today, 5}}, today, 59, 11);
    ASSERT_EQ(flat.size(), 2u);
    EXPECT_EQ(flat[0].second, 5);
}
