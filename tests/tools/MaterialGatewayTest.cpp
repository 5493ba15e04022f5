// The local server's open-platform affiliate methods, asked the way the program asks: requests
// built by the program's own OpenPlatformRequest, sent as POSTs, answers read by its own
// OpenPlatformAnswer.
#include <algorithm>
#include <cstdlib>
#include "tests/support/ZoneScope.h"

#include <gtest/gtest.h>
#include <memory>
#include <set>

#include "market/ClickUrl.h"
#include "market/Configuration.h"
#include "market/Endpoints.h"
#include "market/OpenPlatformAnswer.h"
#include "market/OpenPlatformRequest.h"
#include "market/Texts.h"
#include "tests/tools/MarketTestSupport.h"

using namespace yfx::test;

namespace {

Configuration App(SignMethod method = SignMethod::Md5)
{
    Configuration cfg;
    cfg.appKey = "12345678";
    cfg.appSecret = "yfx-local-secret";
    cfg.pid = "mm_10000001_2000002_30000003";
    cfg.signMethod = method;
    cfg.source = ResultSource::OpenPlatform;
    return cfg;
}

SearchQuery Query(std::string keyword = {})
{
    SearchQuery q;
    q.cat = "0";
    q.keyword = G(keyword);
    return q;
}

std::vector<std::string> Values(const CTBRecord& r)
{
    std::vector<std::string> v;
    for (int f = 0; f < CTBRecord::FieldCount; ++f)
        v.push_back(r.Value(f));
    v.insert(v.end(), {r.thumbUrl, r.thumbFileName, r.couponFee, r.finalPrice});
    return v;
}

// The Chinese character (GBK) of the first record's title that the fewest titles contain.
std::string RareCharacter(const std::vector<CTBRecord>& records)
{
    std::string best;
    std::size_t fewest = SIZE_MAX;
    const std::string& title = records.front().tip();
    for (std::size_t i = 0; i + 1 < title.size(); ++i) {
        if (static_cast<unsigned char>(title[i]) < 0x81)
            continue;
        const std::string c = title.substr(i++, 2);
        const auto count =
            static_cast<std::size_t>(std::count_if(records.begin(), records.end(), [&](const CTBRecord& r) {
                return r.tip().find(c) != std::string::npos;
            }));
        if (count < fewest)
            fewest = count, best = c;
    }
    return best;
}

double Yuan(const std::string& text)
{
    return std::strtod(text.c_str(), nullptr);
}

using yfx::test::ZoneScope;

class MaterialGatewayTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_server = std::make_unique<MarketServerProcess>();
        ASSERT_TRUE(s_server->Started()) << s_server->Error();
    }
    static void TearDownTestSuite() { s_server.reset(); }
    void SetUp() override
    {
        ASSERT_TRUE(s_server && s_server->Started());
        yfx::SetEndpointServer(s_server->BaseUrl());
    }
    void TearDown() override
    {
        yfx::SetEndpointServer({});
        SetRequestClock(nullptr);
    }

    // Sends a request as the program will: a POST of the body to the address.
    static std::string Send(const GatewayPost& post, const MarketServerProcess& server = *s_server)
    {
        const HttpAnswer answer = RawPost(server, TargetOf(post.url), post.body, post.contentType);
        EXPECT_TRUE(answer.ok);
        EXPECT_EQ(answer.status, 200);
        EXPECT_EQ(answer.contentType, "application/json;charset=UTF-8");
        return answer.body;
    }
    static MaterialAnswer Search(const Configuration& cfg, const SearchQuery& q,
                                 const MarketServerProcess& server = *s_server)
    {
        MaterialAnswer a;
        ReadMaterialSearchAnswer(Send(BuildMaterialSearchRequest(cfg, q), server), q, a);
        return a;
    }

    static std::unique_ptr<MarketServerProcess> s_server;
};

std::unique_ptr<MarketServerProcess> MaterialGatewayTest::s_server;

