// Building the signed requests of the open platform's current affiliate interface.
#include "market/OpenPlatformRequest.h"
#include "market/ClickUrl.h"
#include "market/Endpoints.h"
#include "market/Gbk.h"

#include "tests/support/ZoneScope.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

namespace {

// A query with only the named fields set.
SearchQuery With(std::initializer_list<std::pair<std::string SearchQuery::*, std::string>> fields)
{
    SearchQuery q;
    for (const auto& [member, value] : fields)
        q.*member = value;
    return q;
}

// 2024-10-01 12:00:00 in GMT+8 (04:00:00 UTC)
constexpr std::time_t kOctoberNoon = 1727755200;

using yfx::test::ZoneScope;

std::string Decode(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+')
            out += ' ';
        else if (text[i] == '%' && i + 2 < text.size())
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)), i += 2;
        else
            out += text[i];
    }
    return out;
}

// "a=1&b=2" into its decoded pairs, in order.
std::vector<RequestParam> Pairs(const std::string& form)
{
    std::vector<RequestParam> pairs;
    std::size_t pos = 0;
    while (pos < form.size()) {
        const std::size_t end = std::min(form.find('&', pos), form.size());
        const std::string piece = form.substr(pos, end - pos);
        const std::size_t eq = piece.find('=');
        pairs.emplace_back(Decode(piece.substr(0, eq)),
                           eq == std::string::npos ? "" : Decode(piece.substr(eq + 1)));
        pos = end + 1;
    }
    return pairs;
}

std::map<std::string, std::string> Map(const std::vector<RequestParam>& pairs)
{
    return {pairs.begin(), pairs.end()};
}

Configuration App(SignMethod method = SignMethod::Md5)
{
    Configuration cfg;
    cfg.appKey = "12345678";
    cfg.appSecret = "helloworld";
    cfg.pid = "mm_1_2_123456789";
    cfg.signMethod = method;
    return cfg;
}

class OpenPlatformRequestTest : public ::testing::Test {
protected:
    void SetUp() override { yfx::SetEndpointOverride(yfx::Endpoint::OpenGateway, "https://gw.example"); }
    void TearDown() override
    {
        yfx::SetEndpointOverride(yfx::Endpoint::OpenGateway, "");
        SetRequestClock(nullptr);
    }
};

TEST_F(OpenPlatformRequestTest, WorkedSignatureExamplesReproduced)
{
    // The material-search example, in UTF-8 ("手机壳"), with each signing method.
    const std::vector<RequestParam> example = {{"method", "taobao.tbk.dg.material.optional.upgrade"},
                                               {"app_key", "12345678"},
                                               {"timestamp", "2024-10-01 12:00:00"},
                                               {"v", "2.0"},
                                               {"format", "json"},
                                               {"simplify", "true"},
                                               {"partner_id", "new_go_sdk_20240929"},
                                               {"adzone_id", "123456789"},
                                               {"q", "手机壳"},
                                               {"page_no", "1"},
                                               {"page_size", "20"}};
    auto withMethod = [&](const char* name) {
        auto params = example;
        params.emplace_back("sign_method", name);
        return params;
    };
    EXPECT_EQ(SignGatewayParams(withMethod("hmac-sha256"), "helloworld", SignMethod::HmacSha256),
              "3B2A18D9191A9EB34AF803431ACAEB4D0ABF561461E774707379420DE4683699");
    EXPECT_EQ(SignGatewayParams(withMethod("md5"), "helloworld", SignMethod::Md5),
              "CBFE6EF8F101C893451616D20B240E5A");
    // Over GBK bytes the signature differs: the platform would answer "Invalid signature".
    auto gbk = withMethod("md5");
    gbk[8].second = yfx::Utf8ToGbk("手机壳");
    EXPECT_NE(SignGatewayParams(gbk, "helloworld", SignMethod::Md5), "CBFE6EF8F101C893451616D20B240E5A");

    // The older md5 example.
    EXPECT_EQ(SignGatewayParams({{"method", "taobao.user.seller.get"},
                                 {"format", "xml"},
                                 {"app_key", "test"},
                                 {"v", "2.0"},
                                 {"fields", "nick"},
                                 {"sign_method", "md5"},
                                 {"timestamp", "2013-05-06 13:52:03"},
                                 {"session", "test"}},
                                "test", SignMethod::Md5),
              "72CB4D809B375A54502C09360D879C64");
}

