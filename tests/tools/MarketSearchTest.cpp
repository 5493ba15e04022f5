// The local marketplace server's list search, asked the way the program asks: addresses from
// the program's own BuildSearchUrl, answers read by its own LoadItemList.
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

#include "market/Endpoints.h"
#include "market/SearchUrl.h"
#include "market/TBRecord.h"
#include "tests/tools/MarketTestSupport.h"

using namespace yfx::test;

namespace {

bool Contains(const std::string& text, const std::string& word)
{
    return text.find(word) != std::string::npos;
}

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// A query of UTF-8 texts, turned into the GBK bytes the program sends.
SearchQuery Query(std::string keyword, std::string exclude = {}, std::string location = {}, std::string low = {},
                  std::string high = {}, std::string nick = {}, std::string cat = "0")
{
    SearchQuery q;
    q.cat = cat;
    q.keyword = G(keyword);
    q.exclude = G(exclude);
    q.location = G(location);
    q.priceLow = low;
    q.priceHigh = high;
    q.nick = G(nick);
    return q;
}

std::vector<std::string> Ids(const std::vector<ListedItem>& items)
{
    std::vector<std::string> ids;
    for (const ListedItem& i : items)
        ids.push_back(i.itemId);
    return ids;
}

class MarketSearchTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_server = std::make_unique<MarketServerProcess>();
        ASSERT_TRUE(s_server->Started()) << s_server->Error();
        yfx::SetEndpointServer(s_server->BaseUrl());
        s_all = FetchAllItems(*s_server, TargetOf(BuildSearchUrl(Query(""))));
    }
    static void TearDownTestSuite()
    {
        yfx::SetEndpointServer({});
        s_server.reset();
    }
    void SetUp() override { ASSERT_TRUE(s_server && s_server->Started()); }

    static std::unique_ptr<MarketServerProcess> s_server;
    static std::vector<ListedItem> s_all; // the whole catalogue in the server's order
};

std::unique_ptr<MarketServerProcess> MarketSearchTest::s_server;
std::vector<ListedItem> MarketSearchTest::s_all;

TEST_F(MarketSearchTest, WholeCatalogueComesInThirtyDaySalesOrder)
{
    ASSERT_GE(s_all.size(), 2000u);
    for (std::size_t i = 1; i < s_all.size(); ++i) {
        const long before = std::stol(s_all[i - 1].tradeNum), now = std::stol(s_all[i].tradeNum);
        ASSERT_GE(before, now) << "at " << i;
        if (before == now) {
            ASSERT_LT(std::stoull(s_all[i - 1].itemId), std::stoull(s_all[i].itemId)) << "tie order at " << i;
        }
    }
    std::vector<std::string> ids = Ids(s_all);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end()) << "an item is listed twice";
}

TEST_F(MarketSearchTest, ValuesAreShapedLikeTheMarketplaces)
{
    std::size_t freeShipping = 0;
    for (const ListedItem& i : s_all) {
        ASSERT_TRUE(std::all_of(i.itemId.begin(), i.itemId.end(), ::isdigit) && !i.itemId.empty()) << i.itemId;
        for (const std::string* money : {&i.currentPrice, &i.ship}) {
            const std::size_t dot = money->find('.');
            ASSERT_TRUE(dot != std::string::npos && dot > 0 && dot + 3 == money->size()) << *money;
        }
        const int rate = std::atoi(i.ratesum.c_str());
        ASSERT_TRUE(rate >= 1 && rate <= 20) << i.ratesum;
        ASSERT_FALSE(i.tip.empty());
        ASSERT_FALSE(i.nick.empty());
        ASSERT_EQ(i.href, s_server->BaseUrl() + "/item.htm?id=" + i.itemId);
        ASSERT_EQ(i.originalImage.rfind(s_server->BaseUrl() + "/bao/uploaded/i", 0), 0u) << i.originalImage;
        freeShipping += i.ship == "0.00";
    }
    // Postage is spread: much free shipping, but not all of it.
    EXPECT_GT(freeShipping, s_all.size() / 3);
    EXPECT_LT(freeShipping, s_all.size() * 9 / 10);
}