TEST_F(MaterialGatewayTest, BothSigningMethodsGetItemsThatReadIntoRecords)
{
    for (SignMethod method : {SignMethod::Md5, SignMethod::HmacSha256}) {
        SCOPED_TRACE(method == SignMethod::Md5 ? "md5" : "hmac-sha256");
        const MaterialAnswer a = Search(App(method), Query());
        ASSERT_EQ(a.outcome, AnswerOutcome::Items) << U(a.message);
        ASSERT_EQ(a.records.size(), static_cast<std::size_t>(kMaterialPageSize));
        EXPECT_GE(std::stol(a.totalResults), 2000);
        int coupons = 0;
        for (const CTBRecord& r : a.records) {
            EXPECT_EQ(r.source, ResultSource::OpenPlatform);
            EXPECT_NE(r.itemId().find('-'), std::string::npos) << "a new-style id";
            EXPECT_FALSE(r.tip().empty());
            EXPECT_FALSE(r.nick().empty());
            EXPECT_FALSE(r.image().empty());
            EXPECT_EQ(r.href().rfind(s_server->BaseUrl() + "/s.click?e=", 0), 0u) << r.href();
            EXPECT_FALSE(r.thumbFileName.empty());
            if (!r.couponFee.empty()) {
                ++coupons;
                EXPECT_NE(r.href().find("&coupon=1"), std::string::npos) << "the coupon's own address";
                EXPECT_LE(Yuan(r.finalPrice), Yuan(r.currentPrice()) - Yuan(r.couponFee) + 0.001);
            }
        }
        EXPECT_GT(coupons, 5);
        EXPECT_LT(coupons, 40);
        // thirty-day sales, highest first
        for (std::size_t i = 1; i < a.records.size(); ++i)
            EXPECT_GE(std::stol(a.records[i - 1].tradeNum()), std::stol(a.records[i].tradeNum()));
    }
    const std::vector<MarketRequest> log = s_server->Requests();
    ASSERT_FALSE(log.empty());
    const MarketRequest& last = log.back();
    EXPECT_EQ(last.method, "POST");
    EXPECT_EQ(last.path, "/router/rest");
    EXPECT_EQ(last.query.at("sign_method"), "hmac-sha256");
    EXPECT_EQ(last.query.at("page_size"), "40");
    EXPECT_EQ(last.query.at("sort"), "total_sales_des");
    EXPECT_EQ(last.rawQuery.find("adzone_id"), std::string::npos) << "business parameters travel in the body";
    EXPECT_NE(last.rawQuery.find("sign="), std::string::npos);
}

TEST_F(MaterialGatewayTest, DayOptionMovesThePricesOfTheMaterialSearchToo)
{
    const MarketServerProcess later({"--day", "1"});
    ASSERT_TRUE(later.Started());
    int moved = 0;
    std::size_t compared = 0;
    for (const char* keyword : {"", "女", "包"}) {
        const SearchQuery q = Query(keyword);
        const MaterialAnswer today = Search(App(), q);
        const MaterialAnswer tomorrow = Search(App(), q, later);
        ASSERT_EQ(today.records.size(), tomorrow.records.size());
        for (std::size_t i = 0; i < today.records.size(); ++i) {
            ASSERT_EQ(today.records[i].itemId(), tomorrow.records[i].itemId());
            moved += today.records[i].currentPrice() != tomorrow.records[i].currentPrice();
            // the price after promotions follows the day's price
            EXPECT_LE(Yuan(tomorrow.records[i].finalPrice), Yuan(tomorrow.records[i].currentPrice()) + 0.001);
        }
        compared += today.records.size();
    }
    EXPECT_GT(moved, 0);
    EXPECT_LT(static_cast<std::size_t>(moved), compared);
}

TEST_F(MaterialGatewayTest, PicturesAndAddressesOfARecordLeadToTheServer)
{
    const MaterialAnswer a = Search(App(), Query());
    ASSERT_FALSE(a.records.empty());
    const CTBRecord& r = a.records.front();
    const HttpAnswer thumb = RawGet(*s_server, TargetOf(r.thumbUrl));
    ASSERT_EQ(thumb.status, 200);
    int width = 0, height = 0;
    ASSERT_TRUE(JpegSize(thumb.body, width, height));
    EXPECT_EQ(width, 220);
    EXPECT_EQ(RawGet(*s_server, TargetOf(r.image())).status, 200);
    const HttpAnswer click = RawGet(*s_server, TargetOf(r.href()));
    EXPECT_EQ(click.status, 302);
    EXPECT_EQ(click.location.rfind(s_server->BaseUrl() + "/item.htm?id=", 0), 0u);
}

