// The signed open-platform request and the reading of its answer.
#include "LocalHttpServer.h"
#include "market/ClickUrl.h"
#include "market/Endpoints.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

// 2013-03-28 21:05:09 UTC
constexpr std::time_t kFixedTime = 1364504709;

class ClickUrlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* tz = std::getenv("TZ");
        savedTz = tz ? tz : "";
        hadTz = tz != nullptr;
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        SetRequestClock([this] { return now; });
    }
    void TearDown() override
    {
        SetRequestClock(nullptr);
        if (hadTz)
            ::setenv("TZ", savedTz.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
        yfx::SetEndpointOverride(yfx::Endpoint::Gateway, "");
    }
    std::time_t now = kFixedTime;
    std::string savedTz;
    bool hadTz = false;
};

std::vector<RequestParam> NinePairs(const std::string& item, const std::string& key, const std::string& pid)
{
    return {{"method", "taobao.taobaoke.items.detail.get"}, {"num_iids", item}, {"pid", pid},
            {"fields", "click_url"}, {"timestamp", "2013-03-28 21:05:09"}, {"v", "2.0"},
            {"app_key", key}, {"format", "json"}, {"sign_method", "md5"}};
}

TEST_F(ClickUrlTest, SignatureMatchesAnIndependentComputation)
{
    auto params = NinePairs("42", "12345678", "mm_1_2_3");
    // Computed outside the code with (one line):
    //   printf '%s' 's3cr3tapp_key12345678fieldsclick_urlformatjsonmethodtaobao.taobaoke.items.detail.get
    //   num_iids42pidmm_1_2_3sign_methodmd5timestamp2013-03-28 21:05:09v2.0s3cr3t' | md5sum
    EXPECT_EQ(SignRequest(params, "s3cr3t"), "BBDA4BB20053E6FE573F1CCED994506A");
    const char* order[] = {"app_key", "fields", "format", "method", "num_iids",
                           "pid", "sign_method", "timestamp", "v"};
    ASSERT_EQ(params.size(), 9u);
    for (size_t i = 0; i < 9; ++i)
        EXPECT_EQ(params[i].first, order[i]);

    // an empty secret: the sign text runs from "app_key" to "2.0"
    //   printf '%s' 'app_keykfieldsclick_urlformatjsonmethodtaobao.taobaoke.items.detail.getnum_iids1
    //   pidpsign_methodmd5timestamp2013-03-28 21:05:09v2.0' | md5sum
    auto other = NinePairs("1", "k", "p");
    EXPECT_EQ(SignRequest(other, ""), "3C7F74ED15DC0B468F67774BB228A040");
}

TEST_F(ClickUrlTest, SortIsBytewiseShorterPrefixFirst)
{
    std::vector<RequestParam> params{{"b", "1"}, {"\xB0" "a", "2"}, {"a", "3"}, {"ab", "4"}, {"A", "5"}};
    const std::string sig = SignRequest(params, "");
    EXPECT_EQ(params[0].first, "A");
    EXPECT_EQ(params[1].first, "a");
    EXPECT_EQ(params[2].first, "ab");
    EXPECT_EQ(params[3].first, "b");
    EXPECT_EQ(params[4].first, "\xB0" "a"); // a byte above 0x7F sorts after ASCII
    ASSERT_EQ(sig.size(), 32u);
    EXPECT_EQ(sig.find_first_not_of("0123456789ABCDEF"), std::string::npos);
}

TEST_F(ClickUrlTest, WholeAddressWithFixedClock)
{
    yfx::SetEndpointOverride(yfx::Endpoint::Gateway, "http://gw.example");
    EXPECT_EQ(BuildClickRequestUrl("mm_1_2_3", "42", "12345678", "s3cr3t"),
              "http://gw.example/router/rest?app_key=12345678&fields=click_url&format=json"
              "&method=taobao.taobaoke.items.detail.get&num_iids=42&pid=mm_1_2_3&sign_method=md5"
              "&timestamp=2013-03-28 21:05:09&v=2.0&sign=BBDA4BB20053E6FE573F1CCED994506A");
    // another second, another timestamp, another signature
    const std::string first = BuildClickRequestUrl("mm_1_2_3", "42", "12345678", "s3cr3t");
    now += 1;
    const std::string second = BuildClickRequestUrl("mm_1_2_3", "42", "12345678", "s3cr3t");
    EXPECT_NE(first, second);
    EXPECT_NE(second.find("timestamp=2013-03-28 21:05:10"), std::string::npos);
    EXPECT_NE(first.substr(first.size() - 32), second.substr(second.size() - 32));
}

