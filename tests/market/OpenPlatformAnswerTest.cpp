// Reading the open platform's answers into records, and the filters applied after them.
#include "market/OpenPlatformAnswer.h"
#include "market/Gbk.h"
#include "market/Texts.h"

#include <gtest/gtest.h>

namespace {

// A query with only the named fields set.
SearchQuery With(std::initializer_list<std::pair<std::string SearchQuery::*, std::string>> fields)
{
    SearchQuery q;
    for (const auto& [member, value] : fields)
        q.*member = value;
    return q;
}

using yfx::GbkToUtf8;
using yfx::Utf8ToGbk;

// Three items as the platform sends them with simplify=true: a full one with a coupon and
// protocol-relative addresses, one with only small_images and click_url, one nearly empty.
const std::string kSimplified = R"({"total_results":1234,"request_id":"r1","result_list":[
 {"item_id":"aB3-xY9","item_basic_info":{"title":"夏季 T恤😀","pict_url":"//img.alicdn.com/i1/p.jpg",
   "white_image":"//img.alicdn.com/i1/w.png","small_images":["https://img.alicdn.com/i1/s.jpg"],
   "seller_id":2200000000000123,"shop_title":"青禾小货郎","volume":1523,"real_post_fee":"0.00","provcity":"杭州"},
  "price_promotion_info":{"reserve_price":"99.00","zk_final_price":"59.90","final_promotion_price":"49.90",
   "final_promotion_path_list":[{"promotion_title":"官方立减","promotion_fee":"1"},
                                {"promotion_title":"商品券","promotion_fee":"10","promotion_desc":"满50减10"}]},
  "publish_info":{"click_url":"//s.click.taobao.com/t?e=1","coupon_share_url":"//uland.taobao.com/coupon?e=2"}},
 {"item_id":"Zz-1","item_basic_info":{"title":"b","pict_url":"https://img/b.jpg","small_images":["//img/b2.jpg","x"],
   "shop_title":"s","volume":"7","real_post_fee":"6.00"},
  "price_promotion_info":{"zk_final_price":"12.5"},"publish_info":{"click_url":"https://s.click/b"}},
 {"item_id":"only-id"}
]})";

// The same answer without simplify: under the method's response, every list wrapped.
const std::string kWrapped =
    R"({"tbk_dg_material_optional_upgrade_response":{"total_results":1234,"request_id":"r1",
 "result_list":{"map_data":[
 {"item_id":"aB3-xY9","item_basic_info":{"title":"夏季 T恤😀","pict_url":"//img.alicdn.com/i1/p.jpg",
   "white_image":"//img.alicdn.com/i1/w.png","small_images":{"string":["https://img.alicdn.com/i1/s.jpg"]},
   "seller_id":2200000000000123,"shop_title":"青禾小货郎","volume":1523,"real_post_fee":"0.00","provcity":"杭州"},
  "price_promotion_info":{"reserve_price":"99.00","zk_final_price":"59.90","final_promotion_price":"49.90",
   "final_promotion_path_list":{"final_promotion_path_map_data":[{"promotion_title":"官方立减","promotion_fee":"1"},
                                {"promotion_title":"商品券","promotion_fee":"10","promotion_desc":"满50减10"}]}},
  "publish_info":{"click_url":"//s.click.taobao.com/t?e=1","coupon_share_url":"//uland.taobao.com/coupon?e=2"}},
 {"item_id":"Zz-1","item_basic_info":{"title":"b","pict_url":"https://img/b.jpg",
   "small_images":{"string":["//img/b2.jpg","x"]},"shop_title":"s","volume":"7","real_post_fee":"6.00"},
  "price_promotion_info":{"zk_final_price":"12.5"},"publish_info":{"click_url":"https://s.click/b"}},
 {"item_id":"only-id"}
]}}})";

// Every value of a record, as UTF-8, for comparing and printing.
std::vector<std::string> Values(const CTBRecord& r)
{
    std::vector<std::string> v;
    for (int f = 0; f < CTBRecord::FieldCount; ++f)
        v.push_back(GbkToUtf8(r.Value(f)));
    v.push_back(r.thumbUrl);
    v.push_back(r.thumbFileName);
    v.push_back(GbkToUtf8(r.couponFee));
    v.push_back(GbkToUtf8(r.finalPrice));
    v.push_back(r.source == ResultSource::OpenPlatform ? "open" : "list");
    v.push_back(r.sellerId);
    return v;
}