TEST_F(MaterialGatewayTest, ChineseKeywordIsSentAndSignedAsUtf8)
{
    const MaterialAnswer all = Search(App(), Query());
    ASSERT_FALSE(all.records.empty());
    const std::string word = RareCharacter(all.records);
    ASSERT_EQ(word.size(), 2u);
    SearchQuery q = Query();
    q.keyword = word;
    for (SignMethod method : {SignMethod::Md5, SignMethod::HmacSha256}) {
        const MaterialAnswer a = Search(App(method), q);
        ASSERT_EQ(a.outcome, AnswerOutcome::Items) << U(a.message);
        ASSERT_FALSE(a.records.empty());
        for (const CTBRecord& r : a.records)
            EXPECT_TRUE(r.tip().find(word) != std::string::npos || r.nick().find(word) != std::string::npos)
                << U(r.tip());
    }
    EXPECT_EQ(s_server->Requests().back().query.at("q"), U(word));
}

TEST_F(MaterialGatewayTest, BothAnswerShapesGiveTheSameRecords)
{
    const Configuration cfg = App();
    const SearchQuery q = Query();
    const std::time_t now = std::time(nullptr);
    const std::string flat =
        Send(BuildGatewayPost(cfg, kMaterialSearchMethod, MaterialSearchParams(cfg, q), now));
    const std::string wrapped =
        Send(BuildGatewayPost(cfg, kMaterialSearchMethod, MaterialSearchParams(cfg, q), now, false));
    EXPECT_EQ(flat.find("_response"), std::string::npos);
    EXPECT_NE(wrapped.find("{\"tbk_dg_material_optional_upgrade_response\":{"), std::string::npos);
    EXPECT_NE(wrapped.find("\"map_data\":["), std::string::npos);
    MaterialAnswer a, b;
    ASSERT_TRUE(ParseMaterialAnswer(flat, a));
    ASSERT_TRUE(ParseMaterialAnswer(wrapped, b));
    ASSERT_EQ(a.records.size(), b.records.size());
    ASSERT_FALSE(a.records.empty());
    for (std::size_t i = 0; i < a.records.size(); ++i)
        EXPECT_EQ(Values(a.records[i]), Values(b.records[i])) << i;

    // the item details too
    const std::vector<std::string> ids = ItemInfoBatches(a.records).front();
    ItemInfoAnswer x, y;
    ASSERT_TRUE(ParseItemInfoAnswer(
        Send(BuildGatewayPost(cfg, kItemInfoMethod, {{"item_id", ids[0] + "," + ids[1]}}, now)), x));
    ASSERT_TRUE(ParseItemInfoAnswer(
        Send(BuildGatewayPost(cfg, kItemInfoMethod, {{"item_id", ids[0] + "," + ids[1]}}, now, false)), y));
    EXPECT_EQ(x.ratesums.size(), 2u);
    EXPECT_EQ(x.ratesums, y.ratesums);
}

TEST_F(MaterialGatewayTest, EveryParameterInTheBodyIsAcceptedToo)
{
    const GatewayPost post = BuildMaterialSearchRequest(App(SignMethod::HmacSha256), Query());
    const std::string target = TargetOf(post.url);
    const std::string system = target.substr(target.find('?') + 1);
    const HttpAnswer answer = RawPost(*s_server, "/router/rest", system + "&" + post.body, post.contentType);
    ASSERT_EQ(answer.status, 200);
    MaterialAnswer all, split;
    ASSERT_TRUE(ParseMaterialAnswer(answer.body, all)) << answer.body.substr(0, 200);
    ASSERT_TRUE(ParseMaterialAnswer(Send(post), split));
    ASSERT_EQ(all.records.size(), split.records.size());
    EXPECT_EQ(Values(all.records.front()), Values(split.records.front()));
}