TEST_F(OpenPlatformRequestTest, WholeRequestCarriesTheWorkedExampleSignatureInAnyZone)
{
    // The program's own request path, from the configuration to the address, gives the same
    // signatures as the example when asked for the example's parameters at its moment.
    for (const char* zone : {"UTC0", "EST5EDT", "CST-8", "XYZ-13"}) {
        SCOPED_TRACE(zone);
        ZoneScope scope(zone);
        for (const auto& [method, sign] :
             {std::pair{SignMethod::Md5, "CBFE6EF8F101C893451616D20B240E5A"},
              std::pair{SignMethod::HmacSha256,
                        "3B2A18D9191A9EB34AF803431ACAEB4D0ABF561461E774707379420DE4683699"}}) {
            const GatewayPost post = BuildGatewayPost(App(method), kMaterialSearchMethod,
                                                      {{"partner_id", "new_go_sdk_20240929"},
                                                       {"adzone_id", "123456789"},
                                                       {"q", "手机壳"},
                                                       {"page_no", "1"},
                                                       {"page_size", "20"}},
                                                      kOctoberNoon);
            const auto query = Map(Pairs(post.url.substr(post.url.find('?') + 1)));
            EXPECT_EQ(query.at("timestamp"), "2024-10-01 12:00:00");
            EXPECT_EQ(query.at("sign"), sign);
            EXPECT_NE(post.url.find("timestamp=2024-10-01+12%3A00%3A00"), std::string::npos) << post.url;
        }
    }
}

TEST_F(OpenPlatformRequestTest, TimestampIsGmt8WhateverTheMachinesZone)
{
    SetRequestClock([] { return kOctoberNoon; });
    for (const char* zone : {"UTC0", "EST5EDT", "America/New_York", "CST-8", "XYZ-13"}) {
        SCOPED_TRACE(zone);
        ZoneScope scope(zone);
        EXPECT_EQ(GatewayTimestamp(kOctoberNoon), "2024-10-01 12:00:00");
        const GatewayPost post = BuildMaterialSearchRequest(App(), SearchQuery{});
        EXPECT_EQ(Map(Pairs(post.url.substr(post.url.find('?') + 1))).at("timestamp"), "2024-10-01 12:00:00");
    }
    {
        // the zone change takes effect: the local clock of the retired method moves with it
        ZoneScope scope("EST5EDT");
        EXPECT_EQ(RequestTimestamp(), "2024-10-01 00:00:00");
    }
    EXPECT_EQ(GatewayTimestamp(0), "1970-01-01 08:00:00");
    EXPECT_EQ(GatewayTimestamp(1735660799), "2024-12-31 23:59:59"); // 15:59:59 UTC
}

TEST_F(OpenPlatformRequestTest, SystemParametersInTheAddressBusinessOnesInTheBody)
{
    SearchQuery q;
    q.keyword = yfx::Utf8ToGbk("手机 壳");
    const GatewayPost post = BuildMaterialSearchRequest(App(SignMethod::HmacSha256), q, kOctoberNoon);
    ASSERT_EQ(post.url.rfind("https://gw.example/router/rest?", 0), 0u) << post.url;
    EXPECT_EQ(post.contentType, "application/x-www-form-urlencoded;charset=utf-8");

    const std::vector<RequestParam> system = Pairs(post.url.substr(post.url.find('?') + 1));
    const std::vector<RequestParam> business = Pairs(post.body);
    EXPECT_EQ(Map(system),
              (std::map<std::string, std::string>{{"method", "taobao.tbk.dg.material.optional.upgrade"},
                                                  {"app_key", "12345678"},
                                                  {"timestamp", "2024-10-01 12:00:00"},
                                                  {"v", "2.0"},
                                                  {"sign_method", "hmac-sha256"},
                                                  {"format", "json"},
                                                  {"simplify", "true"},
                                                  {"sign", system.back().second}}));
    EXPECT_EQ(system.back().first, "sign");
    EXPECT_EQ(Map(business), (std::map<std::string, std::string>{{"adzone_id", "123456789"},
                                                                 {"q", "手机 壳"},
                                                                 {"page_size", "40"},
                                                                 {"page_no", "1"},
                                                                 {"sort", "total_sales_des"}}));
    // the keyword travels as UTF-8, form-encoded
    EXPECT_NE(post.body.find("q=%E6%89%8B%E6%9C%BA+%E5%A3%B3"), std::string::npos) << post.body;

    // the signature covers exactly what is sent: both halves, without "sign"
    std::vector<RequestParam> all(system.begin(), system.end() - 1);
    all.insert(all.end(), business.begin(), business.end());
    EXPECT_EQ(SignGatewayParams(all, "helloworld", SignMethod::HmacSha256), system.back().second);
    EXPECT_EQ(system.back().second.size(), 64u);
    EXPECT_EQ(system.back().second.find_first_not_of("0123456789ABCDEF"), std::string::npos);
}

