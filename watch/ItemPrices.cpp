#include "watch/ItemPrices.h"

#include "market/JsonText.h"
#include "store/Sighting.h"

namespace yfx::watch {

namespace {

using yfx::json::Member;
using yfx::json::MemberText;

// A list in either shape: the array itself, or the first array inside a wrapper object.
const Json::Value& List(const Json::Value& value)
{
    static const Json::Value empty(Json::arrayValue);
    if (value.isArray())
        return value;
    if (value.isObject())
        for (auto it = value.begin(); it != value.end(); ++it)
            if (it->isArray())
                return *it;
    return empty;
}

std::optional<std::int64_t> Cents(const yfx::json::Document& doc, const Json::Value& object, const char* key)
{
    const std::string text = MemberText(doc, object, key);
    return text.empty() ? std::nullopt : store::ParseCents(text);
}

} // namespace

std::vector<ItemPrice> ReadItemPrices(const std::string& text)
{
    std::vector<ItemPrice> out;
    try {
        yfx::json::Document doc;
        if (!yfx::json::Parse(text, doc) || !doc.root.isObject())
            return out;
        const Json::Value* result = &doc.root;
        const Json::Value& wrapped = Member(doc.root, "tbk_item_info_upgrade_get_response");
        if (wrapped.isObject())
            result = &wrapped;
        const Json::Value& list = List(Member(*result, "results"));
        for (Json::ArrayIndex i = 0; i < list.size() && out.size() < kMaxItemPrices; ++i) {
            const Json::Value& element = list[i];
            if (!element.isObject())
                continue;
            const Json::Value& basic = Member(element, "item_basic_info");
            const Json::Value& price = Member(element, "price_promotion_info");
            ItemPrice p;
            p.itemId = MemberText(doc, element, "item_id");
            p.askedId = MemberText(doc, element, "input_item_iid");
            if (p.askedId.empty())
                p.askedId = p.itemId;
            p.title = MemberText(doc, basic, "title");
            p.picture = MemberText(doc, basic, "pict_url");
            if (p.picture.rfind("//", 0) == 0)
                p.picture.insert(0, "https:");
            p.price = Cents(doc, price, "zk_final_price");
            p.finalPrice = Cents(doc, price, "final_promotion_price");
            const Json::Value& path = List(Member(price, "final_promotion_path_list"));
            for (Json::ArrayIndex k = 0; k < path.size(); ++k)
                if (MemberText(doc, path[k], "promotion_title") == "商品券") {
                    p.coupon = Cents(doc, path[k], "promotion_fee");
                    break;
                }
            const std::string volume = MemberText(doc, basic, "volume");
            if (!volume.empty())
                p.sales = store::ParseCount(volume);
            p.freeShipping = MemberText(doc, basic, "free_shipment") == "true";
            out.push_back(std::move(p));
        }
    } catch (...) {
        out.clear(); // nothing above should throw; whatever did, nothing is read
    }
    return out;
}

} // namespace yfx::watch
