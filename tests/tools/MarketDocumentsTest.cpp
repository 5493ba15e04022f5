// The local marketplace server's configuration and category documents, item and channel
// pages and pictures.
#include <QImage>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <set>

#include "market/Configuration.h"
#include "market/Endpoints.h"
#include "market/SearchUrl.h"
#include "market/TBRecord.h"
#include "tests/tools/MarketTestSupport.h"

using namespace yfx::test;

namespace {

class MarketDocumentsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_server = std::make_unique<MarketServerProcess>(
            std::vector<std::string>{"--appkey", "87654321", "--secret", "s3cret", "--pid", "mm_1_2_3"});
        ASSERT_TRUE(s_server->Started()) << s_server->Error();
        yfx::SetEndpointServer(s_server->BaseUrl());
    }
    static void TearDownTestSuite()
    {
        yfx::SetEndpointServer({});
        s_server.reset();
    }
    void SetUp() override { ASSERT_TRUE(s_server && s_server->Started()); }

    static long Total(const SearchQuery& q)
    {
        std::vector<ListedItem> items;
        long total = -1;
        if (!ReadListPage(RawGet(*s_server, TargetOf(BuildSearchUrl(q))).body, items, total))
            return -1;
        return total;
    }

    static std::unique_ptr<MarketServerProcess> s_server;
};

std::unique_ptr<MarketServerProcess> MarketDocumentsTest::s_server;

TEST_F(MarketDocumentsTest, ConfigurationDocumentCarriesKeysSellersAndAnnouncements)
{
    Configuration cfg;
    ASSERT_TRUE(ReadConfiguration(cfg, ConfigDocumentUrl()));
    EXPECT_EQ(cfg.appKey, "87654321");
    EXPECT_EQ(cfg.appSecret, "s3cret");
    EXPECT_EQ(cfg.pid, "mm_1_2_3");
    ASSERT_EQ(cfg.sellerNicks.size(), 3u);
    for (const auto& [nick, index] : cfg.sellerNicks) {
        SearchQuery q;
        q.cat = "0";
        q.nick = nick;
        EXPECT_GT(Total(q), 0) << U(nick) << " has no items to leave out";
    }
    ASSERT_EQ(cfg.announcements.size(), 3u);
    for (const std::string& a : cfg.announcements) {
        EXPECT_FALSE(a.empty());
        EXPECT_EQ(G(U(a)), a) << "not GBK text";
        EXPECT_NE(U(a).find("，"), std::string::npos) << "announcements are Chinese sentences";
    }
}

TEST_F(MarketDocumentsTest, CategoryDocumentHasThreeLevelsAndEveryCategoryHasItems)
{
    const HttpAnswer answer = RawGet(*s_server, "/set/tbcat.jpg");
    ASSERT_EQ(answer.status, 200);
    Json::Value root;
    ASSERT_TRUE(ParseJson(answer.body, root));
    ASSERT_TRUE(root.isArray());
    EXPECT_GE(root.size(), 6u);
    EXPECT_LE(root.size(), 10u);
    long sumOfTops = 0;
    std::set<std::string> ids;
    for (const Json::Value& top : root) {
        const std::string market = top["market"].asString();
        SCOPED_TRACE(U(top["name"].asString()));
        EXPECT_EQ(market.rfind("/market/", 0), 0u);
        EXPECT_TRUE(ids.insert(top["cat"].asString()).second);
        const Json::Value& groups = top["catGroupList"];
        EXPECT_GE(groups.size(), 3u);
        EXPECT_LE(groups.size(), 6u);
        long sumOfGroups = 0;
        for (const Json::Value& group : groups) {
            EXPECT_TRUE(ids.insert(group["cat"].asString()).second);
            const Json::Value& leaves = group["catGroupList"];
            EXPECT_GE(leaves.size(), 2u);
            EXPECT_LE(leaves.size(), 5u);
            long sumOfLeaves = 0;
            for (const Json::Value& leaf : leaves) {
                EXPECT_TRUE(ids.insert(leaf["cat"].asString()).second);
                EXPECT_FALSE(leaf.isMember("catGroupList"));
                // Asked as the category tree asks: the parent's market page and the leaf's id.
                SearchQuery q;
                q.path = group["market"].asString();
                q.cat = leaf["cat"].asString();
                const long n = Total(q);
                EXPECT_GT(n, 0) << U(leaf["name"].asString());
                sumOfLeaves += n;
            }
            SearchQuery q;
            q.path = group["market"].asString();
            q.cat = group["cat"].asString();
            EXPECT_EQ(Total(q), sumOfLeaves) << "a second-level category holds exactly its leaves' items";
            sumOfGroups += sumOfLeaves;
        }
        SearchQuery q;
        q.path = market;
        q.cat = top["cat"].asString();
        EXPECT_EQ(Total(q), sumOfGroups);
        q.cat.clear(); // the market page alone shows its own category
        EXPECT_EQ(Total(q), sumOfGroups);
        sumOfTops += sumOfGroups;
    }
    SearchQuery all;
    all.cat = "0";
    EXPECT_EQ(Total(all), sumOfTops) << "every item sits in exactly one leaf";
}