MaterialAnswer Read(const std::string& text)
{
    MaterialAnswer a;
    a.message = "stale";
    a.records.resize(3);
    ParseMaterialAnswer(text, a);
    return a;
}

TEST(OpenPlatformAnswer, ItemsReadIntoRecords)
{
    const MaterialAnswer a = Read(kSimplified);
    ASSERT_EQ(a.outcome, AnswerOutcome::Items);
    EXPECT_EQ(a.message, "");
    EXPECT_EQ(a.totalResults, "1234");
    EXPECT_EQ(a.received, 3u);
    ASSERT_EQ(a.records.size(), 3u);
    EXPECT_EQ(Values(a.records[0]),
              (std::vector<std::string>{"https://img.alicdn.com/i1/p.jpg", "https://img.alicdn.com/i1/w.png",
                                        "夏季 T恤😀", "59.90", "0.00", "1523", "青禾小货郎", "aB3-xY9",
                                        "https://uland.taobao.com/coupon?e=2", "",
                                        "https://img.alicdn.com/i1/p.jpg_220x220.jpg", "p.jpg_220x220.jpg",
                                        "10", "49.90", "open", "2200000000000123"}));
    // GB18030 in the record: the GBK bytes of the shop title, the emoji kept in four bytes
    EXPECT_EQ(a.records[0].nick(), Utf8ToGbk("青禾小货郎"));
    EXPECT_NE(a.records[0].tip().find("\x94\x39\xFC\x36"), std::string::npos);
    EXPECT_EQ(Values(a.records[1]),
              (std::vector<std::string>{"https://img/b.jpg", "https://img/b2.jpg", "b", "12.5", "6.00", "7",
                                        "s", "Zz-1", "https://s.click/b", "", "https://img/b.jpg_220x220.jpg",
                                        "b.jpg_220x220.jpg", "", "", "open", ""}));
    EXPECT_EQ(Values(a.records[2]), (std::vector<std::string>{"", "", "", "", "", "", "", "only-id", "", "",
                                                              "", "", "", "", "open", ""}));
}

TEST(OpenPlatformAnswer, BothShapesGiveTheSameRecords)
{
    const MaterialAnswer flat = Read(kSimplified);
    const MaterialAnswer wrapped = Read(kWrapped);
    ASSERT_EQ(wrapped.outcome, AnswerOutcome::Items);
    EXPECT_EQ(wrapped.totalResults, flat.totalResults);
    ASSERT_EQ(wrapped.records.size(), flat.records.size());
    for (std::size_t i = 0; i < flat.records.size(); ++i)
        EXPECT_EQ(Values(wrapped.records[i]), Values(flat.records[i])) << i;
}

