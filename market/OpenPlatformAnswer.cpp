#include "market/OpenPlatformAnswer.h"

#include "market/DecimalAmount.h"
#include "market/Gbk.h"
#include "market/JsonText.h"
#include "market/OpenPlatformRequest.h"
#include "market/Texts.h"

#include <cmath>
#include <set>

namespace {

constexpr std::size_t kMaxRatesums = 600;
constexpr std::size_t kMaxTextPart = 120;

using yfx::json::Document;
using yfx::json::Member;

// A string's UTF-8 bytes or a number's text as sent; "" for anything else.
std::string Scalar(const Document& doc, const Json::Value& value)
{
    if (!value.isString() && !value.isNumeric())
        return {};
    return yfx::json::ReadText(doc, value);
}

// A member as GB18030 text.
std::string Text(const Document& doc, const Json::Value& object, const char* key)
{
    return yfx::Utf8ToGb18030(Scalar(doc, Member(object, key)));
}

// A protocol-relative address gets the https scheme.
std::string Address(std::string url)
{
    if (url.size() > 2 && url[0] == '/' && url[1] == '/')
        url.insert(0, "https:");
    return url;
}

// A list in either shape: the array itself, or the first array inside a wrapper object.
const Json::Value& List(const Json::Value& value)
{
    static const Json::Value empty(Json::arrayValue);
    if (value.isArray())
        return value;
    if (value.isObject()) {
        for (auto it = value.begin(); it != value.end(); ++it)
            if (it->isArray())
                return *it;
    }
    return empty;
}

// The object holding the result: "<name>_response" without simplify, else the root itself.
const Json::Value& ResultOf(const Json::Value& root, const char* responseName)
{
    const Json::Value& wrapped = Member(root, responseName);
    if (wrapped.isObject())
        return wrapped;
    // another method's name: any one "..._response" object that is not the error
    for (auto it = root.begin(); it != root.end(); ++it) {
        const std::string name = it.name();
        if (it->isObject() && name != "error_response" && name.size() > 9 &&
            name.compare(name.size() - 9, 9, "_response") == 0)
            return *it;
    }
    return root;
}

std::string Cut(const std::string& gbk, std::size_t limit)
{
    if (gbk.size() <= limit)
        return gbk;
    std::size_t end = 0;
    while (end < gbk.size()) {
        const std::size_t next = end + (yfx::IsGbkLeadByte(static_cast<unsigned char>(gbk[end])) ? 2 : 1);
        if (next > limit)
            break;
        end = next;
    }
    return gbk.substr(0, end);
}

const std::string& Gbk(const char* utf8Key)
{
    static const std::map<std::string, std::string> texts = {
        {"(", yfx::Utf8ToGbk("（")},
        {")", yfx::Utf8ToGbk("）")},
        {"code", yfx::Utf8ToGbk("错误代码 ")},
        {"none", yfx::Utf8ToGbk("未说明原因")},
    };
    return texts.at(utf8Key);
}

// Shared start of both readers: the size bound, the parse, the refusal. False when there is
// nothing more to read (outcome and message set); true with the result object otherwise.
template <typename Answer> bool ReadRoot(const std::string& text, Document& doc, Answer& answer)
{
    answer.outcome = AnswerOutcome::Unreadable;
    answer.message = yfx::text::PlatformUnreadable();
    if (text.size() > kMaxMaterialAnswerBytes || !yfx::json::Parse(text, doc) || !doc.root.isObject())
        return false;
    if (doc.root.isMember("error_response")) {
        const Json::Value& e = Member(doc.root, "error_response");
        answer.error.code = Text(doc, e, "code");
        answer.error.msg = Text(doc, e, "msg");
        answer.error.subCode = Text(doc, e, "sub_code");
        answer.error.subMsg = Text(doc, e, "sub_msg");
        answer.outcome = AnswerOutcome::Refused;
        answer.message = PlatformErrorText(answer.error);
        return false;
    }
    answer.outcome = AnswerOutcome::Items;
    answer.message.clear();
    return true;
}

void ReadItem(const Document& doc, const Json::Value& element, CTBRecord& r)
{
    const Json::Value& basic = Member(element, "item_basic_info");
    const Json::Value& price = Member(element, "price_promotion_info");
    const Json::Value& publish = Member(element, "publish_info");
    r.Clear();
    r.source = ResultSource::OpenPlatform;
    r.SetValue(CTBRecord::OriginalImage, Address(Text(doc, basic, "pict_url")));
    std::string image = Text(doc, basic, "white_image");
    if (image.empty()) {
        const Json::Value& small = List(Member(basic, "small_images"));
        if (!small.empty())
            image = yfx::Utf8ToGb18030(Scalar(doc, small[0]));
    }
    r.SetValue(CTBRecord::Image, Address(std::move(image)));
    r.SetValue(CTBRecord::Tip, Text(doc, basic, "title"));
    r.SetValue(CTBRecord::CurrentPrice, Text(doc, price, "zk_final_price"));
    r.SetValue(CTBRecord::Ship, Text(doc, basic, "real_post_fee"));
    r.SetValue(CTBRecord::TradeNum, Text(doc, basic, "volume"));
    r.SetValue(CTBRecord::Nick, Text(doc, basic, "shop_title"));
    r.sellerId = Scalar(doc, Member(basic, "seller_id"));
    if (r.sellerId.find_first_not_of("0123456789") != std::string::npos)
        r.sellerId.clear();
    r.SetValue(CTBRecord::ItemId, Text(doc, element, "item_id"));
    std::string href = Text(doc, publish, "coupon_share_url");
    if (href.empty())
        href = Text(doc, publish, "click_url");
    r.SetValue(CTBRecord::Href, Address(std::move(href)));
    const Json::Value& path = List(Member(price, "final_promotion_path_list"));
    for (Json::ArrayIndex i = 0; i < path.size(); ++i) {
        if (Scalar(doc, Member(path[i], "promotion_title")) == "商品券") {
            r.couponFee = Text(doc, path[i], "promotion_fee");
            break;
        }
    }
    r.finalPrice = Text(doc, price, "final_promotion_price");
    r.DeriveThumbnail();
}

bool ParseMaterial(const std::string& text, MaterialAnswer& answer)
{
    Document doc;
    if (!ReadRoot(text, doc, answer))
        return false;
    const Json::Value& result = ResultOf(doc.root, "tbk_dg_material_optional_upgrade_response");
    answer.totalResults = Text(doc, result, "total_results");
    const Json::Value& list = List(Member(result, "result_list"));
    answer.received = list.size();
    answer.records.reserve(std::min<std::size_t>(list.size(), kMaxMaterialRecords));
    CTBRecord work;
    for (Json::ArrayIndex i = 0; i < list.size() && answer.records.size() < kMaxMaterialRecords; ++i) {
        if (!list[i].isObject())
            continue;
        ReadItem(doc, list[i], work);
        answer.records.push_back(work);
    }
    return true;
}

bool ParseItemInfo(const std::string& text, ItemInfoAnswer& answer)
{
    Document doc;
    if (!ReadRoot(text, doc, answer))
        return false;
    const Json::Value& result = ResultOf(doc.root, "tbk_item_info_upgrade_get_response");
    const Json::Value& list = List(Member(result, "results"));
    bool described = false;
    bool levelGiven = false;
    for (Json::ArrayIndex i = 0; i < list.size() && answer.ratesums.size() < kMaxRatesums; ++i) {
        const Json::Value& basic = Member(list[i], "item_basic_info");
        described = described || basic.isObject();
        levelGiven = levelGiven || (basic.isObject() && basic.isMember("ratesum"));
        const std::string ratesum = Text(doc, basic, "ratesum");
        if (ratesum.empty())
            continue;
        for (const char* key : {"item_id", "input_item_iid"}) {
            const std::string id = Text(doc, list[i], key);
            if (!id.empty())
                answer.ratesums[id] = ratesum;
        }
    }
    answer.ratesumWithheld = described && !levelGiven;
    return true;
}

// A plain decimal number ("12", "12.50", ".5"; spaces around allowed) that a double holds.
bool ReadDecimal(const std::string& text, double& value)
{
    yfx::DecimalAmount amount;
    if (!yfx::ReadDecimalAmount(text, amount) || !std::isfinite(amount.value))
        return false;
    value = amount.value;
    return true;
}

std::vector<std::string> Words(const std::string& text)
{
    std::vector<std::string> words;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = std::min(text.find(' ', pos), text.size());
        if (end > pos)
            words.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return words;
}

} // namespace

