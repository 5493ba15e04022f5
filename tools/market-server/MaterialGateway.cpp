#include "tools/market-server/MaterialGateway.h"

#include "tools/market-server/Timestamp.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include "market/Gbk.h"
#include "tools/market-server/GbkJsonWriter.h"
#include "tools/market-server/ItemSearch.h"
#include "tools/market-server/PictureAddress.h"

namespace yfx::server {
namespace {

constexpr int kDefaultSkew = 600; // seconds
constexpr std::size_t kMaxInfoIds = 20;
const char kDigits62[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

std::string Base62(std::uint64_t v, std::size_t width)
{
    std::string out;
    do {
        out.insert(out.begin(), kDigits62[v % 62]);
        v /= 62;
    } while (v > 0);
    if (out.size() < width)
        out.insert(0, width - out.size(), '0');
    return out;
}

bool FromBase62(std::string_view text, std::uint64_t& v)
{
    if (text.empty() || text.size() > 10)
        return false;
    v = 0;
    for (char c : text) {
        const char* at = std::find(kDigits62, kDigits62 + 62, c);
        if (at == kDigits62 + 62)
            return false;
        v = v * 62 + static_cast<std::uint64_t>(at - kDigits62);
    }
    return true;
}

std::string Money(std::int64_t cents)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld.%02lld", static_cast<long long>(cents / 100),
                  static_cast<long long>(cents % 100));
    return buf;
}

std::string U8(const std::string& gbk)
{
    return GbkToUtf8(gbk);
}

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        const std::size_t end = std::min(text.find(separator, pos), text.size());
        if (end > pos)
            parts.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return parts;
}

bool AllDigits(const std::string& s)
{
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

int ReadInt(const std::string& text, int low, int high, int fallback)
{
    int v = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size() || v < low || v > high)
        return fallback;
    return v;
}

std::string RequestId(const QueryParams& params)
{
    std::string sign = params.Get("sign").substr(0, 12);
    std::transform(sign.begin(), sign.end(), sign.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return "yfx" + sign;
}

std::string ErrorDocument(int code, const std::string& msg, const std::string& subCode,
                          const std::string& subMsg, const QueryParams& params)
{
    GbkJsonWriter w;
    w.BeginObject().Key("error_response").BeginObject();
    w.Key("code").Number(code);
    w.Member("msg", msg);
    if (!subCode.empty())
        w.Member("sub_code", subCode);
    if (!subMsg.empty())
        w.Member("sub_msg", subMsg);
    w.Member("request_id", RequestId(params));
    w.EndObject().EndObject();
    return w.Text();
}

// A list in the answer's shape: a plain array, or an object wrapping it.
void BeginList(GbkJsonWriter& w, const char* key, const char* wrapper, bool simplify)
{
    w.Key(key);
    if (!simplify)
        w.BeginObject().Key(wrapper);
    w.BeginArray();
}

void EndList(GbkJsonWriter& w, bool simplify)
{
    w.EndArray();
    if (!simplify)
        w.EndObject();
}

std::string Hex(const unsigned char* bytes, unsigned int length)
{
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        char buf[3];
        std::snprintf(buf, sizeof buf, "%02X", bytes[i]);
        hex += buf;
    }
    return hex;
}

} // namespace

MaterialGateway::MaterialGateway(const Catalogue& catalogue, const ServerOptions& options)
    : m_catalogue(catalogue), m_options(options)
{
}

bool MaterialGateway::Serves(const std::string& method)
{
    return method == kSearchMethod || method == kItemInfoMethod;
}

