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

TEST_F(MarketDocumentsTest, PicturesCarryValidatorsAndAnswerConditionalRequestsWith304)
{
    SearchQuery q;
    q.cat = "0";
    std::vector<CTBRecord> records;
    ASSERT_TRUE(LoadItemList(BuildSearchUrl(q), records));
    ASSERT_FALSE(records.empty());
    const std::string target = TargetOf(records[0].thumbUrl);
    const HttpAnswer plain = RawGet(*s_server, target);
    ASSERT_EQ(plain.status, 200);
    const std::string etag = plain.headers.count("ETag") ? plain.headers.at("ETag") : "";
    ASSERT_EQ(etag.size(), 18u) << etag; // a quoted strong tag
    EXPECT_EQ(etag.front(), '"');
    EXPECT_EQ(plain.headers.at("Last-Modified"), "Thu, 28 Mar 2013 00:00:00 GMT");
    EXPECT_EQ(plain.headers.at("Cache-Control"), "max-age=86400");
    EXPECT_EQ(RawGet(*s_server, target).headers.at("ETag"), etag); // the same bytes, the same tag

    const struct {
        const char* what;
        std::vector<std::pair<std::string, std::string>> headers;
        int status;
    } rows[] = {
        {"the tag", {{"If-None-Match", etag}}, 304},
        {"the weak form", {{"If-None-Match", "W/" + etag}}, 304},
        {"in a list", {{"If-None-Match", "\"other\", " + etag}}, 304},
        {"any", {{"If-None-Match", "*"}}, 304},
        {"another tag", {{"If-None-Match", "\"other\""}}, 200},
        {"the date", {{"If-Modified-Since", "Thu, 28 Mar 2013 00:00:00 GMT"}}, 304},
        {"a later date", {{"If-Modified-Since", "Sat, 01 Jun 2024 10:00:00 GMT"}}, 304},
        {"an earlier date", {{"If-Modified-Since", "Wed, 27 Mar 2013 23:59:59 GMT"}}, 200},
        {"an unreadable date", {{"If-Modified-Since", "yesterday"}}, 200},
        {"the tag decides over the date", {{"If-None-Match", "\"other\""}, {"If-Modified-Since", "Thu, 28 Mar 2013 00:00:00 GMT"}}, 200},
    };
    for (const auto& r : rows) {
        const HttpAnswer answer = RawGet(*s_server, target, {}, 10, r.headers);
        EXPECT_EQ(answer.status, r.status) << r.what;
        if (r.status == 304) {
            EXPECT_TRUE(answer.body.empty()) << r.what;
            EXPECT_EQ(answer.headers.count("ETag") ? answer.headers.at("ETag") : "", etag) << r.what;
        } else {
            EXPECT_EQ(answer.body, plain.body) << r.what;
        }
    }
    const std::vector<MarketRequest> log = s_server->Requests();
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [&](const MarketRequest& m) { return m.status == 304; }), 6);

    // Pictures of another version: other bytes, another tag and date; the old tag is not matched.
    MarketServerProcess newer({"--appkey", "87654321", "--secret", "s3cret", "--pid", "mm_1_2_3",
                               "--picture-version", "1", "--picture-max-age", "0"});
    ASSERT_TRUE(newer.Started()) << newer.Error();
    const HttpAnswer changed = RawGet(newer, target, {}, 10, {{"If-None-Match", etag}});
    ASSERT_EQ(changed.status, 200);
    EXPECT_NE(changed.body, plain.body);
    EXPECT_NE(changed.headers.at("ETag"), etag);
    EXPECT_EQ(changed.headers.at("Last-Modified"), "Fri, 29 Mar 2013 00:00:00 GMT");
    EXPECT_EQ(changed.headers.at("Cache-Control"), "max-age=0");
    EXPECT_EQ(RawGet(newer, target, {}, 10, {{"If-None-Match", changed.headers.at("ETag")}}).status, 304);
    // an odd version is the same picture with its colours inverted
    const QImage before = QImage::fromData(reinterpret_cast<const uchar*>(plain.body.data()), int(plain.body.size()));
    const QImage after = QImage::fromData(reinterpret_cast<const uchar*>(changed.body.data()), int(changed.body.size()));
    ASSERT_EQ(after.size(), before.size());
    const QColor a = before.pixelColor(110, 60), b = after.pixelColor(110, 60);
    EXPECT_NEAR(a.red() + b.red(), 255, 24);
    EXPECT_NEAR(a.green() + b.green(), 255, 24);
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