std::string PlatformErrorText(const PlatformError& error)
{
    std::string text = yfx::text::PlatformRefused();
    if (!error.msg.empty())
        text += Cut(error.msg, kMaxTextPart);
    else if (!error.code.empty())
        text += Gbk("code") + Cut(error.code, kMaxTextPart);
    else
        text += Gbk("none");
    std::string detail = Cut(error.subCode, kMaxTextPart);
    if (!error.subMsg.empty())
        detail += (detail.empty() ? "" : " ") + Cut(error.subMsg, kMaxTextPart);
    if (!detail.empty())
        text += Gbk("(") + detail + Gbk(")");
    return text;
}

bool ParseMaterialAnswer(const std::string& text, MaterialAnswer& answer)
{
    answer = MaterialAnswer{};
    try {
        return ParseMaterial(text, answer);
    } catch (...) {
        // nothing above should throw; whatever did, the answer counts as unreadable
        answer = MaterialAnswer{};
        answer.message = yfx::text::PlatformUnreadable();
        return false;
    }
}

bool ParseItemInfoAnswer(const std::string& text, ItemInfoAnswer& answer)
{
    answer = ItemInfoAnswer{};
    try {
        return ParseItemInfo(text, answer);
    } catch (...) {
        answer = ItemInfoAnswer{};
        answer.message = yfx::text::PlatformUnreadable();
        return false;
    }
}