TEST_F(ClickUrlTest, WebAddressRule)
{
    EXPECT_TRUE(IsWebAddress("http://s.click.example/t?e=1"));
    EXPECT_TRUE(IsWebAddress("HTTPS://x"));
    EXPECT_FALSE(IsWebAddress("file:///etc/passwd"));
    EXPECT_FALSE(IsWebAddress("javascript:alert(1)"));
    EXPECT_FALSE(IsWebAddress("/usr/bin/xterm"));
    EXPECT_FALSE(IsWebAddress("http://"));
    EXPECT_FALSE(IsWebAddress("http:///x"));
    EXPECT_FALSE(IsWebAddress("http://a b"));
    EXPECT_FALSE(IsWebAddress(""));
}

TEST_F(ClickUrlTest, AnswersOfTheGateway)
{
    std::string answer;
    int status = 200;
    LocalHttpServer srv; // (after what its handler reads: it stops first)
    srv.server().Get("/router/rest", [&](const auto&, auto& res) {
        res.status = status;
        res.set_content(answer, "application/json");
    });
    srv.Start();
    yfx::SetEndpointOverride(yfx::Endpoint::Gateway, srv.Base());

    struct Case {
        const char* name;
        std::string answer;
        std::string expected;
        int status = 200;
    } cases[] = {
        {"ok", R"({"taobaoke_items_detail_get_response":{"taobaoke_item_details":{"taobaoke_item_detail":
            [{"click_url":"http://s.click.example/t?e=42"},{"click_url":"http://second"}]}}})",
         "http://s.click.example/t?e=42"},
        {"empty list", R"({"taobaoke_items_detail_get_response":{"taobaoke_item_details":{"taobaoke_item_detail":[]}}})", ""},
        {"no details", R"({"taobaoke_items_detail_get_response":{"total_results":0}})", ""},
        {"error document", R"({"error_response":{"code":25,"msg":"Invalid signature"}})", ""},
        {"not json", "<html>gateway busy</html>", ""},
        {"null root", "null", ""},
        {"array root", "[1]", ""},
        {"details not object", R"({"taobaoke_items_detail_get_response":{"taobaoke_item_details":[1]}})", ""},
        {"detail not array", R"({"taobaoke_items_detail_get_response":{"taobaoke_item_details":{"taobaoke_item_detail":{"click_url":"http://x"}}}})", ""},
        {"number", R"({"taobaoke_items_detail_get_response":{"taobaoke_item_details":{"taobaoke_item_detail":[{"click_url":42}]}}})", ""},
        {"object", R"({"taobaoke_items_detail_get_response":{"taobaoke_item_details":{"taobaoke_item_detail":[{"click_url":{}}]}}})", ""},
        {"missing", R"({"taobaoke_items_detail_get_response":{"taobaoke_item_details":{"taobaoke_item_detail":[{}]}}})", ""},
        {"local file", R"({"taobaoke_items_detail_get_response":{"taobaoke_item_details":{"taobaoke_item_detail":[{"click_url":"file:///etc/passwd"}]}}})", ""},
        {"deep", std::string(5000, '['), ""},
        {"non-200", R"({"taobaoke_items_detail_get_response":{"taobaoke_item_details":{"taobaoke_item_detail":[{"click_url":"http://x"}]}}})", "", 500},
        // the answer as fetched ("\r\n" after its line) just at the bound, and one byte more
        {"at the bound", R"({"taobaoke_items_detail_get_response":{"taobaoke_item_details":{"taobaoke_item_detail":[{"click_url":"http://x"}]}})" +
             std::string(kMaxGatewayAnswerBytes - 118, ' ') + "}", "http://x"},
        {"beyond the bound", R"({"taobaoke_items_detail_get_response":{"taobaoke_item_details":{"taobaoke_item_detail":[{"click_url":"http://x"}]}})" +
             std::string(kMaxGatewayAnswerBytes - 117, ' ') + "}", ""},
    };
    for (const auto& c : cases) {
        answer = c.answer;
        status = c.status;
        EXPECT_EQ(GetClickUrl("mm_1_2_3", "42", "12345678", "s3cr3t"), c.expected) << c.name;
    }
    // the request went out with every pair, the space of the timestamp escaped on the wire
    const auto seen = srv.Requests();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen[0].target,
              "/router/rest?app_key=12345678&fields=click_url&format=json&method=taobao.taobaoke.items.detail.get"
              "&num_iids=42&pid=mm_1_2_3&sign_method=md5&timestamp=2013-03-28%2021:05:09&v=2.0"
              "&sign=BBDA4BB20053E6FE573F1CCED994506A");

    // a gateway that cannot be reached
    yfx::SetEndpointOverride(yfx::Endpoint::Gateway, "http://gateway.invalid");
    EXPECT_EQ(GetClickUrl("", "42", "", ""), "");
}

} // namespace