TEST_F(MaterialGatewayTest, OutsideGmt8TheMachineStillSendsGmt8Time)
{
    for (const char* zone : {"EST5EDT", "UTC0", "XYZ-13"}) {
        SCOPED_TRACE(zone);
        ZoneScope scope(zone);
        const std::string before = GatewayTimestamp(std::time(nullptr));
        const MaterialAnswer a = Search(App(), Query()); // the real clock
        const std::string after = GatewayTimestamp(std::time(nullptr));
        EXPECT_EQ(a.outcome, AnswerOutcome::Items) << U(a.message);
        const std::string sent = s_server->Requests().back().query.at("timestamp");
        EXPECT_GE(sent, before);
        EXPECT_LE(sent, after);
        EXPECT_NE(sent.substr(0, 13), RequestTimestamp().substr(0, 13))
            << "the machine's own time is another";
    }
    // what a local-time timestamp from UTC-5 would be: refused
    const std::time_t now = std::time(nullptr);
    for (const auto& [offset, code] :
         {std::pair{-13 * 3600, "31"}, {-11 * 60, "31"}, {11 * 60, "31"}, {-9 * 60, ""}, {9 * 60, ""}}) {
        SCOPED_TRACE(offset);
        SetRequestClock([=] { return now + offset; });
        const MaterialAnswer a = Search(App(), Query());
        EXPECT_EQ(a.error.code, code);
        if (*code) {
            EXPECT_EQ(U(a.message), "开放平台拒绝了请求：Invalid timestamp（isv.invalid-parameter:timestamp "
                                    "时间戳与服务器时间相差过大）");
        }
    }
}

