// The local marketplace server's open-platform gateway and click addresses, asked through the
// program's own signing code.
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <openssl/evp.h>

#include "market/ClickUrl.h"
#include "market/Endpoints.h"
#include "market/HttpClient.h"
#include "market/SearchUrl.h"
#include "market/TBRecord.h"
#include "tests/tools/MarketTestSupport.h"

using namespace yfx::test;

namespace {

const std::string kAppKey = "12345678";
const std::string kSecret = "yfx-local-secret";
const std::string kPid = "mm_10000001_2000002_30000003";

// MD5 of a text as 32 upper-case hex digits, computed here independently of the program.
std::string Md5Hex(const std::string& text)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(text.data(), text.size(), digest, &length, EVP_md5(), nullptr);
    static const char kHex[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}

std::vector<RequestParam> Params(const std::string& itemId, const std::string& timestamp = "2013-03-28 21:05:09",
                                 const std::string& appKey = kAppKey)
{
    return {{"method", "taobao.taobaoke.items.detail.get"},
            {"num_iids", itemId},
            {"pid", kPid},
            {"fields", "click_url"},
            {"timestamp", timestamp},
            {"v", "2.0"},
            {"app_key", appKey},
            {"format", "json"},
            {"sign_method", "md5"}};
}

// "/router/rest?name=value&..." with the timestamp's space escaped, as the program sends it.
std::string Target(const std::vector<RequestParam>& params, const std::string& sign)
{
    std::string query;
    for (const auto& [name, value] : params)
        query += "&" + name + "=" + value;
    if (!sign.empty())
        query += "&sign=" + sign;
    return EscapeIllegalUrlBytes("/router/rest?" + query.substr(1));
}

class MarketGatewayTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_server = std::make_unique<MarketServerProcess>();
        ASSERT_TRUE(s_server->Started()) << s_server->Error();
        yfx::SetEndpointServer(s_server->BaseUrl());
        SearchQuery q;
        q.cat = "0";
        std::vector<CTBRecord> records;
        ASSERT_TRUE(LoadItemList(BuildSearchUrl(q), records));
        for (const CTBRecord& r : records)
            (r.itemId().back() == '7' ? s_plainItem : s_affiliateItem) = r.itemId();
        ASSERT_FALSE(s_affiliateItem.empty());
        if (s_plainItem.empty()) {
            // None on the first page: look further.
            for (const ListedItem& i : FetchAllItems(*s_server, TargetOf(BuildSearchUrl(q))))
                if (i.itemId.back() == '7')
                    s_plainItem = i.itemId;
        }
        ASSERT_FALSE(s_plainItem.empty());
    }
    static void TearDownTestSuite()
    {
        yfx::SetEndpointServer({});
        s_server.reset();
    }
    void SetUp() override { ASSERT_TRUE(s_server && s_server->Started()); }

    static Json::Value Ask(const std::vector<RequestParam>& params, const std::string& sign)
    {
        const HttpAnswer answer = RawGet(*s_server, Target(params, sign));
        Json::Value root;
        EXPECT_EQ(answer.status, 200);
        EXPECT_TRUE(ParseJson(answer.body, root)) << answer.body;
        return root;
    }
    static int ErrorCode(const Json::Value& root) { return root["error_response"].get("code", 0).asInt(); }

    static std::unique_ptr<MarketServerProcess> s_server;
    static std::string s_affiliateItem, s_plainItem;
};

std::unique_ptr<MarketServerProcess> MarketGatewayTest::s_server;
std::string MarketGatewayTest::s_affiliateItem, MarketGatewayTest::s_plainItem;

TEST_F(MarketGatewayTest, ProgramsSignedRequestGetsAClickAddressThatLeadsToTheItemPage)
{
    const std::string click = GetClickUrl(kPid, s_affiliateItem, kAppKey, kSecret);
    ASSERT_EQ(click, s_server->BaseUrl() + "/s.click?e=" + s_affiliateItem);
    const HttpAnswer redirect = RawGet(*s_server, TargetOf(click));
    EXPECT_EQ(redirect.status, 302);
    EXPECT_EQ(redirect.location, s_server->BaseUrl() + "/item.htm?id=" + s_affiliateItem);
    std::string page; // the program's client follows the redirect
    ASSERT_EQ(HttpGetText(click, page), 0);
    EXPECT_NE(U(page).find("<title>"), std::string::npos);
    EXPECT_NE(page.find("data-item-id=\"" + s_affiliateItem + "\""), std::string::npos);

    const std::vector<MarketRequest> log = s_server->Requests();
    const auto asked = std::find_if(log.rbegin(), log.rend(), [](auto& r) { return r.path == "/router/rest"; });
    ASSERT_NE(asked, log.rend());
    EXPECT_EQ(asked->status, 200);
    EXPECT_EQ(asked->query.at("num_iids"), s_affiliateItem);
    EXPECT_EQ(asked->query.at("timestamp").size(), 19u) << "the space arrives escaped and is decoded";
    EXPECT_EQ(asked->userAgent, "HttpClient");
    EXPECT_EQ(log.back().path, "/item.htm");
}

