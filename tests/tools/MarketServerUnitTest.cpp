// The pieces of the local marketplace server on their own: query decoding, GBK matching,
// price bounds, fault rules, the GBK JSON writer, picture addresses, the catalogue and the
// gateway's signature.
#include <gtest/gtest.h>
#include <json/json.h>
#include <set>

#include "market/Gbk.h"
#include "market/TBRecord.h"
#include "market/Texts.h"
#include "tools/market-server/Catalogue.h"
#include "tools/market-server/FaultPlan.h"
#include "tools/market-server/GbkJsonWriter.h"
#include "tools/market-server/ItemSearch.h"
#include "tools/market-server/MaterialGateway.h"
#include "tools/market-server/OpenPlatformGateway.h"
#include "tools/market-server/PictureAddress.h"
#include "tools/market-server/QueryParams.h"

using namespace yfx::server;
using yfx::GbkToUtf8;
using yfx::Utf8ToGbk;

namespace {

TEST(MarketQueryParams, DecodeAsTheMarketplaceDoes)
{
    const struct {
        const char* target;
        const char* name;
        std::string value; // GBK bytes
    } cases[] = {
        {"/itemlist/default.htm?q=%CA%D6%BB%FA", "q", "\xCA\xD6\xBB\xFA"},
        {"/p?q=xyz+-abc", "q", "xyz -abc"},
        {"/p?q=a%2Bb", "q", "a+b"},
        {"/p?&cat=0&ex_q=", "cat", "0"},
        {"/p?&cat=0&ex_q=", "ex_q", ""},
        {"/p?loc", "loc", ""},
        {"/p?x=%ZZ%4", "x", "%ZZ%4"},
        {"/p?filter=reserve_price%5B1%2C2%5D", "filter", "reserve_price[1,2]"},
        {"/p?tid=0&tid=1", "tid", "0"},
        {"/p?q=%E6%89%8B%E6%9C%BA&ie=utf8", "q", "\xCA\xD6\xBB\xFA"},
        {"/p?q=%E6%89%8B&ie=UTF-8", "q", "\xCA\xD6"},
        {"/p?a=1#frag=2", "frag", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        const QueryParams q = QueryParams::FromTarget(c.target);
        EXPECT_EQ(q.Get(c.name), c.value);
    }
    // a form body reads like a query, and follows it
    QueryParams merged = QueryParams::FromTarget("/router/rest?a=1&sign=S");
    merged.Append(QueryParams::FromForm("q=%E6%89%8B+x&a=2&path=/x?y"));
    ASSERT_EQ(merged.All().size(), 5u);
    EXPECT_EQ(merged.Get("q"), "\xE6\x89\x8B x") << "no ie=utf8: the bytes as sent";
    EXPECT_EQ(merged.Get("a"), "1");
    EXPECT_EQ(merged.Get("path"), "/x?y");
    const QueryParams q = QueryParams::FromTarget("/p?&a=1&&b=%41");
    ASSERT_EQ(q.All().size(), 2u);
    EXPECT_EQ(q.Raw(), "&a=1&&b=%41");
    EXPECT_EQ(q.Get("b"), "A");
    EXPECT_FALSE(q.Has("c"));
}

TEST(MarketItemSearch, MatchingStaysOnGbkCharacterBoundaries)
{
    const std::string phone = Utf8ToGbk("手机"); // CA D6 BB FA
    const struct {
        std::string haystack, needle;
        bool found;
    } cases[] = {
        {phone, phone, true},
        {phone, "\xD6\xBB", false}, // the bytes in the middle straddle two characters
        {Utf8ToGbk("新款iPhone5手机壳"), "iphone5", true},
        {Utf8ToGbk("新款iPhone5手机壳"), "IPHONE5", true},
        {"\x81\x41", "A", false}, // 丄's second byte is 'A'
        {"\x81\x41" "A", "A", true},
        {Utf8ToGbk("淺色"), Utf8ToGbk("淺"), true},
        {Utf8ToGbk("淺色"), "\\", false},
        {"abc", "", true},
        {"", "a", false},
        {Utf8ToGbk("手"), phone, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(GbkToUtf8(c.haystack) + " / " + GbkToUtf8(c.needle));
        EXPECT_EQ(ItemSearch::ContainsGbk(c.haystack, c.needle), c.found);
    }
}

TEST(MarketItemSearch, PriceBoundsAreNumbersOrNothing)
{
    const struct {
        const char* text;
        bool number;
        double value;
    } cases[] = {
        {"10", true, 10},     {" 10 ", true, 10}, {"12.5", true, 12.5}, {"-3", true, -3},     {"0", true, 0},
        {"1 0", false, 0},    {"abc", false, 0},  {"", false, 0},       {"nan", false, 0},    {"1e3", false, 0},
        {"0x10", false, 0},   {"10元", false, 0}, {"1.2.3", false, 0},  {"100000000", true, 1e8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        double v = -1;
        EXPECT_EQ(ItemSearch::ParsePrice(c.text, v), c.number);
        if (c.number) {
            EXPECT_DOUBLE_EQ(v, c.value);
        }
    }
}

TEST(MarketItemSearch, FilterReadsTheProgramsQuery)
{
    const Catalogue catalogue = Catalogue::Generate(1, Catalogue::kMinItems);
    const QueryParams q = QueryParams::FromTarget(
        "/itemlist/default.htm?&cat=16&ex_q=%BF%C7&nick=ab&viewIndex=1&as=1&loc=%B1%B1%BE%A9&commend=all&atype=b"
        "&style=list&q=%CA%D6%BB%FA%20x+-%BF%C7&same_info=1&tid=0&isnew=2&filter=reserve_price%5Bab%2C99.5%5D"
        "&json=on&tid=0&data-key=sort&data-value=biz30day&module=sortList&json=on&_ksTS=1364476473257_654"
        "&ver=probeta");
    const SearchFilter f = ItemSearch::FilterFromQuery(q, catalogue, -1);
    EXPECT_EQ(f.words, (std::vector<std::string>{Utf8ToGbk("手机"), "x"}));
    EXPECT_EQ(f.excluded, (std::vector<std::string>{Utf8ToGbk("壳"), Utf8ToGbk("壳")}));
    EXPECT_EQ(f.locations, (std::vector<std::string>{Utf8ToGbk("北京")}));
    EXPECT_EQ(f.nick, "ab");
    EXPECT_EQ(f.category, catalogue.FindCategory("16"));
    EXPECT_FALSE(f.priceLow.has_value());
    ASSERT_TRUE(f.priceHigh.has_value());
    EXPECT_DOUBLE_EQ(*f.priceHigh, 99.5);
}

TEST(MarketFaultPlan, ReadsRulesAndRefusesBadOnes)
{
    const struct {
        const char* ruleText;
        bool ok;
        FaultKind kind;
        std::int64_t arg;
    } cases[] = {
        {"/set/config.jpg=status:500", true, FaultKind::Status, 500},
        {"/a=stall", true, FaultKind::Stall, 60},
        {"/a=stall:5", true, FaultKind::Stall, 5},
        {"/a=stall:61", false, FaultKind::Stall, 0},
        {"/a=cut", true, FaultKind::Cut, 0},
        {"/a=malformed", true, FaultKind::Malformed, 0},
        {"/a=nonstring", true, FaultKind::NonString, 0},
        {"/a=unsafe-name", true, FaultKind::UnsafeName, 0},
        {"/a=size:0", true, FaultKind::Size, 0},
        {"/a=size:1048576", true, FaultKind::Size, 1048576},
        {"/a=delay:250", true, FaultKind::Delay, 250},
        {"/router/rest=platform-error:11", true, FaultKind::PlatformError, 11},
        {"/router/rest=platform-error:15", true, FaultKind::PlatformError, 15},
        {"/router/rest=platform-error", false, FaultKind::PlatformError, 0},
        {"/router/rest=platform-error:0", false, FaultKind::PlatformError, 0},
        {"/router/rest=platform-error:50002", true, FaultKind::PlatformError, 50002},
        {"/router/rest=rate-limit:30", true, FaultKind::RateLimit, 30},
        {"/router/rest=rate-limit", false, FaultKind::RateLimit, 0},
        {"*=cut", true, FaultKind::Cut, 0},
        {"/a=stall-ms:300", true, FaultKind::StallMs, 300},
        {"/a=stall-ms", false, FaultKind::StallMs, 0},
        {"/a=stall-ms:60001", false, FaultKind::StallMs, 0},
        {"/a=elements:30", true, FaultKind::Elements, 30},
        {"/a=elements:0", false, FaultKind::Elements, 0},
        {"/a=elements:257", false, FaultKind::Elements, 0},
        {"/a=redirect-nowhere", true, FaultKind::RedirectNowhere, 0},
        {"/a=redirect-nowhere:1", false, FaultKind::RedirectNowhere, 0},
        {"/a=huge-picture", true, FaultKind::HugePicture, 5000},
        {"/a=huge-picture:65535", true, FaultKind::HugePicture, 65535},
        {"/a=huge-picture:65536", false, FaultKind::HugePicture, 0},
        {"/a=endless", true, FaultKind::Endless, 0},
        {"/a=huge-png", true, FaultKind::HugePng, 4000},
        {"/a=huge-png:8001", false, FaultKind::HugePng, 0},
        {"/a=endless:5", false, FaultKind::Endless, 0},
        {"/a=drip", true, FaultKind::Drip, 1000},
        {"/a=drip:50", true, FaultKind::Drip, 50},
        {"/a=drip:0", false, FaultKind::Drip, 0},
        {"/a=stream:30000000", true, FaultKind::Stream, 30000000},
        {"/a=stream", false, FaultKind::Stream, 0},
        {"/a=size", false, FaultKind::Size, 0},
        {"/a=size:-1", false, FaultKind::Size, 0},
        {"/a=status:99", false, FaultKind::Status, 0},
        {"/a=status:abc", false, FaultKind::Status, 0},
        {"/a=cut:1", false, FaultKind::Cut, 0},
        {"/a=boom", false, FaultKind::Cut, 0},
        {"a=cut", false, FaultKind::Cut, 0},
        {"/a", false, FaultKind::Cut, 0},
        {"=cut", false, FaultKind::Cut, 0},
        {"/a?s=40=status:500", true, FaultKind::Status, 500},
        {"/a=status:500@2", true, FaultKind::Status, 500},
        {"/a?page_no=2=cut@1", true, FaultKind::Cut, 0},
        {"/a?=status:500", false, FaultKind::Status, 0},
        {"/a?s=status:500", false, FaultKind::Status, 0}, // a condition without its value
        {"/a=status:500@0", false, FaultKind::Status, 0},
        {"/a=status:500@x", false, FaultKind::Status, 0},
        {"?s=1=cut", false, FaultKind::Cut, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ruleText);
        FaultPlan plan;
        std::string error;
        ASSERT_EQ(plan.Add(c.ruleText, error), c.ok) << error;
        if (!c.ok) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        const std::string ruleText = c.ruleText;
        const std::string target = ruleText[0] == '*' ? "/anything" : ruleText.substr(0, ruleText.rfind('='));
        const std::string path = target.substr(0, target.find('?'));
        const QueryParams query = QueryParams::FromTarget(target);
        const FaultRule* rule = plan.Find(path, &query);
        ASSERT_NE(rule, nullptr);
        EXPECT_EQ(rule->kind, c.kind);
        EXPECT_EQ(rule->arg, c.arg);
    }
    FaultPlan plan;
    std::string error;
    ASSERT_TRUE(plan.Add("/bao/*=status:404", error));
    ASSERT_TRUE(plan.Add("/bao/uploaded/x.jpg=cut", error));
    ASSERT_NE(plan.Find("/bao/uploaded/x.jpg"), nullptr);
    EXPECT_EQ(plan.Find("/bao/uploaded/x.jpg")->kind, FaultKind::Status) << "the first matching rule wins";
    EXPECT_EQ(plan.Find("/imgextra/x.jpg"), nullptr);
    EXPECT_EQ(plan.Find("/ba"), nullptr);
    // a leading '*': every path that ends so (the larger thumbnails, not the ordinary ones)
    FaultPlan larger;
    ASSERT_TRUE(larger.Add("*_460x460.jpg=status:404", error));
    EXPECT_NE(larger.Find("/bao/uploaded/i1/T1x.jpg_460x460.jpg"), nullptr);
    EXPECT_EQ(larger.Find("/bao/uploaded/i1/T1x.jpg_220x220.jpg"), nullptr);
    EXPECT_EQ(larger.Find("_460x460.jp"), nullptr);
}

TEST(MarketFaultPlan, ConditionsAndCountsNarrowARule)
{
    FaultPlan plan;
    std::string error;
    ASSERT_TRUE(plan.Add("/list?s=40=status:500@2", error)) << error;
    ASSERT_TRUE(plan.Add("/list=delay:5", error)) << error;
    const QueryParams page2 = QueryParams::FromTarget("/list?q=a&s=40");
    const QueryParams page3 = QueryParams::FromTarget("/list?q=a&s=80");
    QueryParams form = QueryParams::FromTarget("/list?q=a");
    form.Append(QueryParams::FromForm("s=40"));
    const auto kindOf = [&](const QueryParams* q) {
        const FaultRule* rule = plan.Find("/list", q);
        return rule ? rule->kind : FaultKind::Endless;
    };
    EXPECT_EQ(kindOf(&page3), FaultKind::Delay) << "another page: the next rule";
    EXPECT_EQ(kindOf(nullptr), FaultKind::Delay) << "no parameters: no condition holds";
    EXPECT_EQ(kindOf(&page2), FaultKind::Status) << "first of two";
    EXPECT_EQ(kindOf(&form), FaultKind::Status) << "second of two, the value in a form body";
    EXPECT_EQ(kindOf(&page2), FaultKind::Delay) << "used up";
    EXPECT_EQ(kindOf(&page2), FaultKind::Delay);
    // a copied plan shares its counts (the server's options are copied once at start)
    FaultPlan once;
    ASSERT_TRUE(once.Add("/x=cut@1", error));
    const FaultPlan copy = once;
    EXPECT_NE(copy.Find("/x"), nullptr);
    EXPECT_EQ(once.Find("/x"), nullptr);
}

TEST(MarketJsonWriter, GbkTextReadsBackByteForByte)
{
    const std::string texts[] = {
        Utf8ToGbk("淺色錦繡誠信"), // second bytes 0x5C
        "quote \" and backslash \\ and tab \t and nul-free control \x01",
        Utf8ToGbk("手机{}[]\"，。"),
        "",
    };
    GbkJsonWriter w;
    w.BeginObject().Key("list").BeginArray();
    for (const std::string& t : texts)
        w.String(t);
    w.EndArray().Key("n").Number(-42).Key("t").Bool(true).Key("z").Null().Key("o").BeginObject().EndObject();
    w.EndObject();
    Json::Value root;
    Json::Reader reader(Json::Features::all());
    ASSERT_TRUE(reader.parse(w.Text(), root)) << reader.getFormattedErrorMessages();
    ASSERT_EQ(root["list"].size(), std::size(texts));
    for (Json::ArrayIndex i = 0; i < root["list"].size(); ++i)
        EXPECT_EQ(root["list"][i].asString(), texts[i]) << i;
    EXPECT_EQ(root["n"].asInt(), -42);
    EXPECT_TRUE(root["t"].asBool());
    EXPECT_TRUE(root["z"].isNull());
    EXPECT_TRUE(root["o"].isObject());
}

TEST(MarketPictureAddress, ReadsEveryPictureFormAndDerivesTheProgramsThumbnail)
{
    const struct {
        const char* path;
        bool ok;
        const char* code;
        int bucket, size;
    } cases[] = {
        {"/bao/uploaded/i3/T1abcdefgXXXXXXXX.jpg", true, "T1abcdefgXXXXXXXX", 3, 400},
        {"/bao/uploaded/i3/T1abcdefgXXXXXXXX.jpg_220x220.jpg", true, "T1abcdefgXXXXXXXX", 3, 220},
        {"/bao/uploaded/i1/T1a.jpg_60x60.jpg", true, "T1a", 1, 60},
        {"/bao/uploaded/i1/T1a.jpg_460x460.jpg", true, "T1a", 1, 460}, // for high-ratio screens
        {"/imgextra/i2/T1a.jpg_b.jpg", true, "T1a", 2, 220},
        {"/imgextra/i2/T1a.jpg", true, "T1a", 2, 220},
        {"/bao/uploaded/i3/T1a.jpg_220x221.jpg", false, "", 0, 0},
        {"/bao/uploaded/i3/T1a.jpg_8x8.jpg", false, "", 0, 0},
        {"/bao/uploaded/i3/T1a.jpg_900x900.jpg", false, "", 0, 0},
        {"/bao/uploaded/i3/T1a.png", false, "", 0, 0},
        {"/bao/uploaded/ix/T1a.jpg", false, "", 0, 0},
        {"/bao/uploaded/i3/.jpg", false, "", 0, 0},
        {"/imgextra/i2/T1a.jpg_c.jpg", false, "", 0, 0},
        {"/other/i3/T1a.jpg", false, "", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::string code;
        int bucket = 0, size = 0;
        ASSERT_EQ(PictureAddress::Parse(c.path, code, bucket, size), c.ok);
        if (c.ok) {
            EXPECT_EQ(code, c.code);
            EXPECT_EQ(bucket, c.bucket);
            EXPECT_EQ(size, c.size);
        }
    }
    const Catalogue catalogue = Catalogue::Generate(3, Catalogue::kMinItems);
    for (const CatalogueItem& item : catalogue.Items()) {
        CTBRecord r;
        r.SetValue(CTBRecord::OriginalImage, PictureAddress::Original("h:1", item));
        r.DeriveThumbnail();
        ASSERT_EQ(r.thumbUrl, PictureAddress::Thumbnail("h:1", item));
    }
}

// Everything an answer can show of a catalogue, as one text.
std::string Fingerprint(const Catalogue& c)
{
    std::string text;
    for (const CatalogueCategory& cat : c.Categories())
        text += cat.name + cat.cat + cat.market + "\n";
    for (const CatalogueSeller& s : c.Sellers())
        text += s.nick + s.location + std::to_string(s.ratesum) + (s.mall ? "M" : "-") + "\n";
    for (const CatalogueItem& i : c.Items())
        text += i.idText + i.title + i.price + i.ship + i.salesText + i.pictureCode + std::to_string(i.leaf) + "/" +
                std::to_string(i.seller) + "/" + std::to_string(i.hue) + "\n";
    for (int i : c.SalesOrder())
        text += std::to_string(i) + ",";
    for (const std::string& n : c.ExcludedNicks())
        text += n;
    return text;
}

TEST(MarketCatalogue, SameSeedSameCatalogueOtherSeedAnother)
{
    const std::string a = Fingerprint(Catalogue::Generate(5, 2000));
    EXPECT_EQ(a, Fingerprint(Catalogue::Generate(5, 2000)));
    EXPECT_NE(a, Fingerprint(Catalogue::Generate(6, 2000)));
    EXPECT_NE(a, Fingerprint(Catalogue::Generate(5, 2500)));
}

TEST(MarketCatalogue, AboutAThirdOfThePricesMoveFromOneDayToTheNext)
{
    const Catalogue c = Catalogue::Generate(5, 2000);
    const Catalogue same = Catalogue::Generate(5, 2000);
    const Catalogue other = Catalogue::Generate(6, 2000);
    const std::int64_t today = 20796;
    for (std::int64_t day = today; day < today + 5; ++day) {
        int moved = 0;
        for (const CatalogueItem& item : c.Items()) {
            const std::int64_t price = c.PriceOn(item, day);
            EXPECT_EQ(price, same.PriceOn(same.Items()[static_cast<std::size_t>(&item - c.Items().data())], day));
            EXPECT_EQ(price % 100, item.priceCents % 100) << "the cents stay";
            EXPECT_GE(price, item.priceCents * 70 / 100);
            EXPECT_LE(price, item.priceCents * 116 / 100 + 100);
            moved += price != c.PriceOn(item, day - 1);
        }
        EXPECT_GT(moved, 2000 * 27 / 100) << day;
        EXPECT_LT(moved, 2000 * 39 / 100) << day;
    }
    // another seed moves the same item otherwise
    int differ = 0;
    for (std::size_t i = 0; i < 200; ++i)
        differ += c.PriceOn(c.Items()[i], today) != other.PriceOn(c.Items()[i], today);
    EXPECT_GT(differ, 150);
}

TEST(MarketCatalogue, HoldsWhatTheProgramsFeaturesNeed)
{
    for (std::uint64_t seed : {1ULL, 20130328ULL, 987654321ULL}) {
        SCOPED_TRACE(seed);
        const Catalogue c = Catalogue::Generate(seed, 2000);
        ASSERT_EQ(c.Items().size(), 2000u);
        std::set<std::string> ids, codes;
        std::map<int, int> perLeaf, perSeller;
        std::size_t mall = 0;
        for (const CatalogueItem& i : c.Items()) {
            EXPECT_TRUE(ids.insert(i.idText).second);
            EXPECT_TRUE(codes.insert(i.pictureCode).second);
            EXPECT_EQ(c.Categories()[static_cast<std::size_t>(i.leaf)].level, 3);
            EXPECT_EQ(Utf8ToGbk(GbkToUtf8(i.title)), i.title);
            EXPECT_EQ(i.title.find('?'), std::string::npos) << i.titleUtf8;
            ++perLeaf[i.leaf];
            ++perSeller[i.seller];
            mall += c.IsMall(i);
        }
        for (std::size_t k = 0; k < c.Categories().size(); ++k)
            if (c.Categories()[k].level == 3) {
                EXPECT_GT(perLeaf[static_cast<int>(k)], 0) << GbkToUtf8(c.Categories()[k].name);
            }
        EXPECT_GT(mall, c.Items().size() / 8);
        EXPECT_LT(mall, c.Items().size() / 2);
        EXPECT_GE(c.Sellers().size(), 200u);
        for (std::size_t s = 0; s < c.Sellers().size(); ++s) {
            EXPECT_GT(perSeller[static_cast<int>(s)], 0);
            EXPECT_GE(c.Sellers()[s].ratesum, 1);
            EXPECT_LE(c.Sellers()[s].ratesum, 20);
        }
        EXPECT_EQ(c.Sellers()[0].nick, yfx::text::ShopNick());
        EXPECT_GE(perSeller[0], 40);
        ASSERT_EQ(c.ExcludedNicks().size(), 3u);
        for (const std::string& nick : c.ExcludedNicks()) {
            EXPECT_NE(nick, yfx::text::ShopNick());
            int items = 0;
            for (std::size_t s = 0; s < c.Sellers().size(); ++s)
                if (c.Sellers()[s].nick == nick)
                    items = perSeller[static_cast<int>(s)];
            EXPECT_GT(items, 0);
        }
    }
}

TEST(MarketGatewaySign, MatchesTheDocumentedSignText)
{
    // printf '%s' 'secretapp_keykfieldsclick_urlsecret' | md5sum | tr a-f A-F
    EXPECT_EQ(OpenPlatformGateway::Sign({{"fields", "click_url"}, {"app_key", "k"}}, "secret"),
              "42998563970C196D2ABB5391906CC012");
    // printf '%s' 'app_keykv2.0' | md5sum | tr a-f A-F
    EXPECT_EQ(OpenPlatformGateway::Sign({{"v", "2.0"}, {"app_key", "k"}}, ""), "F7995D579CC6FEE6FABC6773286476F1");
}

TEST(MarketMaterialGateway, SignsTheWorkedExamplesWithEveryMethod)
{
    const std::vector<std::pair<std::string, std::string>> example = {
        {"method", "taobao.tbk.dg.material.optional.upgrade"}, {"app_key", "12345678"},
        {"timestamp", "2024-10-01 12:00:00"}, {"v", "2.0"}, {"format", "json"}, {"simplify", "true"},
        {"partner_id", "new_go_sdk_20240929"}, {"adzone_id", "123456789"}, {"q", "手机壳"},
        {"page_no", "1"}, {"page_size", "20"}};
    const auto sign = [&](const char* method) {
        auto params = example;
        params.emplace_back("sign_method", method);
        return MaterialGateway::Sign(params, "helloworld", method);
    };
    EXPECT_EQ(sign("md5"), "CBFE6EF8F101C893451616D20B240E5A");
    EXPECT_EQ(sign("hmac"), "53C570EFED0A3D347570CC0E64A709D7");
    EXPECT_EQ(sign("hmac-sha256"), "3B2A18D9191A9EB34AF803431ACAEB4D0ABF561461E774707379420DE4683699");
    EXPECT_EQ(sign("sha1"), "");
}

TEST(MarketMaterialGateway, TimestampsAreReadAsGmt8)
{
    std::time_t when = 0;
    ASSERT_TRUE(MaterialGateway::ParseGmt8("2024-10-01 12:00:00", when));
    EXPECT_EQ(when, 1727755200); // 04:00:00 UTC
    for (const char* bad : {"", "2024-10-01T12:00:00", "2024-10-01 12:00", "2024-13-01 12:00:00", "yesterday",
                            "2024-10-01 24:00:00"})
        EXPECT_FALSE(MaterialGateway::ParseGmt8(bad, when)) << bad;
}

TEST(MarketMaterialGateway, ItemsHaveNewStyleIdsAndDeterministicCoupons)
{
    const Catalogue c = Catalogue::Generate(20130328, 400);
    const ServerOptions options;
    const MaterialGateway gateway(c, options);
    EXPECT_EQ(gateway.AdzoneId(), "30000003");
    std::set<std::string> ids;
    int coupons = 0;
    for (const CatalogueItem& item : c.Items()) {
        const std::string id = MaterialGateway::ItemId(item);
        EXPECT_EQ(id.find_first_not_of("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz-"),
                  std::string::npos);
        EXPECT_NE(id.find('-'), std::string::npos);
        EXPECT_EQ(gateway.FindByItemId(id), &item);
        EXPECT_TRUE(ids.insert(id).second);
        const ItemPromotion p = MaterialGateway::PromotionOf(item);
        EXPECT_EQ(p.finalCents, item.priceCents - p.couponCents - p.otherCents);
        EXPECT_GT(p.finalCents, 0);
        EXPECT_EQ(p.couponCents % 100, 0) << "coupons of whole yuan";
        EXPECT_LE(p.couponCents * 4, item.priceCents);
        coupons += p.couponCents > 0;
    }
    EXPECT_GT(coupons, 100);
    EXPECT_LT(coupons, 300);
    EXPECT_EQ(gateway.FindByItemId(c.Items()[0].idText), nullptr) << "an old numeric id";
    EXPECT_EQ(gateway.FindByItemId("x-1"), nullptr);
    EXPECT_EQ(gateway.FindByItemId(""), nullptr);
}

} // namespace
