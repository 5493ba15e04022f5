// The list-search address, compared byte for byte.
#include "market/Endpoints.h"
#include "market/Gbk.h"
#include "market/SearchUrl.h"
#include "market/Texts.h"

#include <gtest/gtest.h>

namespace {

const std::string kTail = "&json=on&tid=0&data-key=sort&data-value=biz30day&module=sortList&json=on"
                          "&_ksTS=1364476473257_654&ver=probeta";

class SearchUrlTest : public ::testing::Test {
protected:
    void SetUp() override { yfx::SetEndpointOverride(yfx::Endpoint::ListSearch, "http://list.example"); }
    void TearDown() override { yfx::SetEndpointOverride(yfx::Endpoint::ListSearch, ""); }
};

TEST(UrlEncode, OnlyLettersStayEverythingElseIsEscaped)
{
    EXPECT_EQ(UrlEncode(""), "");
    EXPECT_EQ(UrlEncode("abc 12"), "abc%20%31%32");
    EXPECT_EQ(UrlEncode("-._~+%"), "%2D%2E%5F%7E%2B%25");
    EXPECT_EQ(UrlEncode("\xCA\xD6\xBB\xFA"), "%CA%D6%BB%FA");
    EXPECT_EQ(UrlEncode(yfx::Utf8ToGbk("手机")), "%CA%D6%BB%FA");
    EXPECT_EQ(UrlEncode(std::string("a\0b", 3)), "a%00b");
}

struct UrlCase {
    const char* name;
    SearchQuery query;
    std::string expected; // everything after the host
};

class SearchUrlCases : public SearchUrlTest, public ::testing::WithParamInterface<UrlCase> {};

TEST_P(SearchUrlCases, WholeAddress)
{
    EXPECT_EQ(BuildSearchUrl(GetParam().query), "http://list.example" + GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Queries, SearchUrlCases,
    ::testing::Values(
        UrlCase{"AllEmpty", {},
                "/itemlist/default.htm?&ex_q=&viewIndex=1&as=1&loc=&commend=all&atype=b&style=list&q=&same_info=1"
                "&tid=0&isnew=2&filter=reserve_price%5B0%2C100000000%5D" + kTail},
        UrlCase{"SearchPaneWithGbkKeyword", {"", "0", "\xCA\xD6\xBB\xFA", "", "", "", "", ""},
                "/itemlist/default.htm?&cat=0&ex_q=&viewIndex=1&as=1&loc=&commend=all&atype=b&style=list"
                "&q=%CA%D6%BB%FA&same_info=1&tid=0&isnew=2&filter=reserve_price%5B0%2C100000000%5D" + kTail},
        UrlCase{"ExclusionSuffix", {"", "", "xyz", "abc", "", "", "", ""},
                "/itemlist/default.htm?&ex_q=abc&viewIndex=1&as=1&loc=&commend=all&atype=b&style=list"
                "&q=xyz+-abc&same_info=1&tid=0&isnew=2&filter=reserve_price%5B0%2C100000000%5D" + kTail},
        UrlCase{"SellerPieceAfterExclusion", {"", "", "", "", "", "", "", "ab"},
                "/itemlist/default.htm?&ex_q=&nick=ab&viewIndex=1&as=1&loc=&commend=all&atype=b&style=list"
                "&q=&same_info=1&tid=0&isnew=2&filter=reserve_price%5B0%2C100000000%5D" + kTail},
        UrlCase{"KeywordWithSpaceAndDigit", {"", "", "iPhone 5", "", "", "", "", ""},
                "/itemlist/default.htm?&ex_q=&viewIndex=1&as=1&loc=&commend=all&atype=b&style=list"
                "&q=iPhone%20%35&same_info=1&tid=0&isnew=2&filter=reserve_price%5B0%2C100000000%5D" + kTail},
        UrlCase{"PricesUnencoded", {"", "", "", "", "", "1 0", "", ""},
                "/itemlist/default.htm?&ex_q=&viewIndex=1&as=1&loc=&commend=all&atype=b&style=list&q="
                "&same_info=1&tid=0&isnew=2&filter=reserve_price%5B1 0%2C100000000%5D" + kTail},
        UrlCase{"LowPriceOnly", {"", "", "", "", "", "10", "", ""},
                "/itemlist/default.htm?&ex_q=&viewIndex=1&as=1&loc=&commend=all&atype=b&style=list&q="
                "&same_info=1&tid=0&isnew=2&filter=reserve_price%5B10%2C100000000%5D" + kTail},
        UrlCase{"CategoryMarketPath", {"/market/nvzhuang.htm", "16", "", "", "", "", "", ""},
                "/market/nvzhuang.htm?&cat=16&ex_q=&viewIndex=1&as=1&loc=&commend=all&atype=b&style=list&q="
                "&same_info=1&tid=0&isnew=2&filter=reserve_price%5B0%2C100000000%5D" + kTail},
        UrlCase{"EveryField", {"/p", "7", "a", "b", "\xB1\xB1\xBE\xA9", "1", "2", "c"},
                "/p?&cat=7&ex_q=b&nick=c&viewIndex=1&as=1&loc=%B1%B1%BE%A9&commend=all&atype=b&style=list"
                "&q=a+-b&same_info=1&tid=0&isnew=2&filter=reserve_price%5B1%2C2%5D" + kTail}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SearchUrlTest, TodaysPicksSellerIsEncodedFromItsGbkBytes)
{
    SearchQuery q;
    q.cat = "0";
    q.nick = yfx::text::ShopNick();
    // 青禾小货郎 in GBK: C7E0 BACC D0A1 BBF5 C0C9
    ASSERT_EQ(q.nick, "\xC7\xE0\xBA\xCC\xD0\xA1\xBB\xF5\xC0\xC9");
    EXPECT_EQ(BuildSearchUrl(q),
              "http://list.example/itemlist/default.htm?&cat=0&ex_q=&nick=%C7%E0%BA%CC%D0%A1%BB%F5%C0%C9"
              "&viewIndex=1&as=1&loc=&commend=all&atype=b&style=list&q=&same_info=1&tid=0&isnew=2"
              "&filter=reserve_price%5B0%2C100000000%5D" + kTail);
}

TEST_F(SearchUrlTest, SameQueryTwiceSameBytes)
{
    SearchQuery q{"", "0", "\xD0\xAC", "x", "y", "1", "9", "n"};
    EXPECT_EQ(BuildSearchUrl(q), BuildSearchUrl(q));
}

TEST(Endpoints, ServerVariablePointsEveryHostAtOneServer)
{
    yfx::SetEndpointServer("http://127.0.0.1:9/");
    EXPECT_EQ(yfx::EndpointBase(yfx::Endpoint::ListSearch), "http://127.0.0.1:9");
    EXPECT_EQ(yfx::EndpointBase(yfx::Endpoint::Config), "http://127.0.0.1:9");
    yfx::SetEndpointOverride(yfx::Endpoint::Gateway, "http://gw.example");
    EXPECT_EQ(yfx::EndpointBase(yfx::Endpoint::Gateway), "http://gw.example");
    yfx::SetEndpointOverride(yfx::Endpoint::Gateway, "");
    yfx::SetEndpointServer("");
    if (!std::getenv("YFX_SERVER") && !std::getenv("YFX_CONFIG_URL")) {
        // without a server the configuration host is unresolvable on purpose
        const std::string config = yfx::EndpointBase(yfx::Endpoint::Config);
        EXPECT_NE(config.find(".invalid"), std::string::npos) << config;
    }
}

} // namespace