TEST_F(MarketGatewayTest, SignatureComputedHereIsAcceptedAndAWrongOneRefused)
{
    std::vector<RequestParam> params = Params(s_affiliateItem);
    std::vector<RequestParam> sorted = params;
    std::sort(sorted.begin(), sorted.end());
    std::string signText = kSecret;
    for (const auto& [name, value] : sorted)
        signText += name + value;
    signText += kSecret;
    const std::string sign = Md5Hex(signText);

    Json::Value ok = Ask(params, sign);
    EXPECT_EQ(ok["taobaoke_items_detail_get_response"]["taobaoke_item_details"]["taobaoke_item_detail"][0]
                  ["click_url"]
                      .asString(),
              s_server->BaseUrl() + "/s.click?e=" + s_affiliateItem);
    EXPECT_EQ(ok["taobaoke_items_detail_get_response"]["total_results"].asInt(), 1);

    for (const std::string& wrong : {Md5Hex(signText + "x"), std::string(32, '0'), Md5Hex(kSecret)}) {
        const Json::Value refused = Ask(params, wrong);
        EXPECT_EQ(ErrorCode(refused), 25);
        EXPECT_EQ(refused["error_response"]["msg"].asString(), "Invalid signature");
        EXPECT_TRUE(refused["error_response"].isMember("sub_code"));
        EXPECT_TRUE(refused["error_response"].isMember("sub_msg"));
    }
    // The lower-case form of the right digits is not the platform's signature either.
    std::string lower = sign;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(ErrorCode(Ask(params, lower)), 25);
}

TEST_F(MarketGatewayTest, LiteralSignatureFromOutsideTheCode)
{
    // printf '%s' 'yfx-local-secretapp_key12345678fieldsclick_urlformatjsonmethodtaobao.taobaoke.items.detail.getnum_iids1pidmm_10000001_2000002_30000003sign_methodmd5timestamp2013-03-28 21:05:09v2.0yfx-local-secret' | md5sum | tr a-f A-F
    const std::string literal = "4D2925D91335975004ED8E0658F0A75D";
    std::vector<RequestParam> params = Params("1");
    std::vector<RequestParam> programs = params;
    EXPECT_EQ(SignRequest(programs, kSecret), literal);
    // Item 1 does not exist: a right signature gets that far (code 15), a wrong one does not.
    EXPECT_EQ(ErrorCode(Ask(params, literal)), 15);
    EXPECT_EQ(ErrorCode(Ask(params, "5D2925D91335975004ED8E0658F0A75D")), 25);
}

TEST_F(MarketGatewayTest, PlatformErrorsForBadRequests)
{
    const auto signedAsk = [&](std::vector<RequestParam> params, const std::string& secret = kSecret) {
        std::vector<RequestParam> copy = params;
        const std::string sign = SignRequest(copy, secret);
        return Ask(params, sign);
    };
    struct Case {
        const char* name;
        std::vector<RequestParam> params;
        int code;
    };
    std::vector<RequestParam> noItem = Params(s_affiliateItem);
    noItem.erase(noItem.begin() + 1);
    std::vector<RequestParam> noMethod = Params(s_affiliateItem);
    noMethod.erase(noMethod.begin());
    std::vector<RequestParam> otherMethod = Params(s_affiliateItem);
    otherMethod[0].second = "taobao.items.get";
    std::vector<RequestParam> badPid = Params(s_affiliateItem);
    badPid[2].second = "";
    const std::vector<Case> cases = {
        {"unknown key", Params(s_affiliateItem, "2013-03-28 21:05:09", "999"), 29},
        {"missing key", Params(s_affiliateItem, "2013-03-28 21:05:09", ""), 28},
        {"missing item", noItem, 40},
        {"missing method", noMethod, 21},
        {"other method", otherMethod, 22},
        {"empty affiliate id", badPid, 41},
        {"unknown item", Params("123"), 15},
        {"timestamp not a time", Params(s_affiliateItem, "yesterday"), 31},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Json::Value root = signedAsk(c.params);
        ASSERT_TRUE(root.isMember("error_response"));
        EXPECT_EQ(ErrorCode(root), c.code);
        for (const char* member : {"msg", "sub_code", "sub_msg"})
            EXPECT_TRUE(root["error_response"][member].isString()) << member;
    }
    EXPECT_EQ(ErrorCode(signedAsk(Params(s_affiliateItem), "another-secret")), 25);
    EXPECT_EQ(ErrorCode(Ask(Params(s_affiliateItem), "")), 24);
}

TEST_F(MarketGatewayTest, ItemWithoutAffiliateLinkAnswersAnEmptyList)
{
    std::vector<RequestParam> params = Params(s_plainItem);
    std::vector<RequestParam> copy = params;
    const Json::Value root = Ask(params, SignRequest(copy, kSecret));
    const Json::Value& list = root["taobaoke_items_detail_get_response"]["taobaoke_item_details"]["taobaoke_item_detail"];
    ASSERT_TRUE(list.isArray());
    EXPECT_EQ(list.size(), 0u);
    EXPECT_EQ(GetClickUrl(kPid, s_plainItem, kAppKey, kSecret), "");
}

TEST_F(MarketGatewayTest, ClickAddressOfAnUnknownItemIsNotFound)
{
    EXPECT_EQ(RawGet(*s_server, "/s.click?e=42").status, 404);
}

} // namespace