TEST_F(MarketSearchTest, DayOptionMovesAboutAThirdOfThePrices)
{
    // s_all is today's catalogue; two servers of the same seed a day later agree with each other.
    const MarketServerProcess later({"--day", "1"});
    const MarketServerProcess again({"--day", "1"});
    ASSERT_TRUE(later.Started() && again.Started());
    const std::string target = TargetOf(BuildSearchUrl(Query("")));
    const std::vector<ListedItem> tomorrow = FetchAllItems(later, target);
    ASSERT_EQ(Ids(tomorrow), Ids(s_all)) << "the sales order stays";
    std::size_t moved = 0;
    for (std::size_t i = 0; i < tomorrow.size(); ++i)
        moved += tomorrow[i].currentPrice != s_all[i].currentPrice;
    EXPECT_GT(moved, s_all.size() * 25 / 100);
    EXPECT_LT(moved, s_all.size() * 42 / 100);
    const std::vector<ListedItem> repeated = FetchAllItems(again, target);
    ASSERT_EQ(repeated.size(), tomorrow.size());
    for (std::size_t i = 0; i < tomorrow.size(); ++i)
        EXPECT_EQ(repeated[i].currentPrice, tomorrow[i].currentPrice);
    // the price bounds see the day's prices
    const std::vector<ListedItem> cheap = FetchAllItems(later, TargetOf(BuildSearchUrl(Query("", "", "", "0", "30"))));
    ASSERT_FALSE(cheap.empty());
    for (const ListedItem& i : cheap)
        EXPECT_LE(std::atof(i.currentPrice.c_str()), 30.0) << i.itemId;
}

TEST_F(MarketSearchTest, OnePageHoldsFortyItemsAtMost)
{
    std::vector<CTBRecord> records;
    ASSERT_TRUE(LoadItemList(BuildSearchUrl(Query("")), records));
    ASSERT_EQ(records.size(), 40u);
    for (std::size_t i = 0; i < records.size(); ++i)
        EXPECT_EQ(records[i].itemId(), s_all[i].itemId);
}

TEST_F(MarketSearchTest, PagesOverlapWhenTheServerReSortsAndOnePageFailsOnce)
{
    MarketServerProcess server({"--page-overlap", "2", "--fault", "/itemlist/default.htm?s=80=status:500@1"});
    ASSERT_TRUE(server.Started()) << server.Error();
    const std::string first = TargetOf(BuildSearchUrl(Query("")));
    const auto page = [&](int offset, int status) {
        const HttpAnswer a = RawGet(server, offset ? first + "&s=" + std::to_string(offset) : first);
        EXPECT_EQ(a.status, status) << offset;
        std::vector<ListedItem> items;
        long total = 0;
        if (status == 200)
            EXPECT_TRUE(ReadListPage(a.body, items, total)) << offset;
        return Ids(items);
    };
    const std::vector<std::string> one = page(0, 200), two = page(40, 200);
    ASSERT_EQ(one.size(), 40u);
    ASSERT_EQ(two.size(), 40u);
    // each page repeats the last two of the one before, then goes on
    EXPECT_EQ(std::vector<std::string>(two.begin(), two.begin() + 2), std::vector<std::string>(one.end() - 2, one.end()));
    EXPECT_EQ(two[2], s_all[40].itemId);
    EXPECT_TRUE(page(80, 500).empty()) << "the third page fails once";
    const std::vector<std::string> three = page(80, 200);
    ASSERT_EQ(three.size(), 40u) << "and is answered when asked again";
    EXPECT_EQ(std::vector<std::string>(three.begin(), three.begin() + 2), std::vector<std::string>(two.end() - 2, two.end()));
    EXPECT_EQ(three[2], s_all[78].itemId);
}