TEST(OpenPlatformAnswer, MissingMembersAndWrongTypesReadAsEmpty)
{
    const std::string text = R"({"result_list":[
      {"item_id":{"a":1},"item_basic_info":{"title":["t"],"pict_url":true,"white_image":null,"small_images":"//x/y.jpg",
        "shop_title":{"n":"s"},"volume":[1],"real_post_fee":false},
       "price_promotion_info":{"zk_final_price":{"value":"1.00"},"final_promotion_price":[],
        "final_promotion_path_list":["商品券",{"promotion_title":"商品券","promotion_fee":{"v":3}},{"promotion_title":"商品券","promotion_fee":"4"}]},
       "publish_info":{"coupon_share_url":7,"click_url":"https://c/1"}},
      {"item_basic_info":[{"title":"t"}],"price_promotion_info":"12.00","publish_info":null},
      "not an object", 5, null, [],
      {"item_id":12345678901234567890,"item_basic_info":{"title":12.30,"volume":"2","seller_id":99999999999999999999},
       "price_promotion_info":{"final_promotion_path_list":{"wrapped":"not a list"}}},
      {"item_basic_info":{"seller_id":"-12"}}
    ]})";
    const MaterialAnswer a = Read(text);
    ASSERT_EQ(a.outcome, AnswerOutcome::Items);
    ASSERT_EQ(a.records.size(), 4u) << "elements that are not objects give no record";
    EXPECT_EQ(a.received, 8u) << "but count as received";
    EXPECT_EQ(Values(a.records[0]),
              (std::vector<std::string>{"", "", "", "", "", "", "", "", "7", "", "", "", "", "", "open", ""}))
        << "a number is read as its text: the coupon address 7, later refused as no web address";
    EXPECT_EQ(Values(a.records[1]),
              (std::vector<std::string>{"", "", "", "", "", "", "", "", "", "", "", "", "", "", "open", ""}));
    // numbers as the server wrote them, never through a double
    EXPECT_EQ(a.records[2].itemId(), "12345678901234567890");
    EXPECT_EQ(a.records[2].sellerId, "99999999999999999999");
    EXPECT_EQ(a.records[3].sellerId, "") << "a seller id is digits only";
    EXPECT_EQ(a.records[2].tip(), "12.30");
    EXPECT_EQ(a.records[2].tradeNum(), "2");

    // the first "商品券" entry counts even when its fee cannot be read
    EXPECT_EQ(a.records[0].couponFee, "");
}

TEST(OpenPlatformAnswer, RefusalsReadAsShortTexts)
{
    struct Case {
        std::string text;
        std::string code, subCode, message; // message as UTF-8
    } cases[] = {
        {R"({"error_response":{"code":25,"msg":"Invalid signature","sub_code":"isv.invalid-signature","sub_msg":"签名无效","request_id":"x"}})",
         "25", "isv.invalid-signature",
         "开放平台拒绝了请求：Invalid signature（isv.invalid-signature 签名无效）"},
        {R"({"error_response":{"code":25,"msg":"Invalid signature"}})", "25", "",
         "开放平台拒绝了请求：Invalid signature"},
        {R"({"error_response":{"code":28,"msg":"Missing app key","sub_code":"isv.missing-parameter:app_key"}})",
         "28", "isv.missing-parameter:app_key",
         "开放平台拒绝了请求：Missing app key（isv.missing-parameter:app_key）"},
        {R"({"error_response":{"code":31,"msg":"Invalid timestamp"}})", "31", "",
         "开放平台拒绝了请求：Invalid timestamp"},
        {R"({"error_response":{"code":11,"msg":"Insufficient isv permissions","sub_code":"isv.permission-api-package-limit"}})",
         "11", "isv.permission-api-package-limit",
         "开放平台拒绝了请求：Insufficient isv permissions（isv.permission-api-package-limit）"},
        {R"({"error_response":{"code":"15","msg":"Remote service error","sub_code":"-4003","sub_msg":"请使用升级后的新商品ID"}})",
         "15", "-4003", "开放平台拒绝了请求：Remote service error（-4003 请使用升级后的新商品ID）"},
        // also in the other shape's company, short, or odd
        {R"({"error_response":{"code":15,"msg":"Remote service error","sub_code":"2"},"tbk_dg_material_optional_upgrade_response":{}})",
         "15", "2", "开放平台拒绝了请求：Remote service error（2）"},
        {R"({"error_response":{"code":7}})", "7", "", "开放平台拒绝了请求：错误代码 7"},
        {R"({"error_response":{}})", "", "", "开放平台拒绝了请求：未说明原因"},
        {R"({"error_response":"denied"})", "", "", "开放平台拒绝了请求：未说明原因"},
        {R"({"error_response":{"code":25,"msg":)"
         "\"" +
             std::string(300, 'm') + "\"}}",
         "25", "", "开放平台拒绝了请求：" + std::string(120, 'm')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 80));
        const MaterialAnswer a = Read(c.text);
        EXPECT_EQ(a.outcome, AnswerOutcome::Refused);
        EXPECT_TRUE(a.records.empty());
        EXPECT_EQ(a.error.code, c.code);
        EXPECT_EQ(a.error.subCode, c.subCode);
        EXPECT_EQ(GbkToUtf8(a.message), c.message);
        ItemInfoAnswer info;
        EXPECT_FALSE(ParseItemInfoAnswer(c.text, info));
        EXPECT_EQ(info.outcome, AnswerOutcome::Refused);
        EXPECT_EQ(info.message, a.message);
    }
}