TEST_F(OpenPlatformRequestTest, EmptyValuesAreNeitherSignedNorSent)
{
    Configuration cfg = App();
    cfg.appKey.clear();
    const GatewayPost post = BuildMaterialSearchRequest(cfg, SearchQuery{}, kOctoberNoon);
    const std::vector<RequestParam> system = Pairs(post.url.substr(post.url.find('?') + 1));
    const std::vector<RequestParam> business = Pairs(post.body);
    for (const auto& p : system)
        EXPECT_FALSE(p.second.empty()) << p.first;
    EXPECT_EQ(Map(system).count("app_key"), 0u);
    EXPECT_EQ(post.body, "adzone_id=123456789&page_size=40&page_no=1&sort=total_sales_des");

    std::vector<RequestParam> all(system.begin(), system.end() - 1);
    all.insert(all.end(), business.begin(), business.end());
    EXPECT_EQ(SignGatewayParams(all, "helloworld", SignMethod::Md5), system.back().second);
    all.emplace_back("q", "");
    EXPECT_NE(SignGatewayParams(all, "helloworld", SignMethod::Md5), system.back().second)
        << "an empty value signed would change the signature";
}

TEST_F(OpenPlatformRequestTest, QueryMapping)
{
    const std::string shop = yfx::Utf8ToGbk("青禾小货郎");
    struct Case {
        const char* name;
        SearchQuery query;
        std::map<std::string, std::string> expected; // beside adzone_id, page_size, page_no, sort
        int page = 1;
        std::string buyerIp = {}; // the user's setting
    } cases[] = {
        {"search pane",
         With({{&SearchQuery::cat, "0"},
               {&SearchQuery::keyword, yfx::Utf8ToGbk("鞋子")},
               {&SearchQuery::exclude, yfx::Utf8ToGbk("皮")},
               {&SearchQuery::location, yfx::Utf8ToGbk("杭州")},
               {&SearchQuery::priceLow, "10"},
               {&SearchQuery::priceHigh, "200"}}),
         {{"q", "鞋子"}, {"itemloc", "杭州"}, {"start_price", "10"}, {"end_price", "200"}}},
        {"bounds rounded outwards",
         With(
             {{&SearchQuery::cat, "0"}, {&SearchQuery::priceLow, "10.5"}, {&SearchQuery::priceHigh, "20.2"}}),
         {{"start_price", "10"}, {"end_price", "21"}}},
        {"bounds with zeros",
         With({{&SearchQuery::priceLow, " 0.99 "}, {&SearchQuery::priceHigh, "20.000"}}),
         {{"start_price", "0"}, {"end_price", "20"}}},
        {"bounds that are not numbers",
         With({{&SearchQuery::priceLow, "1 0"}, {&SearchQuery::priceHigh, "abc"}}),
         {}},
        {"signed bounds", With({{&SearchQuery::priceLow, "-5"}, {&SearchQuery::priceHigh, "+7"}}), {}},
        {"a huge bound",
         With({{&SearchQuery::priceLow, "123456789012"}, {&SearchQuery::priceHigh, "99999999999.5"}}),
         {{"start_price", "100000000"}, {"end_price", "100000000"}}},
        {"category node",
         With({{&SearchQuery::path, "/market/nvzhuang/index.htm"}, {&SearchQuery::cat, "16"}}),
         {{"cat", "16"}}},
        {"market path only", With({{&SearchQuery::path, "/market/nvzhuang/index.htm"}}), {}},
        {"today's picks",
         With({{&SearchQuery::cat, "0"}, {&SearchQuery::nick, shop}}),
         {{"q", "青禾小货郎"}}},
        {"keyword wins over the seller",
         With({{&SearchQuery::keyword, "abc"}, {&SearchQuery::nick, shop}}),
         {{"q", "abc"}}},
        {"a later page", With({{&SearchQuery::keyword, "abc"}}), {{"q", "abc"}, {"page_no", "3"}}, 3},
        {"no page before the first", With({{&SearchQuery::keyword, "abc"}}), {{"q", "abc"}}, 0},
        {"the buyer's address where the user set it",
         With({{&SearchQuery::keyword, "abc"}}),
         {{"q", "abc"}, {"ip", "203.0.113.7"}},
         1,
         "203.0.113.7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::map<std::string, std::string> want = c.expected;
        want.insert(
            {{"adzone_id", "123456789"}, {"page_size", "40"}, {"page_no", "1"}, {"sort", "total_sales_des"}});
        Configuration cfg = App();
        cfg.buyerIp = c.buyerIp;
        const auto params = MaterialSearchParams(cfg, c.query, c.page);
        EXPECT_EQ(Map(params), want);
        EXPECT_EQ(params.size(), want.size()) << "a name twice";
    }
    // the page is signed with the rest
    const GatewayPost second = BuildMaterialPageRequest(App(), With({{&SearchQuery::keyword, "abc"}}), 2, kOctoberNoon);
    EXPECT_NE(second.body.find("page_no=2"), std::string::npos) << second.body;
    EXPECT_NE(second.url, BuildMaterialSearchRequest(App(), With({{&SearchQuery::keyword, "abc"}}), kOctoberNoon).url);
}

TEST_F(OpenPlatformRequestTest, ItemInfoAsksForAtMostTwentyIds)
{
    std::vector<std::string> ids = {"", "a,b"};
    for (int i = 0; i < 25; ++i)
        ids.push_back("Xy" + std::to_string(i) + "-z");
    const GatewayPost post = BuildItemInfoRequest(App(), ids, kOctoberNoon);
    EXPECT_EQ(Map(Pairs(post.url.substr(post.url.find('?') + 1))).at("method"),
              "taobao.tbk.item.info.upgrade.get");
    const auto business = Pairs(post.body);
    ASSERT_EQ(business.size(), 1u) << "no ip unless the user set one";
    EXPECT_EQ(business[0].first, "item_id");
    std::string want = "Xy0-z";
    for (int i = 1; i < 20; ++i)
        want += ",Xy" + std::to_string(i) + "-z";
    EXPECT_EQ(business[0].second, want);

    Configuration withIp = App();
    withIp.buyerIp = "2001:db8::1";
    EXPECT_EQ(Map(Pairs(BuildItemInfoRequest(withIp, ids, kOctoberNoon).body)).at("ip"), "2001:db8::1");
}

TEST_F(OpenPlatformRequestTest, FormEncoding)
{
    EXPECT_EQ(FormEncode("aZ09-._~"), "aZ09-._~");
    EXPECT_EQ(FormEncode("a b"), "a+b");
    EXPECT_EQ(FormEncode("2013-05-06 13:52:03"), "2013-05-06+13%3A52%3A03");
    EXPECT_EQ(FormEncode("&=+%?/"), "%26%3D%2B%25%3F%2F");
    EXPECT_EQ(FormEncode("\xE6\x89\x8B"), "%E6%89%8B");
    EXPECT_EQ(FormEncode(""), "");
}

TEST(OpenPlatformGateway, OneMoreEndpointOverridableLikeTheOthers)
{
    const char* server = std::getenv("YFX_SERVER");
    const std::string savedServer = server ? server : "";
    ::unsetenv("YFX_SERVER");
    ::unsetenv("YFX_OPEN_GATEWAY_URL");
    EXPECT_EQ(yfx::EndpointBase(yfx::Endpoint::OpenGateway), "https://eco.taobao.com");
    EXPECT_EQ(BuildMaterialSearchRequest(Configuration{}, SearchQuery{})
                  .url.rfind("https://eco.taobao.com/router/rest?", 0),
              0u);
    ::setenv("YFX_SERVER", "http://127.0.0.1:8080", 1);
    EXPECT_EQ(yfx::EndpointBase(yfx::Endpoint::OpenGateway), "http://127.0.0.1:8080");
    ::setenv("YFX_OPEN_GATEWAY_URL", "https://gw.api.taobao.com/", 1);
    EXPECT_EQ(yfx::EndpointBase(yfx::Endpoint::OpenGateway), "https://gw.api.taobao.com");
    EXPECT_EQ(yfx::EndpointBase(yfx::Endpoint::Gateway), "http://127.0.0.1:8080")
        << "the retired gateway is apart";
    ::unsetenv("YFX_OPEN_GATEWAY_URL");
    if (server)
        ::setenv("YFX_SERVER", savedServer.c_str(), 1);
    else
        ::unsetenv("YFX_SERVER");
}

} // namespace
