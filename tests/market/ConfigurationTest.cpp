// Reading the configuration document: every row of its failure table.
#include "LocalHttpServer.h"
#include "market/Configuration.h"
#include "market/Endpoints.h"

#include <gtest/gtest.h>

namespace {

class ConfigurationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        srv.server().Get("/set/config.jpg", [this](const auto&, auto& res) {
            res.status = status;
            res.set_content(document, "image/jpeg");
        });
        srv.Start();
    }
    bool Read()
    {
        cfg.appKey = "stale";
        cfg.sellerNicks["stale"] = 9;
        cfg.announcements.push_back("stale");
        return ReadConfiguration(cfg, srv.Base() + "/set/config.jpg");
    }
    bool AllEmpty() const
    {
        return cfg.appKey.empty() && cfg.appSecret.empty() && cfg.pid.empty() && cfg.sellerNicks.empty() &&
               cfg.announcements.empty();
    }
    std::string document;
    int status = 200;
    Configuration cfg;
    LocalHttpServer srv; // (after what its handler reads: it stops first)
};

TEST_F(ConfigurationTest, FullDocument)
{
    document = R"({"appkey":"12345678","secret":"s3cr3t","pid":"mm_1_2_3",
        "nicks":[{"nick":"a"},{"nick":")" "\xC7\xE0" R"("},{"nick":"a"}],
        "sellerids":{"a":2200000000000123,")" "\xC7\xE0" R"(":"2200000000000456"},
        "affiches":[{"affiche":"x"},{},{"affiche":")" "\xB9\xAB\xB8\xE6" R"("}]})";
    EXPECT_TRUE(Read());
    EXPECT_EQ(cfg.sellerIds,
              (std::map<std::string, std::string>{{"a", "2200000000000123"}, {"\xC7\xE0", "2200000000000456"}}));
    EXPECT_EQ(cfg.buyerIp, "") << "never from the document";
    EXPECT_EQ(cfg.appKey, "12345678");
    EXPECT_EQ(cfg.appSecret, "s3cr3t");
    EXPECT_EQ(cfg.pid, "mm_1_2_3");
    EXPECT_EQ(cfg.sellerNicks, (std::map<std::string, int>{{"a", 2}, {"\xC7\xE0", 1}}));
    EXPECT_EQ(cfg.announcements, (std::vector<std::string>{"x", "", "\xB9\xAB\xB8\xE6"}));
}

TEST_F(ConfigurationTest, FailureTable)
{
    struct Case {
        const char* name;
        std::string document;
        int status;
        bool result;
    } cases[] = {
        {"empty answer", "", 200, true},
        {"non-200", R"({"appkey":"k"})", 404, true},
        {"not json", "<html></html>", 200, false},
        {"null root", "null", 200, false},
        {"too deep", std::string(4000, '['), 200, false},
        {"longer than a configuration can be",
         R"({"appkey":"k","nicks":[)" + std::string(kMaxConfigurationBytes, ' ') + R"({"nick":"a"}]})", 200, false},
    };
    for (const auto& c : cases) {
        document = c.document;
        status = c.status;
        EXPECT_EQ(Read(), c.result) << c.name;
        EXPECT_TRUE(AllEmpty()) << c.name;
    }
    EXPECT_FALSE(ReadConfiguration(cfg, "http://config.invalid/set/config.jpg"));
    EXPECT_TRUE(AllEmpty());
}

TEST_F(ConfigurationTest, LongestDocumentStillRead)
{
    // As fetched: the body's one line followed by "\r\n", exactly at the bound.
    const std::string doc = R"({"appkey":"k","nicks":[{"nick":"a"}]})";
    document = doc;
    document.insert(document.size() - 1, kMaxConfigurationBytes - 2 - doc.size(), ' ');
    EXPECT_TRUE(Read());
    EXPECT_EQ(cfg.appKey, "k");
    EXPECT_EQ(cfg.sellerNicks.size(), 1u);
    EXPECT_FALSE(ReadConfigurationText(0, document + "\r\n ", cfg));
    EXPECT_TRUE(AllEmpty());
}

TEST_F(ConfigurationTest, PartsMissingOrOfAnotherShape)
{
    document = R"(/* served by hand */ {"secret":"s","pid":"p", // no appkey
        "nicks":{"nick":"a"}, "affiches":"x", "sellerids":[1,2]})";
    EXPECT_TRUE(Read());
    EXPECT_EQ(cfg.appKey, "");
    EXPECT_EQ(cfg.appSecret, "s");
    EXPECT_EQ(cfg.pid, "p");
    EXPECT_TRUE(cfg.sellerNicks.empty());
    EXPECT_TRUE(cfg.announcements.empty());
    EXPECT_TRUE(cfg.sellerIds.empty());
}

