#pragma once
// The prices in an answer to "taobao.tbk.item.info.upgrade.get" (either answer shape), for a
// check of the watch list. A refusal and an unreadable answer are read by ParseItemInfoAnswer
// (market/OpenPlatformAnswer.h); this reads the results of one that carries items. Never
// throws.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace yfx::watch {

struct ItemPrice {
    std::string askedId;  // input_item_iid, else item_id (UTF-8)
    std::string itemId;   // item_id
    std::string title;    // item_basic_info.title (UTF-8)
    std::string picture;  // item_basic_info.pict_url ("//host/…" gets "https:")
    std::optional<std::int64_t> price;      // price_promotion_info.zk_final_price, cents
    std::optional<std::int64_t> finalPrice; // final_promotion_price
    std::optional<std::int64_t> coupon;     // the "商品券" entry of final_promotion_path_list
    std::optional<std::int64_t> sales;      // item_basic_info.volume
    bool freeShipping = false;              // item_basic_info.free_shipment
};

inline constexpr std::size_t kMaxItemPrices = 100;

// The results that are objects, in the answer's order, at most kMaxItemPrices.
std::vector<ItemPrice> ReadItemPrices(const std::string& text);

} // namespace yfx::watch