TEST_F(MarketDocumentsTest, ItemPagesShowTheTitleAsBrowsersDo)
{
    std::vector<ListedItem> items;
    long total = 0;
    SearchQuery q;
    q.cat = "0";
    ASSERT_TRUE(ReadListPage(RawGet(*s_server, TargetOf(BuildSearchUrl(q))).body, items, total));
    int market = 0, mall = 0;
    for (const ListedItem& i : items) {
        const HttpAnswer page = RawGet(*s_server, TargetOf(i.href));
        ASSERT_EQ(page.status, 200);
        const std::string html = U(page.body);
        const bool isMall = html.find("<title>" + i.tip + "-tmall.com天猫</title>") != std::string::npos;
        const bool isMarket = html.find("<title>" + i.tip + "-淘宝网</title>") != std::string::npos;
        EXPECT_TRUE(isMall != isMarket) << html.substr(0, 300);
        mall += isMall;
        market += isMarket;
        EXPECT_EQ(G(html), page.body) << "the page is GBK";
    }
    EXPECT_GT(mall, 0);
    EXPECT_GT(market, 0);
    EXPECT_EQ(RawGet(*s_server, "/item.htm?id=1").status, 404);
    EXPECT_EQ(RawGet(*s_server, "/item.htm").status, 404);
}

TEST_F(MarketDocumentsTest, ChannelPagesEchoTheAffiliateId)
{
    const struct {
        const char* target;
        const char* title;
    } pages[] = {
        {"/go/chn/tbk_channel/channelcode.php?pid=mm_10000001_2000002_30000003&eventid=101329", "淘宝网"},
        {"/go/chn/tbk_channel/tmall_new.php?pid=mm_10000001_2000002_40000004&eventid=101334", "天猫"},
    };
    for (const auto& p : pages) {
        const HttpAnswer page = RawGet(*s_server, p.target);
        ASSERT_EQ(page.status, 200) << p.target;
        const std::string html = U(page.body);
        EXPECT_NE(html.find(p.title), std::string::npos);
        const std::string target = p.target;
        const std::size_t from = target.find("pid=") + 4;
        const std::string pid = target.substr(from, target.find('&', from) - from);
        EXPECT_NE(html.find(pid), std::string::npos) << pid;
    }
}

TEST_F(MarketDocumentsTest, EveryItemHasThreePicturesOfTheStatedSizes)
{
    SearchQuery q;
    q.cat = "0";
    q.keyword = G("连衣裙");
    std::vector<CTBRecord> records;
    ASSERT_TRUE(LoadItemList(BuildSearchUrl(q), records));
    ASSERT_GE(records.size(), 5u);
    records.resize(5);
    for (const CTBRecord& r : records) {
        SCOPED_TRACE(r.originalImage());
        const struct {
            std::string url;
            int size;
        } pictures[] = {{r.originalImage(), 400}, {r.thumbUrl, 220}, {r.image(), 220}};
        for (const auto& p : pictures) {
            const HttpAnswer answer = RawGet(*s_server, TargetOf(p.url));
            ASSERT_EQ(answer.status, 200) << p.url;
            int w = 0, h = 0;
            ASSERT_TRUE(JpegSize(answer.body, w, h)) << p.url;
            EXPECT_EQ(w, p.size);
            EXPECT_EQ(h, p.size);
            const QImage image = QImage::fromData(reinterpret_cast<const uchar*>(answer.body.data()),
                                                  static_cast<int>(answer.body.size()), "JPG");
            ASSERT_FALSE(image.isNull()) << "does not decode";
            EXPECT_EQ(image.size(), QSize(p.size, p.size));
            // A drawn picture, not a flat square: many colours.
            std::set<QRgb> colours;
            for (int y = 0; y < image.height(); y += 7)
                for (int x = 0; x < image.width(); x += 7)
                    colours.insert(image.pixel(x, y));
            EXPECT_GT(colours.size(), 50u);
        }
    }
    EXPECT_EQ(RawGet(*s_server, "/bao/uploaded/i1/T1nothere0XXXXXXXX.jpg").status, 404);
}

TEST_F(MarketDocumentsTest, PictureFileNamesAreUniquePerItem)
{
    SearchQuery q;
    q.cat = "0";
    const std::vector<ListedItem> all = FetchAllItems(*s_server, TargetOf(BuildSearchUrl(q)));
    ASSERT_GE(all.size(), 2000u);
    std::set<std::string> names;
    for (const ListedItem& i : all) {
        CTBRecord r;
        r.SetValue(CTBRecord::OriginalImage, G(i.originalImage));
        r.DeriveThumbnail();
        ASSERT_FALSE(r.thumbFileName.empty()) << i.originalImage;
        EXPECT_TRUE(names.insert(r.thumbFileName).second) << r.thumbFileName;
    }
}

TEST_F(MarketDocumentsTest, AddressesFollowTheHostAskedFor)
{
    SearchQuery q;
    q.cat = "0";
    const HttpAnswer answer = RawGet(*s_server, TargetOf(BuildSearchUrl(q)), "market.test:81");
    std::vector<ListedItem> items;
    long total = 0;
    ASSERT_TRUE(ReadListPage(answer.body, items, total));
    ASSERT_FALSE(items.empty());
    EXPECT_EQ(items[0].href.rfind("http://market.test:81/item.htm?id=", 0), 0u);
    EXPECT_EQ(items[0].originalImage.rfind("http://market.test:81/", 0), 0u);
    // A Host header that is no host name is not echoed.
    const HttpAnswer odd = RawGet(*s_server, TargetOf(BuildSearchUrl(q)), "a\"b<c>");
    EXPECT_EQ(odd.body.find("a\"b"), std::string::npos);
    EXPECT_NE(odd.body.find(s_server->Host()), std::string::npos);
}

} // namespace