TEST(OpenPlatformAnswer, UnreadableAnswersEndInOrder)
{
    std::string big = R"({"result_list":[],"pad":")";
    big += std::string(kMaxMaterialAnswerBytes, 'x') + "\"}";
    const std::string cases[] = {
        "",
        "<html>502 Bad Gateway</html>",
        "[]",
        "null",
        "42",
        "\"text\"",
        std::string(5000, '['),
        R"({"result_list":[{"item_id":)" + std::string(3000, '[') + "]}",
        big,
        "{\"result_list\":[{\"item_id\":\"a\"", // cut off
    };
    for (const std::string& text : cases) {
        SCOPED_TRACE(text.substr(0, 40));
        const MaterialAnswer a = Read(text);
        EXPECT_EQ(a.outcome, AnswerOutcome::Unreadable);
        EXPECT_TRUE(a.records.empty());
        EXPECT_EQ(a.message, yfx::text::PlatformUnreadable());
        ItemInfoAnswer info;
        EXPECT_FALSE(ParseItemInfoAnswer(text, info));
        EXPECT_EQ(info.outcome, AnswerOutcome::Unreadable);
    }
    // no results at all is an answer with no items
    for (const char* empty : {"{}", R"({"result_list":[]})", R"({"result_list":{"map_data":[]}})",
                              R"({"tbk_dg_material_optional_upgrade_response":{"total_results":0}})"}) {
        const MaterialAnswer a = Read(empty);
        EXPECT_EQ(a.outcome, AnswerOutcome::Items) << empty;
        EXPECT_TRUE(a.records.empty()) << empty;
    }
}

TEST(OpenPlatformAnswer, RecordsKeptAreBounded)
{
    std::string text = R"({"result_list":[)";
    for (int i = 0; i < 700; ++i)
        text += std::string(i ? "," : "") + R"({"item_id":"i)" + std::to_string(i) + "\"}";
    text += "]}";
    const MaterialAnswer a = Read(text);
    ASSERT_EQ(a.records.size(), kMaxMaterialRecords);
    EXPECT_EQ(a.records.back().itemId(), "i599");
}

std::vector<CTBRecord> Records(std::initializer_list<std::tuple<const char*, const char*, const char*>> items)
{
    std::vector<CTBRecord> records;
    for (const auto& [tip, price, nick] : items) {
        CTBRecord r;
        r.SetValue(CTBRecord::Tip, Utf8ToGbk(tip));
        r.SetValue(CTBRecord::CurrentPrice, price);
        r.SetValue(CTBRecord::Nick, Utf8ToGbk(nick));
        r.SetValue(CTBRecord::ItemId, tip);
        records.push_back(r);
    }
    return records;
}

std::vector<std::string> Ids(const std::vector<CTBRecord>& records)
{
    std::vector<std::string> ids;
    for (const CTBRecord& r : records)
        ids.push_back(r.itemId());
    return ids;
}

