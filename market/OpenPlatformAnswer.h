#pragma once
// Reading the open platform's answers to the requests of OpenPlatformRequest.h into records,
// and the filters the platform does not apply itself.
//
// The platform answers UTF-8 JSON in one of two shapes: with simplify=true the result is the
// root and lists are plain arrays; without it the result sits under "<method>_response" and
// every list is an object wrapping an array ({"map_data":[...]}). Both read alike. A refusal,
// in either shape, is {"error_response":{"code","msg","sub_code","sub_msg"}}.
//
// Every text of a record is turned from UTF-8 into GB18030 (GBK where GBK suffices), so the
// core's GBK rules hold and nothing is lost. A member that is missing, or is not a string or a
// number, reads as the empty text. Nothing here throws, whatever the answer holds.
#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "market/SearchUrl.h"
#include "market/TBRecord.h"

constexpr std::size_t kMaxMaterialAnswerBytes = 4u << 20; // a larger answer is not read
constexpr std::size_t kMaxMaterialRecords = 600;         // records kept from one answer

enum class AnswerOutcome {
    Items,      // the platform answered with results (possibly none)
    Refused,    // an error_response: see `error` and `message`
    Unreadable, // not JSON, not an object, too large: see `message`
};

// A refusal as the platform sent it (texts GB18030, numbers as their text).
struct PlatformError {
    std::string code;    // "25"
    std::string msg;     // "Invalid signature"
    std::string subCode; // "isv.invalid-signature", "-4003"
    std::string subMsg;
};

struct MaterialAnswer {
    AnswerOutcome outcome = AnswerOutcome::Unreadable;
    std::vector<CTBRecord> records; // in the answer's order, at most kMaxMaterialRecords
    std::size_t received = 0;       // elements of "result_list", before any was left out
    std::string totalResults;       // "total_results" as sent
    PlatformError error;            // filled when Refused
    std::string message;            // GBK, for the empty view: "" when Items
};

// Reads a material-search answer. Each element of "result_list" that is an object becomes a
// record with source OpenPlatform:
//   originalImage  item_basic_info.pict_url ("//host/..." gets "https:")
//   image          item_basic_info.white_image, else the first of small_images ("https:" too)
//   tip            item_basic_info.title
//   currentPrice   price_promotion_info.zk_final_price
//   ship           item_basic_info.real_post_fee
//   tradeNum       item_basic_info.volume
//   nick           item_basic_info.shop_title (the platform sends no seller nickname)
//   sellerId       item_basic_info.seller_id, its digits as sent
//   itemId         item_id
//   href           publish_info.coupon_share_url, else publish_info.click_url ("https:" too)
//   couponFee      promotion_fee of the first final_promotion_path_list entry titled "商品券"
//   finalPrice     price_promotion_info.final_promotion_price
// thumbUrl and thumbFileName follow from originalImage by the list-search rule. ratesum
// stays empty: it comes from the item details (ParseItemInfoAnswer). True when Items.
bool ParseMaterialAnswer(const std::string& text, MaterialAnswer& answer);

// The price the platform applies start_price and end_price to: the record's finalPrice (after
// coupons and promotions) when it is a plain decimal number, else its currentPrice.
const std::string& BoundedPrice(const CTBRecord& record);

// Leaves out what the platform cannot be asked to leave out, for a query (GBK) of
// MaterialSearchParams: records whose title contains a word of `exclude` (words split at
// spaces, ASCII letters without case); with `priceLow`/`priceHigh` that are plain decimal
// numbers, records whose BoundedPrice is not a number or lies outside the typed bounds
// (inclusive, exactly as typed, not the whole yuan sent); with `nick`, the seller's own items
// only: those whose sellerId is the id that `sellerIds` gives for the nick, or, when it gives
// none, whose shop title (nick) is exactly it.
void FilterMaterialRecords(std::vector<CTBRecord>& records, const SearchQuery& query,
                           const std::map<std::string, std::string>& sellerIds = {});

// ParseMaterialAnswer, then FilterMaterialRecords on its records. True when Items.
bool ReadMaterialSearchAnswer(const std::string& text, const SearchQuery& query, MaterialAnswer& answer,
                              const std::map<std::string, std::string>& sellerIds = {});

struct ItemInfoAnswer {
    AnswerOutcome outcome = AnswerOutcome::Unreadable;
    // item id -> seller credit level (item_basic_info.ratesum), GBK; both the id answered
    // (item_id) and the id asked for (input_item_iid) lead to it. At most 600 entries.
    std::map<std::string, std::string> ratesums;
    // The answer described items but none of them carried a "ratesum" member: the platform
    // gives that field only at a permission level this application lacks, so asking again for
    // other items is of no use.
    bool ratesumWithheld = false;
    PlatformError error;
    std::string message;
};

// Reads an item-details answer ("results", each with item_id and item_basic_info.ratesum).
// True when Items.
bool ParseItemInfoAnswer(const std::string& text, ItemInfoAnswer& answer);

// Sets the ratesum of every record whose itemId has one in the map; returns how many changed.
std::size_t ApplyRatesums(std::vector<CTBRecord>& records,
                          const std::map<std::string, std::string>& ratesums);

// The records' item ids for item-details requests: each non-empty id once (ids with a comma
// skipped), in record order, in groups of at most 20.
std::vector<std::vector<std::string>> ItemInfoBatches(const std::vector<CTBRecord>& records);

// The short GBK text for a refusal: "开放平台拒绝了请求：" + msg, then the sub_code and
// sub_msg in full-width brackets when given ("开放平台拒绝了请求：Remote service error（-4003
// 请使用升级后的新商品ID）"). Each part is cut to 120 bytes on a character boundary.
std::string PlatformErrorText(const PlatformError& error);