std::string MaterialGateway::Sign(std::vector<std::pair<std::string, std::string>> params,
                                  const std::string& secret, const std::string& signMethod)
{
    std::stable_sort(params.begin(), params.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::string text;
    for (const auto& [name, value] : params)
        text += name + value;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (signMethod == "md5" || signMethod.empty()) {
        const std::string whole = secret + text + secret;
        if (EVP_Digest(whole.data(), whole.size(), digest, &length, EVP_md5(), nullptr) != 1)
            return {};
    } else if (signMethod == "hmac" || signMethod == "hmac-sha256") {
        const EVP_MD* md = signMethod == "hmac" ? EVP_md5() : EVP_sha256();
        if (!HMAC(md, secret.data(), static_cast<int>(secret.size()),
                  reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest, &length))
            return {};
    } else {
        return {};
    }
    return Hex(digest, length);
}

bool MaterialGateway::ParseGmt8(const std::string& text, std::time_t& when)
{
    std::tm tm{};
    if (!ParseTimestampFields(text, tm))
        return false;
    when = timegm(&tm) - 8 * 3600;
    return true;
}

std::string MaterialGateway::ItemId(const CatalogueItem& item)
{
    // a mixed code, then the id itself, both in base 62: "<7>-<7>"
    const std::uint64_t mixed = (item.id * 0x2545F4914F6CDD1DULL) >> 23;
    return Base62(mixed % 3521614606208ULL, 7) + "-" + Base62(item.id, 7); // 62^7
}

const CatalogueItem* MaterialGateway::FindByItemId(const std::string& itemId) const
{
    const std::size_t dash = itemId.find('-');
    std::uint64_t id = 0;
    if (dash == std::string::npos || !FromBase62(std::string_view(itemId).substr(dash + 1), id))
        return nullptr;
    const CatalogueItem* item = m_catalogue.FindItem(std::to_string(id));
    return item && ItemId(*item) == itemId ? item : nullptr;
}

ItemPromotion MaterialGateway::PromotionOf(const CatalogueItem& item)
{
    return PromotionOf(item, item.priceCents);
}

ItemPromotion MaterialGateway::PromotionOf(const CatalogueItem& item, std::int64_t priceCents)
{
    ItemPromotion p;
    if (priceCents >= 1200 && (item.id >> 2) % 2 == 0) {
        for (const std::int64_t fee : {300, 500, 1000, 2000, 3000, 5000, 10000})
            if (fee * 4 <= priceCents)
                p.couponCents = fee;
    }
    if (item.id % 5 == 0 && priceCents - p.couponCents > 200)
        p.otherCents = 100;
    p.finalCents = priceCents - p.couponCents - p.otherCents;
    return p;
}

std::string MaterialGateway::AdzoneId() const
{
    const std::vector<std::string> parts = Split(m_options.pid, '_');
    return parts.size() == 4 && parts[0] == "mm" && AllDigits(parts[3]) ? parts[3] : std::string();
}

std::string MaterialGateway::Answer(const QueryParams& params, const std::string& host,
                                    DocumentVariant variant, int forcedError) const
{
    const std::string method = params.Get("method");
    if (method.empty())
        return ErrorDocument(21, "Missing method", "isv.missing-parameter:method", "缺少方法名参数", params);
    if (!Serves(method))
        return ErrorDocument(22, "Invalid method", "isv.invalid-method", "不存在的方法名", params);
    const std::string appKey = params.Get("app_key");
    if (appKey.empty())
        return ErrorDocument(28, "Missing app key", "isv.missing-parameter:app_key", "缺少AppKey参数",
                             params);
    if (appKey != m_options.appKey)
        return ErrorDocument(29, "Invalid app Key", "isv.appkey-not-exists", "应用不存在", params);
    std::time_t when = 0;
    if (!ParseGmt8(params.Get("timestamp"), when))
        return ErrorDocument(31, "Invalid timestamp", "isv.invalid-parameter:timestamp",
                             "时间戳格式应为yyyy-MM-dd HH:mm:ss", params);
    const long long skew = static_cast<long long>(std::time(nullptr)) - static_cast<long long>(when);
    const long long window = m_options.maxClockSkew > 0 ? m_options.maxClockSkew : kDefaultSkew;
    if (skew > window || -skew > window)
        return ErrorDocument(31, "Invalid timestamp", "isv.invalid-parameter:timestamp",
                             "时间戳与服务器时间相差过大", params);
    const std::string version = params.Get("v");
    if (version != "2.0")
        return ErrorDocument(version.empty() ? 32 : 34,
                             version.empty() ? "Missing version" : "Unsupported version",
                             "isv.invalid-parameter:v", "版本号应为2.0", params);
    const std::string format = params.Get("format");
    if (!format.empty() && format != "json")
        return ErrorDocument(23, "Invalid format", "isv.invalid-parameter:format", "不支持的响应格式",
                             params);
    const std::string sign = params.Get("sign");
    if (sign.empty())
        return ErrorDocument(24, "Missing signature", "isv.missing-parameter:sign", "缺少签名参数", params);
    std::vector<std::pair<std::string, std::string>> signedParams;
    for (const auto& p : params.All())
        if (p.first != "sign")
            signedParams.push_back(p);
    const std::string expected = Sign(signedParams, m_options.secret, params.Get("sign_method"));
    if (expected.empty())
        return ErrorDocument(25, "Invalid signature", "isv.invalid-parameter:sign_method", "不支持的签名方法",
                             params);
    if (expected != sign)
        return ErrorDocument(25, "Invalid signature", "isv.invalid-signature", "签名无效", params);

    if (forcedError == 11)
        return ErrorDocument(11, "Insufficient isv permissions", "isv.permission-api-package-limit",
                             "该应用没有调用此接口的权限", params);
    if (forcedError == 15)
        return ErrorDocument(15, "Remote service error", "isp.remote-service-error",
                             "服务暂时不可用，请稍后再试", params);
    if (forcedError >= kAnnouncedBan)
        return ErrorDocument(7, "App Call Limited", "accesscontrol.limited-by-api-access-count",
                             "This ban will last for " + std::to_string(forcedError - kAnnouncedBan) +
                                 " more seconds",
                             params);
    if (forcedError == 7)
        return ErrorDocument(7, "App Call Limited", "accesscontrol.limited-by-app-access-count",
                             "应用调用次数超限", params);
    if (forcedError == 50002)
        return ErrorDocument(50002, "调用频率高，请稍后再试", "", "", params);
    if (forcedError > 0)
        return ErrorDocument(forcedError, "Platform error", "isp.platform-error", "平台错误", params);

    const bool simplify = params.Get("simplify") == "true";
    return method == kSearchMethod ? Search(params, host, variant, simplify)
                                   : ItemInfo(params, host, variant, simplify);
}

namespace {

struct ItemWriter {
    GbkJsonWriter& w;
    const Catalogue& catalogue;
    const std::string& host;
    bool simplify;
    bool nonString; // some members of the wrong type, by the item's position
    int n;
    std::int64_t day; // the day whose prices are answered
    bool withholdRatesum; // details without the credit level

    void BasicInfo(const CatalogueItem& item, bool details) const
    {
        const CatalogueSeller& seller = catalogue.SellerOf(item);
        const CatalogueCategory& leaf = catalogue.Categories()[static_cast<std::size_t>(item.leaf)];
        const int shape = nonString ? n % 6 : -1;
        if (shape == 1) {
            w.Key("item_basic_info").BeginArray().String(item.titleUtf8).EndArray();
            return;
        }
        w.Key("item_basic_info").BeginObject();
        if (shape == 0)
            w.Key("title").Number(static_cast<std::int64_t>(item.id));
        else
            w.Member("title", item.titleUtf8);
        w.Member("pict_url", PictureAddress::Original(host, item));
        if (item.id % 3 == 0 && shape != 4)
            w.Member("white_image", PictureAddress::Second(host, item));
        if (shape == 4) {
            w.Member("small_images", PictureAddress::Second(host, item));
        } else {
            BeginList(w, "small_images", "string", simplify);
            w.String(PictureAddress::Second(host, item));
            EndList(w, simplify);
        }
        w.Key("user_type").Number(seller.mall ? 1 : 0);
        w.Key("seller_id").Number(MaterialGateway::SellerId(item.seller));
        w.Member("shop_title", U8(seller.nick));
        if (shape == 3)
            w.Key("volume").BeginObject().Key("n").Number(item.sales).EndObject();
        else
            w.Key("volume").Number(item.sales);
        w.Member("provcity", U8(seller.location));
        if (details) {
            if (!withholdRatesum)
                w.Key("ratesum").Number(seller.ratesum);
            w.Key("shop_dsr").Number(47000 + item.seller % 3000);
            w.Key("free_shipment").Bool(item.ship == "0.00");
            w.Member("item_url", "http://" + host + "/item.htm?id=" + item.idText);
        } else {
            w.Member("short_title", item.titleUtf8);
            w.Key("category_id").Number(std::stoll(leaf.cat));
            w.Member("category_name", U8(leaf.name));
            w.Member("level_one_category_name",
                     U8(catalogue.Categories()[static_cast<std::size_t>(leaf.top)].name));
            if (!item.brand.empty())
                w.Member("brand_name", U8(item.brand));
            w.Member("annual_vol", std::to_string(item.sales * 11));
            w.Member("real_post_fee", item.ship);
        }
        w.EndObject();
    }

    void PricePromotion(const CatalogueItem& item) const
    {
        const std::int64_t price = catalogue.PriceOn(item, day);
        const ItemPromotion p = MaterialGateway::PromotionOf(item, price);
        const int shape = nonString ? n % 6 : -1;
        w.Key("price_promotion_info").BeginObject();
        w.Member("reserve_price", Money(item.priceCents + item.priceCents / 4));
        if (shape == 2)
            w.Key("zk_final_price").BeginObject().Member("value", Money(price)).EndObject();
        else
            w.Member("zk_final_price", Money(price));
        w.Member("final_promotion_price", Money(p.finalCents));
        if (p.couponCents > 0 || p.otherCents > 0) {
            BeginList(w, "final_promotion_path_list", "final_promotion_path_map_data", simplify);
            if (p.otherCents > 0) {
                w.BeginObject().Member("promotion_title", "官方立减").Member("promotion_desc", "限时立减1元");
                w.Member("promotion_fee", std::to_string(p.otherCents / 100)).EndObject();
            }
            if (p.couponCents > 0) {
                const std::string fee = std::to_string(p.couponCents / 100);
                w.BeginObject().Member("promotion_title", "商品券");
                w.Member("promotion_desc",
                         "满" + std::to_string(p.couponCents * 2 / 100) + "元减" + fee + "元");
                w.Member("promotion_fee", fee);
                w.Member("promotion_start_time", "1700000000000")
                    .Member("promotion_end_time", "1900000000000");
                w.Member("promotion_id", "yfx" + Base62(item.id ^ 0x5DEECE66DULL, 8)).EndObject();
            }
            EndList(w, simplify);
        }
        if (item.ship == "0.00") {
            BeginList(w, "promotion_tag_list", "promotion_tag_map_data", simplify);
            w.BeginObject().Member("tag_name", "包邮").EndObject();
            EndList(w, simplify);
        }
        w.EndObject();
    }

    // What an application without the scene permission gets: no address to open.
    void PublishInfoWithoutLink(const CatalogueItem& item) const
    {
        w.Key("publish_info").BeginObject();
        w.Member("income_rate", std::to_string(3 + item.id % 17) + ".00");
        w.Member("commission_type", "MKT");
        w.EndObject();
    }

    void PublishInfo(const CatalogueItem& item) const
    {
        const ItemPromotion p = MaterialGateway::PromotionOf(item, catalogue.PriceOn(item, day));
        const std::string click = "http://" + host + "/s.click?e=" + item.idText;
        w.Key("publish_info").BeginObject();
        if (nonString && n % 6 == 5) {
            w.Key("click_url").Number(static_cast<std::int64_t>(item.id));
        } else {
            w.Member("click_url", click);
            if (p.couponCents > 0)
                w.Member("coupon_share_url", click + "&coupon=1");
        }
        w.Member("income_rate", std::to_string(3 + item.id % 17) + ".00");
        w.Member("commission_type", "MKT");
        w.EndObject();
    }
};

} // namespace

std::string MaterialGateway::Search(const QueryParams& params, const std::string& host,
                                    DocumentVariant variant, bool simplify) const
{
    const std::string adzone = params.Get("adzone_id");
    if (adzone.empty())
        return ErrorDocument(40, "Missing required arguments:adzone_id", "isv.missing-parameter:adzone_id",
                             "缺少必选参数adzone_id", params);
    if (!AdzoneId().empty() && adzone != AdzoneId())
        return ErrorDocument(15, "Remote service error", "2", "推广位不属于该应用", params);

    SearchFilter filter;
    for (const std::string& word : Split(Utf8ToGbk(params.Get("q")), ' '))
        filter.words.push_back(word);
    filter.locations = Split(Utf8ToGbk(params.Get("itemloc")), ',');
    std::vector<int> cats;
    const std::vector<std::string> catIds = Split(params.Get("cat"), ',');
    for (const std::string& id : catIds)
        if (const int c = m_catalogue.FindCategory(id); c >= 0)
            cats.push_back(c);
    double low = 0, high = 0;
    const bool hasLow = ItemSearch::ParsePrice(params.Get("start_price"), low);
    const bool hasHigh = ItemSearch::ParsePrice(params.Get("end_price"), high);

    const std::int64_t day = Catalogue::Today(m_options.day);
    const auto promotion = [&](const CatalogueItem& item) {
        return PromotionOf(item, m_catalogue.PriceOn(item, day));
    };
    std::vector<const CatalogueItem*> matches;
    for (int index : m_catalogue.SalesOrder()) {
        const CatalogueItem& item = m_catalogue.Items()[static_cast<std::size_t>(index)];
        const CatalogueSeller& seller = m_catalogue.SellerOf(item);
        if (!catIds.empty() &&
            std::none_of(cats.begin(), cats.end(), [&](int c) { return m_catalogue.InCategory(item, c); }))
            continue;
        if (!filter.locations.empty() && std::find(filter.locations.begin(), filter.locations.end(),
                                                   seller.location) == filter.locations.end())
            continue;
        const double finalYuan = static_cast<double>(promotion(item).finalCents) / 100.0;
        if ((hasLow && finalYuan < low) || (hasHigh && finalYuan > high))
            continue;
        if (!std::all_of(filter.words.begin(), filter.words.end(), [&](const std::string& word) {
                return ItemSearch::ContainsGbk(item.title, word) ||
                       ItemSearch::ContainsGbk(seller.nick, word);
            }))
            continue;
        matches.push_back(&item);
    }
    const std::string sort = params.Get("sort");
    if (sort == "total_sales_asc")
        std::reverse(matches.begin(), matches.end());
    else if (sort == "final_promotion_price_asc" || sort == "final_promotion_price_des")
        std::stable_sort(matches.begin(), matches.end(), [&](const CatalogueItem* a, const CatalogueItem* b) {
            const std::int64_t x = promotion(*a).finalCents, y = promotion(*b).finalCents;
            return sort == "final_promotion_price_asc" ? x < y : x > y;
        });
    const int pageSize = ReadInt(params.Get("page_size"), 1, 100, 20);
    const int pageNo = ReadInt(params.Get("page_no"), 1, 100000, 1);
    std::size_t start = static_cast<std::size_t>(pageNo - 1) * static_cast<std::size_t>(pageSize);
    // a re-sort before every page: each starts pageOverlap matches before the end of the last
    start -= std::min(start, static_cast<std::size_t>(pageNo - 1) * static_cast<std::size_t>(m_options.pageOverlap));
    // without the scene permission a search that finds exactly one item names no id and no link
    const bool anonymous = m_options.withholdScene && matches.size() == 1;

    GbkJsonWriter w;
    w.BeginObject();
    if (!simplify)
        w.Key("tbk_dg_material_optional_upgrade_response").BeginObject();
    BeginList(w, "result_list", "map_data", simplify);
    const bool nonString = variant == DocumentVariant::NonString;
    for (std::size_t i = start; i < matches.size() && i < start + static_cast<std::size_t>(pageSize); ++i) {
        const CatalogueItem& item = *matches[i];
        const ItemWriter iw{w, m_catalogue, host, simplify, nonString, static_cast<int>(i - start), day, false};
        w.BeginObject();
        if (!anonymous)
            w.Member("item_id", ItemId(item));
        iw.BasicInfo(item, false);
        iw.PricePromotion(item);
        if (anonymous)
            iw.PublishInfoWithoutLink(item);
        else
            iw.PublishInfo(item);
        w.Key("scope_info")
            .BeginObject()
            .Member("superior_brand", m_catalogue.IsMall(item) ? "1" : "0")
            .EndObject();
        w.EndObject();
    }
    EndList(w, simplify);
    w.Key("total_results").Number(static_cast<std::int64_t>(matches.size()));
    w.Member("request_id", RequestId(params));
    if (!simplify)
        w.EndObject();
    w.EndObject();
    return w.Text();
}

std::string MaterialGateway::ItemInfo(const QueryParams& params, const std::string& host,
                                      DocumentVariant variant, bool simplify) const
{
    const std::vector<std::string> ids = Split(params.Get("item_id"), ',');
    if (ids.empty())
        return ErrorDocument(40, "Missing required arguments:item_id", "isv.missing-parameter:item_id",
                             "缺少必选参数item_id", params);
    if (ids.size() > kMaxInfoIds)
        return ErrorDocument(41, "Invalid arguments:item_id", "isv.invalid-parameter:item_id",
                             "商品ID个数不能超过20个", params);
    // an old numeric id is refused unless it is one of the catalogue's (the list search's items)
    if (std::any_of(ids.begin(), ids.end(), [&](const std::string& id) { return AllDigits(id) && !m_catalogue.FindItem(id); }))
        return ErrorDocument(15, "Remote service error", "-4003", "请使用升级后的新商品ID", params);

    GbkJsonWriter w;
    w.BeginObject();
    if (!simplify)
        w.Key("tbk_item_info_upgrade_get_response").BeginObject();
    BeginList(w, "results", "tbk_item_detail", simplify);
    const bool nonString = variant == DocumentVariant::NonString;
    int n = 0;
    for (const std::string& id : ids) {
        const CatalogueItem* item = AllDigits(id) ? m_catalogue.FindItem(id) : FindByItemId(id);
        if (!item)
            continue; // an item the platform does not know is left out
        const ItemWriter iw{w, m_catalogue, host, simplify, nonString, n++, Catalogue::Today(m_options.day),
                            m_options.withholdRatesum};
        w.BeginObject();
        w.Member("item_id", ItemId(*item));
        w.Member("input_item_iid", id);
        iw.BasicInfo(*item, true);
        iw.PricePromotion(*item);
        w.EndObject();
    }
    EndList(w, simplify);
    w.Member("request_id", RequestId(params));
    if (!simplify)
        w.EndObject();
    w.EndObject();
    return w.Text();
}

} // namespace yfx::server