TEST_F(MaterialGatewayTest, RefusalsComeBackAsTexts)
{
    Configuration wrongSecret = App(SignMethod::HmacSha256);
    wrongSecret.appSecret = "another";
    Configuration noKey = App();
    noKey.appKey.clear();
    Configuration otherKey = App();
    otherKey.appKey = "87654321";
    Configuration otherZone = App();
    otherZone.pid = "mm_10000001_2000002_99";
    Configuration badPid = App();
    badPid.pid = "not a pid";
    const struct {
        const char* name;
        Configuration cfg;
        const char* code;
        const char* message;
    } cases[] = {
        {"wrong secret", wrongSecret, "25",
         "开放平台拒绝了请求：Invalid signature（isv.invalid-signature 签名无效）"},
        {"no key", noKey, "28",
         "开放平台拒绝了请求：Missing app key（isv.missing-parameter:app_key 缺少AppKey参数）"},
        {"another key", otherKey, "29",
         "开放平台拒绝了请求：Invalid app Key（isv.appkey-not-exists 应用不存在）"},
        {"another ad zone", otherZone, "15",
         "开放平台拒绝了请求：Remote service error（2 推广位不属于该应用）"},
        {"no ad zone", badPid, "40",
         "开放平台拒绝了请求：Missing required arguments:adzone_id（isv.missing-parameter:adzone_id "
         "缺少必选参数adzone_id）"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const MaterialAnswer a = Search(c.cfg, Query());
        EXPECT_EQ(a.outcome, AnswerOutcome::Refused);
        EXPECT_EQ(a.error.code, c.code);
        EXPECT_EQ(U(a.message), c.message);
    }

    // item details: old numeric ids and too many ids
    const std::time_t now = std::time(nullptr);
    ItemInfoAnswer numeric;
    EXPECT_FALSE(ParseItemInfoAnswer(Send(BuildItemInfoRequest(App(), {"12345678901"})), numeric));
    EXPECT_EQ(numeric.error.subCode, "-4003");
    EXPECT_EQ(U(numeric.message), "开放平台拒绝了请求：Remote service error（-4003 请使用升级后的新商品ID）");
    std::string many = "a-1";
    for (int i = 0; i < 20; ++i)
        many += ",a-1";
    ItemInfoAnswer tooMany;
    EXPECT_FALSE(ParseItemInfoAnswer(Send(BuildGatewayPost(App(), kItemInfoMethod, {{"item_id", many}}, now)),
                                     tooMany));
    EXPECT_EQ(tooMany.error.code, "41");
}

TEST_F(MaterialGatewayTest, CreditLevelsOfTheShownItemsComeFromTheDetails)
{
    MaterialAnswer a = Search(App(SignMethod::HmacSha256), Query());
    ASSERT_EQ(a.records.size(), 40u);
    const auto batches = ItemInfoBatches(a.records);
    ASSERT_EQ(batches.size(), 2u);
    std::size_t changed = 0;
    for (const auto& batch : batches) {
        ItemInfoAnswer info;
        ASSERT_TRUE(ParseItemInfoAnswer(Send(BuildItemInfoRequest(App(SignMethod::HmacSha256), batch)), info))
            << U(info.message);
        EXPECT_EQ(info.ratesums.size(), batch.size());
        changed += ApplyRatesums(a.records, info.ratesums);
    }
    EXPECT_EQ(changed, 40u);
    std::map<std::string, std::string> levelOfShop;
    for (const CTBRecord& r : a.records) {
        const long level = std::stol(r.ratesum());
        EXPECT_GE(level, 1);
        EXPECT_LE(level, 20);
        // one level per seller
        EXPECT_EQ(levelOfShop.emplace(r.nick(), r.ratesum()).first->second, r.ratesum()) << U(r.nick());
    }
}

TEST_F(MaterialGatewayTest, ExclusionPriceBoundsAndSellerAppliedAfterTheAnswer)
{
    // The server knows no exclusion word: the program leaves the items out itself.
    const MaterialAnswer all = Search(App(), Query());
    ASSERT_FALSE(all.records.empty());
    const std::string word = RareCharacter(all.records);
    ASSERT_EQ(word.size(), 2u);
    SearchQuery q = Query();
    q.exclude = word;
    MaterialAnswer unfiltered;
    ASSERT_TRUE(ParseMaterialAnswer(Send(BuildMaterialSearchRequest(App(), q)), unfiltered));
    MaterialAnswer filtered;
    ASSERT_TRUE(ReadMaterialSearchAnswer(Send(BuildMaterialSearchRequest(App(), q)), q, filtered));
    EXPECT_LT(filtered.records.size(), unfiltered.records.size());
    EXPECT_FALSE(filtered.records.empty());
    for (const CTBRecord& r : filtered.records)
        EXPECT_EQ(r.tip().find(word), std::string::npos) << U(r.tip());

    // Bounds go out in whole yuan and come back applied exactly.
    q = Query();
    q.priceLow = "10.5";
    q.priceHigh = "50.5";
    const MaterialAnswer priced = Search(App(), q);
    const MarketRequest sent = s_server->Requests().back();
    EXPECT_EQ(sent.query.at("start_price"), "10");
    EXPECT_EQ(sent.query.at("end_price"), "51");
    ASSERT_FALSE(priced.records.empty());
    bool aboveByItsPrice = false; // kept for its price after promotions, as the platform keeps it
    for (const CTBRecord& r : priced.records) {
        EXPECT_GE(Yuan(BoundedPrice(r)), 10.5) << BoundedPrice(r);
        EXPECT_LE(Yuan(BoundedPrice(r)), 50.5) << BoundedPrice(r);
        aboveByItsPrice = aboveByItsPrice || Yuan(r.currentPrice()) > 50.5;
    }
    EXPECT_TRUE(aboveByItsPrice) << "an item whose coupon brings it under the bound stays";

    // Today's picks: the seller's name asked for, the shop's own items kept; where the
    // configuration gives the seller's id, the items of that id.
    q = Query();
    q.nick = yfx::text::ShopNick();
    const MaterialAnswer picks = Search(App(), q);
    EXPECT_EQ(s_server->Requests().back().query.at("q"), "青禾小货郎");
    ASSERT_EQ(picks.records.size(), 40u);
    for (const CTBRecord& r : picks.records)
        EXPECT_EQ(r.nick(), yfx::text::ShopNick());
    Configuration cfg;
    ASSERT_TRUE(ReadConfigurationText(0, RawGet(*s_server, "/set/config.jpg").body, cfg));
    ASSERT_TRUE(cfg.sellerIds.contains(yfx::text::ShopNick()));
    MaterialAnswer byId;
    ASSERT_TRUE(ReadMaterialSearchAnswer(Send(BuildMaterialSearchRequest(App(), q)), q, byId, cfg.sellerIds));
    ASSERT_EQ(byId.records.size(), 40u);
    for (const CTBRecord& r : byId.records)
        EXPECT_EQ(r.sellerId, cfg.sellerIds.at(yfx::text::ShopNick()));
    // an id of another seller: none of these items is that seller's
    std::map<std::string, std::string> wrongId = {{yfx::text::ShopNick(), "1"}};
    ASSERT_TRUE(ReadMaterialSearchAnswer(Send(BuildMaterialSearchRequest(App(), q)), q, byId, wrongId));
    EXPECT_TRUE(byId.records.empty());
}

TEST_F(MaterialGatewayTest, PagesFollowOnUpToTheTotal)
{
    const SearchQuery q = Query(); // the whole catalogue
    MaterialAnswer first;
    ASSERT_TRUE(ParseMaterialAnswer(Send(BuildMaterialPageRequest(App(), q, 1)), first));
    const long total = std::stol(first.totalResults);
    ASSERT_GT(total, 80);
    std::set<std::string> seen;
    for (const CTBRecord& r : first.records)
        seen.insert(r.itemId());
    const int pages = static_cast<int>((total + 39) / 40);
    MaterialAnswer page;
    ASSERT_TRUE(ParseMaterialAnswer(Send(BuildMaterialPageRequest(App(), q, 2)), page));
    ASSERT_EQ(page.records.size(), 40u);
    for (const CTBRecord& r : page.records)
        EXPECT_TRUE(seen.insert(r.itemId()).second) << "page 2 repeats " << r.itemId();
    ASSERT_TRUE(ParseMaterialAnswer(Send(BuildMaterialPageRequest(App(), q, pages)), page));
    EXPECT_EQ(page.records.size(), static_cast<std::size_t>(total - 40 * (pages - 1))) << "the last page";
    ASSERT_TRUE(ParseMaterialAnswer(Send(BuildMaterialPageRequest(App(), q, pages + 1)), page));
    EXPECT_TRUE(page.records.empty());
    EXPECT_EQ(page.totalResults, first.totalResults);

    // a server that re-sorts between two requests: page 2 begins with page 1's last items
    MarketServerProcess resorting({"--page-overlap", "3"});
    ASSERT_TRUE(resorting.Started()) << resorting.Error();
    yfx::SetEndpointServer(resorting.BaseUrl());
    MaterialAnswer resorted[3];
    for (int n = 0; n < 3; ++n) {
        ASSERT_TRUE(ParseMaterialAnswer(Send(BuildMaterialPageRequest(App(), q, n + 1), resorting), resorted[n]));
        ASSERT_EQ(resorted[n].records.size(), 40u);
    }
    for (int n = 1; n < 3; ++n) {
        const auto& before = resorted[n - 1].records;
        const auto& now = resorted[n].records;
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_EQ(now[i].itemId(), before[37 + i].itemId()) << "page " << n + 1;
        EXPECT_TRUE(std::none_of(before.begin(), before.end(),
                                 [&](const CTBRecord& r) { return r.itemId() == now[3].itemId(); }));
    }
}

TEST_F(MaterialGatewayTest, AnOrdinaryApplicationGetsNoLevelsAndNoIdForASingleFind)
{
    MarketServerProcess ordinary({"--withhold", "ratesum,scene"});
    ASSERT_TRUE(ordinary.Started()) << ordinary.Error();
    yfx::SetEndpointServer(ordinary.BaseUrl());
    MaterialAnswer a = Search(App(), Query(), ordinary);
    ASSERT_EQ(a.records.size(), 40u);
    for (const CTBRecord& r : a.records)
        EXPECT_FALSE(r.itemId().empty() || r.href().empty()) << "a search of many items keeps its ids and links";
    ItemInfoAnswer info;
    ASSERT_TRUE(ParseItemInfoAnswer(Send(BuildItemInfoRequest(App(), ItemInfoBatches(a.records).front()), ordinary), info));
    EXPECT_TRUE(info.ratesumWithheld);
    EXPECT_TRUE(info.ratesums.empty());

    // a title that only one item has: found alone, without its id and its link
    SearchQuery single;
    single.cat = "0";
    MaterialAnswer one;
    const CTBRecord* alone = nullptr;
    for (const CTBRecord& r : a.records) {
        single.keyword = r.tip();
        one = Search(App(), single, ordinary);
        if (one.totalResults == "1") {
            alone = &r;
            break;
        }
        EXPECT_FALSE(one.records.empty() || one.records[0].itemId().empty()) << "several found: ids kept";
    }
    ASSERT_NE(alone, nullptr) << "no title of the first page is unique";
    ASSERT_EQ(one.records.size(), 1u);
    EXPECT_EQ(one.records[0].itemId(), "");
    EXPECT_EQ(one.records[0].href(), "");
    EXPECT_EQ(one.records[0].tip(), alone->tip());
    // the application with every permission gets both
    yfx::SetEndpointServer(s_server->BaseUrl());
    one = Search(App(), single);
    ASSERT_EQ(one.records.size(), 1u);
    EXPECT_EQ(one.records[0].itemId(), alone->itemId());
    EXPECT_FALSE(one.records[0].href().empty());
}

TEST_F(MaterialGatewayTest, ConfigurationDocumentChoosesTheSource)
{
    const auto read = [](const MarketServerProcess& server) {
        Configuration cfg;
        const HttpAnswer doc = RawGet(server, "/set/config.jpg");
        EXPECT_TRUE(ReadConfigurationText(0, doc.body, cfg));
        return cfg;
    };
    const Configuration plain = read(*s_server);
    EXPECT_EQ(plain.source, ResultSource::ListSearch);
    EXPECT_EQ(plain.signMethod, SignMethod::Md5);

    MarketServerProcess material({"--search", "material", "--sign-method", "hmac-sha256", "--fault",
                                  "/router/rest=platform-error:11"});
    ASSERT_TRUE(material.Started()) << material.Error();
    const Configuration cfg = read(material);
    EXPECT_EQ(cfg.source, ResultSource::OpenPlatform);
    EXPECT_EQ(cfg.signMethod, SignMethod::HmacSha256);
    EXPECT_EQ(AdzoneIdOf(cfg.pid), "30000003");

    // this server refuses the permission once the request is good, and only then
    yfx::SetEndpointServer(material.BaseUrl());
    const MaterialAnswer refused = Search(cfg, Query(), material);
    EXPECT_EQ(refused.error.code, "11");
    EXPECT_EQ(U(refused.message),
              "开放平台拒绝了请求：Insufficient isv permissions（isv.permission-api-package-limit "
              "该应用没有调用此接口的权限）");
    Configuration wrong = cfg;
    wrong.appSecret = "x";
    EXPECT_EQ(Search(wrong, Query(), material).error.code, "25");
}

TEST_F(MaterialGatewayTest, RemoteErrorAndDamagedAnswersOnDemand)
{
    MarketServerProcess remote({"--fault", "/router/rest=platform-error:15"});
    MarketServerProcess damaged({"--fault", "/router/rest=nonstring"});
    ASSERT_TRUE(remote.Started()) << remote.Error();
    ASSERT_TRUE(damaged.Started()) << damaged.Error();

    yfx::SetEndpointServer(remote.BaseUrl());
    const MaterialAnswer a = Search(App(), Query(), remote);
    EXPECT_EQ(a.outcome, AnswerOutcome::Refused);
    EXPECT_EQ(a.error.code, "15");
    EXPECT_EQ(a.error.subCode, "isp.remote-service-error");

    yfx::SetEndpointServer(damaged.BaseUrl());
    const MaterialAnswer d = Search(App(), Query(), damaged);
    ASSERT_EQ(d.outcome, AnswerOutcome::Items);
    ASSERT_EQ(d.records.size(), 40u);
    std::set<std::string> emptied;
    for (std::size_t i = 0; i < d.records.size(); ++i) {
        const CTBRecord& r = d.records[i];
        if (r.tip().empty())
            emptied.insert("tip");
        if (r.currentPrice().empty())
            emptied.insert("currentPrice");
        if (r.tradeNum().empty())
            emptied.insert("tradeNum");
        if (r.image().empty())
            emptied.insert("image");
        if (r.href().empty())
            emptied.insert("href");
        EXPECT_FALSE(r.itemId().empty());
    }
    EXPECT_EQ(emptied, (std::set<std::string>{"tip", "currentPrice", "tradeNum", "image"}))
        << "a number where the click address belongs reads as its text";
}

} // namespace