TEST_F(MarketSearchTest, GbkKeywordFindsOnlyMatchingItemsInSalesOrder)
{
    std::vector<CTBRecord> records;
    ASSERT_TRUE(LoadItemList(BuildSearchUrl(Query("手机")), records));
    ASSERT_FALSE(records.empty());
    long previous = -1;
    for (const CTBRecord& r : records) {
        EXPECT_TRUE(Contains(U(r.tip()), "手机")) << U(r.tip());
        const long sales = std::atol(r.tradeNum().c_str());
        if (previous >= 0) {
            EXPECT_LE(sales, previous);
        }
        previous = sales;
    }
}

struct FilterCase {
    const char* name;
    SearchQuery query;
    std::function<bool(const ListedItem&)> keep;
    bool narrows; // the filter must leave out part of the catalogue
};

double Price(const ListedItem& i)
{
    return std::atof(i.currentPrice.c_str());
}

TEST_F(MarketSearchTest, EachFilterNarrowsTheCatalogueExactly)
{
    const std::string shopNick = "青禾小货郎";
    const std::vector<FilterCase> cases = {
        {"keyword", Query("手机"), [](auto& i) { return Contains(i.tip, "手机"); }, true},
        {"keyword with exclusion", Query("手机", "壳"),
         [](auto& i) { return Contains(i.tip, "手机") && !Contains(i.tip, "壳"); }, true},
        {"two words", Query("雪纺 连衣裙"),
         [](auto& i) { return Contains(i.tip, "雪纺") && Contains(i.tip, "连衣裙"); }, true},
        {"ASCII without case", Query("iphone5"), [](auto& i) { return Contains(Lower(i.tip), "iphone5"); }, true},
        {"exclusion alone", Query("", "包邮"), [](auto& i) { return !Contains(i.tip, "包邮"); }, true},
        {"location", Query("", "", "杭州"), [](auto& i) { return i.loc == "杭州"; }, true},
        {"price range", Query("", "", "", "100", "200"),
         [](auto& i) { return Price(i) >= 100 && Price(i) <= 200; }, true},
        {"decimal bounds", Query("", "", "", "12.5", "99.9"),
         [](auto& i) { return Price(i) >= 12.5 && Price(i) <= 99.9; }, true},
        {"low bound not a number", Query("", "", "", "abc", "50"), [](auto& i) { return Price(i) <= 50; }, true},
        {"high bound not a number", Query("", "", "", "1000", "x y"), [](auto& i) { return Price(i) >= 1000; }, true},
        {"bound with a space", Query("", "", "", "1 0", ""), [](auto&) { return true; }, false},
        {"seller", Query("", "", "", "", "", shopNick), [&](auto& i) { return i.nick == shopNick; }, true},
        {"everything at once", Query("茶", "礼盒", "", "30", "600", shopNick),
         [&](auto& i) {
             return i.nick == shopNick && Contains(i.tip, "茶") && !Contains(i.tip, "礼盒") && Price(i) >= 30 &&
                    Price(i) <= 600;
         },
         true},
    };
    for (const FilterCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<ListedItem> expected;
        std::copy_if(s_all.begin(), s_all.end(), std::back_inserter(expected), c.keep);
        const std::vector<ListedItem> actual = FetchAllItems(*s_server, TargetOf(BuildSearchUrl(c.query)));
        EXPECT_EQ(Ids(actual), Ids(expected));
        if (c.narrows) {
            EXPECT_FALSE(expected.empty());
            EXPECT_LT(expected.size(), s_all.size());
        }
    }
}

TEST_F(MarketSearchTest, ExcludedSellerWithBackslashByteInNameIsFound)
{
    // Some nicknames carry a GBK character whose second byte is 0x5C; the JSON escapes it.
    const auto it = std::find_if(s_all.begin(), s_all.end(), [](const ListedItem& i) {
        const std::string gbk = G(i.nick);
        return gbk.find('\\') != std::string::npos;
    });
    ASSERT_NE(it, s_all.end());
    const std::vector<ListedItem> found =
        FetchAllItems(*s_server, TargetOf(BuildSearchUrl(Query("", "", "", "", "", it->nick))));
    ASSERT_FALSE(found.empty());
    for (const ListedItem& i : found)
        EXPECT_EQ(i.nick, it->nick);
}