TEST_F(ConfigurationTest, ValuesThatAreNotTexts)
{
    document = R"({"appkey":12345678,"secret":true,"pid":["x"],
        "nicks":[{}, {"nick":{"a":1}}, {"nick":7}, "plain"],
        "affiches":[{"affiche":3.50}, 5],
        "sellerids":{"ok":"123","neg":-5,"real":1.5,"exp":1e3,"word":"12a","long":"123456789012345678901",
                     "empty":"","obj":{"id":1},"big":99999999999999999999}})";
    EXPECT_TRUE(Read());
    // only ids of 1 to 20 digits, as sent (never through a double)
    EXPECT_EQ(cfg.sellerIds, (std::map<std::string, std::string>{{"ok", "123"}, {"big", "99999999999999999999"}}));
    EXPECT_EQ(cfg.appKey, "12345678");
    EXPECT_EQ(cfg.appSecret, "true");
    EXPECT_EQ(cfg.pid, "");
    // the missing nick, the object and the non-object element all read as ""; last index wins
    EXPECT_EQ(cfg.sellerNicks, (std::map<std::string, int>{{"", 3}, {"7", 2}}));
    EXPECT_EQ(cfg.announcements, (std::vector<std::string>{"3.50", ""}));
}

TEST_F(ConfigurationTest, SourceAndSigningMethodChosenByTheDocument)
{
    struct Case {
        std::string members;
        ResultSource source;
        SignMethod sign;
    } cases[] = {
        {"", ResultSource::ListSearch, SignMethod::Md5},
        {R"("search":"material","sign_method":"hmac-sha256")", ResultSource::OpenPlatform, SignMethod::HmacSha256},
        {R"("search":"material")", ResultSource::OpenPlatform, SignMethod::Md5},
        {R"("search":"Material","sign_method":"HMAC-SHA256")", ResultSource::ListSearch, SignMethod::Md5},
        {R"("search":"list","sign_method":"md5")", ResultSource::ListSearch, SignMethod::Md5},
        {R"("search":["material"],"sign_method":{"m":"hmac-sha256"})", ResultSource::ListSearch, SignMethod::Md5},
        {R"("sign_method":"hmac")", ResultSource::ListSearch, SignMethod::Md5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.members);
        document = R"({"appkey":"k","pid":"mm_1_2_3")" + (c.members.empty() ? "" : "," + c.members) + "}";
        cfg.source = ResultSource::OpenPlatform; // stale values never survive a reading
        cfg.signMethod = SignMethod::HmacSha256;
        EXPECT_TRUE(Read());
        EXPECT_EQ(cfg.source, c.source);
        EXPECT_EQ(cfg.signMethod, c.sign);
        EXPECT_EQ(cfg.appKey, "k");
    }
}

TEST(ConfigurationAdzone, ThirdNumberOfTheAffiliateId)
{
    const struct {
        const char* pid;
        const char* adzone;
    } cases[] = {
        {"mm_10000001_2000002_30000003", "30000003"},
        {"mm_1_2_3", "3"},
        {"mm_1_2_007", "007"},
        {"mm_1_2_12345678901234567890", "12345678901234567890"},
        {"mm_1_2_123456789012345678901", ""}, // too long to be a number of the platform
        {"mm_1_2", ""},
        {"mm_1_2_3_4", ""},
        {"mm_1_2_", ""},
        {"mm__2_3", ""},
        {"mm_1_2_3x", ""},
        {"mm_1_2_-3", ""},
        {"mm_1_2_ 3", ""},
        {"MM_1_2_3", ""},
        {"xmm_1_2_3", ""},
        {"mm_", ""},
        {"", ""},
        {"mm_\xB0\xA1_2_3", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AdzoneIdOf(c.pid), c.adzone) << c.pid;
}

TEST(ConfigurationUrls, LiveOnTheConfigurationServer)
{
    yfx::SetEndpointOverride(yfx::Endpoint::Config, "http://cfg.example");
    EXPECT_EQ(ConfigDocumentUrl(), "http://cfg.example/set/config.jpg");
    EXPECT_EQ(CategoryDocumentUrl(), "http://cfg.example/set/tbcat.jpg");
    yfx::SetEndpointOverride(yfx::Endpoint::Config, "");
}

} // namespace