const std::string& BoundedPrice(const CTBRecord& record)
{
    double value = 0;
    return ReadDecimal(record.finalPrice, value) ? record.finalPrice : record.currentPrice();
}

void FilterMaterialRecords(std::vector<CTBRecord>& records, const SearchQuery& query,
                           const std::map<std::string, std::string>& sellerIds)
{
    const std::vector<std::string> excluded = Words(query.exclude);
    double low = 0, high = 0;
    const bool hasLow = ReadDecimal(query.priceLow, low);
    const bool hasHigh = ReadDecimal(query.priceHigh, high);
    const auto id = query.nick.empty() ? sellerIds.end() : sellerIds.find(query.nick);
    std::erase_if(records, [&](const CTBRecord& r) {
        for (const std::string& word : excluded)
            if (yfx::GbkContains(r.tip(), word))
                return true;
        if (hasLow || hasHigh) {
            double price = 0;
            if (!ReadDecimal(BoundedPrice(r), price) || (hasLow && price < low) || (hasHigh && price > high))
                return true;
        }
        if (query.nick.empty())
            return false;
        return id != sellerIds.end() ? r.sellerId != id->second : r.nick() != query.nick;
    });
}

bool ReadMaterialSearchAnswer(const std::string& text, const SearchQuery& query, MaterialAnswer& answer,
                              const std::map<std::string, std::string>& sellerIds)
{
    if (!ParseMaterialAnswer(text, answer))
        return false;
    FilterMaterialRecords(answer.records, query, sellerIds);
    return true;
}

std::size_t ApplyRatesums(std::vector<CTBRecord>& records, const std::map<std::string, std::string>& ratesums)
{
    std::size_t changed = 0;
    for (CTBRecord& r : records) {
        const auto it = ratesums.find(r.itemId());
        if (it != ratesums.end() && r.ratesum() != it->second) {
            r.SetValue(CTBRecord::Ratesum, it->second);
            ++changed;
        }
    }
    return changed;
}

std::vector<std::vector<std::string>> ItemInfoBatches(const std::vector<CTBRecord>& records)
{
    std::vector<std::vector<std::string>> batches;
    std::set<std::string> seen;
    for (const CTBRecord& r : records) {
        const std::string& id = r.itemId();
        if (id.empty() || id.find(',') != std::string::npos || !seen.insert(id).second)
            continue;
        if (batches.empty() || batches.back().size() == kItemInfoMaxIds)
            batches.emplace_back();
        batches.back().push_back(id);
    }
    return batches;
}