TEST(OpenPlatformAnswer, FiltersTheInterfaceCannotApply)
{
    auto all = Records({{"Leather Shoe", "10.49", "a"},
                        {"皮鞋", "10.50", "a"},
                        {"帆布鞋", "20.00", "青禾小货郎"},
                        {"canvas 皮带", "20.01", "b"},
                        {"free", "n/a", "b"},
                        {"鞋垫", "", "青禾小货郎"},
                        {"券后鞋", "20.50", "c"}});
    // the last one: 20.50, 19.90 after its coupon (the price the platform's bounds apply to),
    // sold by today's picks' seller under another shop title
    all.back().finalPrice = "19.90";
    all.back().sellerId = "2200000000000888";
    const std::map<std::string, std::string> picksId = {{Utf8ToGbk("青禾小货郎"), "2200000000000888"}};
    struct Case {
        const char* name;
        SearchQuery query;
        std::vector<std::string> kept;
        std::map<std::string, std::string> sellerIds = {};
    } cases[] = {
        {"nothing to apply", {}, {"Leather Shoe", "皮鞋", "帆布鞋", "canvas 皮带", "free", "鞋垫", "券后鞋"}},
        {"one exclusion word",
         With({{&SearchQuery::exclude, Utf8ToGbk("皮")}}),
         {"Leather Shoe", "帆布鞋", "free", "鞋垫", "券后鞋"}},
        {"two words, ASCII without case",
         With({{&SearchQuery::exclude, Utf8ToGbk("LEATHER 带")}}),
         {"皮鞋", "帆布鞋", "free", "鞋垫", "券后鞋"}},
        {"bounds exactly as typed, on the price after promotions",
         With({{&SearchQuery::priceLow, "10.5"}, {&SearchQuery::priceHigh, "20"}}),
         {"皮鞋", "帆布鞋", "券后鞋"}},
        {"low bound only", With({{&SearchQuery::priceLow, "20.005"}}), {"canvas 皮带"}},
        {"bounds not numbers apply nothing",
         With({{&SearchQuery::priceLow, "ten"}, {&SearchQuery::priceHigh, "1 0"}}),
         {"Leather Shoe", "皮鞋", "帆布鞋", "canvas 皮带", "free", "鞋垫", "券后鞋"}},
        {"today's picks by shop title",
         With({{&SearchQuery::cat, "0"}, {&SearchQuery::nick, Utf8ToGbk("青禾小货郎")}}),
         {"帆布鞋", "鞋垫"}},
        {"today's picks by the seller's id where one is given",
         With({{&SearchQuery::cat, "0"}, {&SearchQuery::nick, Utf8ToGbk("青禾小货郎")}}),
         {"券后鞋"},
         picksId},
        {"ids of other sellers leave today's picks by title",
         With({{&SearchQuery::cat, "0"}, {&SearchQuery::nick, Utf8ToGbk("青禾小货郎")}}),
         {"帆布鞋", "鞋垫"},
         {{"a", "1"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<CTBRecord> records = all;
        FilterMaterialRecords(records, c.query, c.sellerIds);
        std::vector<std::string> kept;
        for (const CTBRecord& r : records)
            kept.push_back(GbkToUtf8(r.tip()));
        EXPECT_EQ(kept, c.kept);
    }
    // an exclusion word never matches across a character boundary: D6 BB inside 手机 (CA D6 BB FA)
    auto boundary = Records({{"手机", "1", "a"}});
    SearchQuery q;
    q.exclude = "\xD6\xBB";
    FilterMaterialRecords(boundary, q);
    EXPECT_EQ(boundary.size(), 1u);
}

TEST(OpenPlatformAnswer, ReadingASearchAppliesTheFilters)
{
    SearchQuery q;
    q.exclude = Utf8ToGbk("T恤");
    q.priceHigh = "13";
    MaterialAnswer a;
    ASSERT_TRUE(ReadMaterialSearchAnswer(kSimplified, q, a));
    EXPECT_EQ(Ids(a.records), (std::vector<std::string>{"Zz-1"}));
    EXPECT_FALSE(ReadMaterialSearchAnswer(R"({"error_response":{"code":25}})", q, a));
    EXPECT_EQ(a.outcome, AnswerOutcome::Refused);
}

TEST(OpenPlatformAnswer, ItemDetailsGiveTheCreditLevelInBothShapes)
{
    const std::string flat = R"({"results":[
      {"item_id":"aB3-xY9","input_item_iid":"aB3-xY9","item_basic_info":{"ratesum":12,"title":"t"}},
      {"item_id":"new-1","input_item_iid":"old-1","item_basic_info":{"ratesum":"3"}},
      {"item_id":"none","item_basic_info":{"title":"no level"}},
      {"item_id":"bad","item_basic_info":{"ratesum":{"v":1}}}, "x"]})";
    const std::string wrapped = R"({"tbk_item_info_upgrade_get_response":{"results":{"tbk_item_detail":[
      {"item_id":"aB3-xY9","input_item_iid":"aB3-xY9","item_basic_info":{"ratesum":12,"title":"t"}},
      {"item_id":"new-1","input_item_iid":"old-1","item_basic_info":{"ratesum":"3"}},
      {"item_id":"none","item_basic_info":{"title":"no level"}},
      {"item_id":"bad","item_basic_info":{"ratesum":{"v":1}}}, "x"]}}})";
    const std::map<std::string, std::string> want = {{"aB3-xY9", "12"}, {"new-1", "3"}, {"old-1", "3"}};
    for (const std::string& text : {flat, wrapped}) {
        ItemInfoAnswer info;
        ASSERT_TRUE(ParseItemInfoAnswer(text, info));
        EXPECT_EQ(info.outcome, AnswerOutcome::Items);
        EXPECT_EQ(info.ratesums, want);
        EXPECT_FALSE(info.ratesumWithheld);
    }

    MaterialAnswer a = Read(kSimplified);
    ItemInfoAnswer info;
    ASSERT_TRUE(ParseItemInfoAnswer(flat, info));
    EXPECT_EQ(ApplyRatesums(a.records, info.ratesums), 1u);
    EXPECT_EQ(a.records[0].ratesum(), "12");
    EXPECT_EQ(a.records[1].ratesum(), "");
    EXPECT_EQ(ApplyRatesums(a.records, info.ratesums), 0u) << "nothing changes the second time";
}