TEST_F(MarketSearchTest, TodaysPicksSellerFillsAPage)
{
    std::vector<CTBRecord> records;
    ASSERT_TRUE(LoadItemList(BuildSearchUrl(Query("", "", "", "", "", "青禾小货郎")), records));
    EXPECT_EQ(records.size(), 40u);
    for (const CTBRecord& r : records)
        EXPECT_EQ(U(r.nick()), "青禾小货郎");
}

TEST_F(MarketSearchTest, UnknownCategoryFindsNothingAndMissingCategoryPieceMeansAll)
{
    std::vector<CTBRecord> records;
    ASSERT_TRUE(LoadItemList(BuildSearchUrl(Query("", "", "", "", "", "", "99999999")), records));
    EXPECT_TRUE(records.empty());
    // Without the category piece the query begins "?&ex_q=": everything.
    const std::vector<ListedItem> all = FetchAllItems(*s_server, TargetOf(BuildSearchUrl(Query("", "", "", "", "", "", ""))));
    EXPECT_EQ(Ids(all), Ids(s_all));
}

TEST_F(MarketSearchTest, PlusInsideAKeywordIsALiteralPlus)
{
    // The program encodes '+' typed by the user as %2B: no item title has one.
    std::vector<CTBRecord> records;
    ASSERT_TRUE(LoadItemList(BuildSearchUrl(Query("手机+")), records));
    EXPECT_TRUE(records.empty());
}

TEST_F(MarketSearchTest, HtmlPageShowsTheSameItemsAsTheJsonAnswer)
{
    std::string target = TargetOf(BuildSearchUrl(Query("连衣裙")));
    std::vector<ListedItem> json;
    long total = 0;
    ASSERT_TRUE(ReadListPage(RawGet(*s_server, target).body, json, total));
    // The same address without json=on.
    for (std::size_t at; (at = target.find("&json=on")) != std::string::npos;)
        target.erase(at, 8);
    const HttpAnswer page = RawGet(*s_server, target);
    ASSERT_EQ(page.status, 200);
    const std::string html = U(page.body);
    std::vector<std::string> shown;
    for (std::size_t at = 0; (at = html.find("data-id=\"", at)) != std::string::npos;) {
        at += 9;
        shown.push_back(html.substr(at, html.find('"', at) - at));
    }
    EXPECT_EQ(shown, Ids(json));
    std::size_t images = 0;
    for (std::size_t at = 0; (at = html.find("<img ", at)) != std::string::npos; ++at)
        ++images;
    EXPECT_EQ(images, json.size());
    for (const ListedItem& i : json) {
        EXPECT_NE(html.find(i.originalImage + "_220x220.jpg"), std::string::npos);
        EXPECT_NE(html.find("￥" + i.currentPrice), std::string::npos);
    }
    EXPECT_NE(html.find("charset=gbk"), std::string::npos);
}

TEST_F(MarketSearchTest, RequestLogRecordsWhatTheProgramAskedFor)
{
    std::vector<CTBRecord> records;
    ASSERT_TRUE(LoadItemList(BuildSearchUrl(Query("手机", "壳", "北京", "10", "")), records));
    const std::vector<MarketRequest> log = s_server->Requests();
    ASSERT_FALSE(log.empty());
    const MarketRequest& r = log.back();
    EXPECT_EQ(r.method, "GET");
    EXPECT_EQ(r.path, "/itemlist/default.htm");
    EXPECT_EQ(r.userAgent, "HttpClient");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.query.at("q"), "手机 -壳"); // '+' decoded as the word separator, GBK as UTF-8
    EXPECT_EQ(r.query.at("ex_q"), "壳");
    EXPECT_EQ(r.query.at("loc"), "北京");
    EXPECT_EQ(r.query.at("cat"), "0");
    EXPECT_EQ(r.query.at("filter"), "reserve_price[10,100000000]");
    EXPECT_EQ(r.rawQuery.rfind("&cat=0&ex_q=%BF%C7&viewIndex=1", 0), 0u) << r.rawQuery;
    EXPECT_TRUE(r.fault.empty());
}

} // namespace
