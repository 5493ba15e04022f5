#pragma once
// The open platform's current affiliate methods at the gateway ("/router/rest"):
//   taobao.tbk.dg.material.optional.upgrade   material search over the catalogue
//   taobao.tbk.item.info.upgrade.get          item details with the seller's credit level
// Parameters may come in the query, in a form-encoded body or both; values are UTF-8. The
// request is checked as the platform checks it: application key (28 missing, 29 unknown),
// timestamp "yyyy-MM-dd HH:mm:ss" in GMT+8 within 10 minutes of now (31; --max-clock-skew
// changes the window), version 2.0, signature by sign_method md5, hmac (HMAC-MD5) or
// hmac-sha256 over every parameter but "sign", sorted by name, over the UTF-8 bytes (25).
// A fault "platform-error:N" answers code N (11 no permission, 15 remote error) after the
// checks. With simplify=true the answer is the result with plain arrays; without, it sits
// under "<method>_response" with every list wrapped in an object. Answers are UTF-8.
//
// Items have the platform's new-style ids ("<code>-<code>", see ItemId); an old numeric id
// asked for details answers code 15, sub_code -4003, unless it is the id of a catalogue item
// (the list search's items: their details are answered, input_item_iid the numeric id). An id
// of no item is left out of the details' answer, as the platform leaves out items it no longer
// knows. The details carry the day's price (--day) and its promotions. About half the items carry a coupon
// ("商品券" in final_promotion_path_list), some another promotion too (CouponOf). The search
// matches every word of q in the title or the shop title, itemloc against the seller's city,
// cat (comma-separated ids, with everything below them), start_price/end_price in whole yuan
// against the price after promotions; it knows no exclusion word and no seller. Stateless.
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "tools/market-server/Catalogue.h"
#include "tools/market-server/MarketDocuments.h"
#include "tools/market-server/QueryParams.h"
#include "tools/market-server/ServerOptions.h"

namespace yfx::server {

// An item's promotions in cents: the coupon (0: none) and one other reduction (0: none).
struct ItemPromotion {
    std::int64_t couponCents = 0;
    std::int64_t otherCents = 0;
    std::int64_t finalCents = 0; // price less both
};

class MaterialGateway {
public:
    static constexpr const char* kSearchMethod = "taobao.tbk.dg.material.optional.upgrade";
    static constexpr const char* kItemInfoMethod = "taobao.tbk.item.info.upgrade.get";

    MaterialGateway(const Catalogue& catalogue, const ServerOptions& options);

    // True for the two methods above.
    static bool Serves(const std::string& method);

    // A forced error of kAnnouncedBan + S: code 7 whose sub_msg announces a ban of S seconds.
    static constexpr int kAnnouncedBan = 1000000;

    // The JSON answer (UTF-8). `forcedError` (0 none) is the code of a platform-error fault
    // (7 a rate limit without an announced time, 50002 the affiliate methods' rate limit), or
    // kAnnouncedBan + S.
    std::string Answer(const QueryParams& params, const std::string& host, DocumentVariant variant,
                       int forcedError) const;

    // The signature by a sign_method ("md5", "hmac", "hmac-sha256"); "" for another method.
    static std::string Sign(std::vector<std::pair<std::string, std::string>> params,
                            const std::string& secret, const std::string& signMethod);

    // "yyyy-MM-dd HH:mm:ss" read as GMT+8; false when it is not such a time.
    static bool ParseGmt8(const std::string& text, std::time_t& when);

    // The new-style id of an item, and the item of such an id (null when none).
    static std::string ItemId(const CatalogueItem& item);
    const CatalogueItem* FindByItemId(const std::string& itemId) const;

    // The promotions of an item at its catalogue price, or at `priceCents` (a day's price).
    static ItemPromotion PromotionOf(const CatalogueItem& item);
    static ItemPromotion PromotionOf(const CatalogueItem& item, std::int64_t priceCents);

    // The platform's numeric id of seller `sellerIndex` (what "seller_id" answers).
    static std::int64_t SellerId(int sellerIndex) { return 2200000000000000LL + sellerIndex; }

    // The ad-zone id the configured pid allows (its third number).
    std::string AdzoneId() const;

private:
    std::string Search(const QueryParams& params, const std::string& host, DocumentVariant variant,
                       bool simplify) const;
    std::string ItemInfo(const QueryParams& params, const std::string& host, DocumentVariant variant,
                         bool simplify) const;

    const Catalogue& m_catalogue;
    const ServerOptions& m_options;
};

} // namespace yfx::server