TEST(OpenPlatformAnswer, DetailsWithoutAnyCreditLevelSayItIsWithheld)
{
    const struct {
        const char* text;
        bool withheld;
    } cases[] = {
        {R"({"results":[{"item_id":"a","item_basic_info":{"title":"t","volume":3}},{"item_id":"b","item_basic_info":{}}]})", true},
        {R"({"tbk_item_info_upgrade_get_response":{"results":{"tbk_item_detail":[{"item_id":"a","item_basic_info":{"title":"t"}}]}}})", true},
        {R"({"results":[{"item_id":"a","item_basic_info":{"title":"t"}},{"item_id":"b","item_basic_info":{"ratesum":5}}]})", false},
        {R"({"results":[{"item_id":"a","item_basic_info":{"ratesum":""}}]})", false}, // given, if empty
        {R"({"results":[]})", false},                                                 // nothing described
        {R"({"results":[{"item_id":"a"},"x"]})", false},
        {R"({})", false},
    };
    for (const auto& c : cases) {
        ItemInfoAnswer info;
        ASSERT_TRUE(ParseItemInfoAnswer(c.text, info)) << c.text;
        EXPECT_EQ(info.ratesumWithheld, c.withheld) << c.text;
        if (c.withheld)
            EXPECT_TRUE(info.ratesums.empty());
    }
}

TEST(OpenPlatformAnswer, BoundsApplyToThePriceAfterPromotions)
{
    CTBRecord r;
    r.SetValue(CTBRecord::CurrentPrice, "105.00");
    EXPECT_EQ(BoundedPrice(r), "105.00") << "no final price: the price";
    r.finalPrice = "95.00";
    EXPECT_EQ(BoundedPrice(r), "95.00");
    r.finalPrice = "约95";
    EXPECT_EQ(BoundedPrice(r), "105.00") << "a final price that is no number bounds nothing";
}

TEST(OpenPlatformAnswer, ItemIdsGoInBatchesOfTwenty)
{
    std::vector<CTBRecord> records(47);
    for (std::size_t i = 0; i < records.size(); ++i)
        records[i].SetValue(CTBRecord::ItemId, "id" + std::to_string(i % 45));
    records[3].SetValue(CTBRecord::ItemId, "");
    records[4].SetValue(CTBRecord::ItemId, "a,b");
    const auto batches = ItemInfoBatches(records);
    ASSERT_EQ(batches.size(), 3u);
    EXPECT_EQ(batches[0].size(), 20u);
    EXPECT_EQ(batches[1].size(), 20u);
    EXPECT_EQ(batches[2].size(), 3u); // 45 ids, less the empty one and the one with a comma
    EXPECT_EQ(batches[0][3], "id5");
    EXPECT_EQ(batches[2].back(), "id44");
}

} // namespace
