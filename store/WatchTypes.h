#pragma once
// The watch list: items the user asked to be told about when their price drops. Texts are
// UTF-8, amounts whole cents, times seconds since the epoch, days local calendar days since
// 1970-01-01 (as everywhere in the store).
//
// An item's watched price is its price after coupon and promotions where the marketplace gave
// one, else its price; postage is not part of it (a target is what the user pays for the item).
#include "store/StoreTypes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace yfx::store {

constexpr int kMaxWatched = 500; // the 501st item is refused

enum class WatchOutcome {
    Added,   // now watched
    Already, // it was watched before (the target is left as it was)
    Full,    // kMaxWatched items are watched already
    Failed,  // the store is off or failed
};

// One day's watched price, for the row's line of the last 30 days.
struct DayPrice {
    int day = 0;
    std::int64_t price = 0;
};

// One watched item as the watch list shows it.
struct WatchedItem {
    ItemKey key;
    std::string title;   // UTF-8
    std::string picture; // picture address
    std::string page;    // item page (for the open platform: the affiliate address)
    std::int64_t addedTime = 0;
    std::int64_t addedPrice = 0;         // watched price when it was added
    std::optional<std::int64_t> target;  // the user's target price
    std::optional<std::int64_t> current; // latest watched price known
    std::optional<std::int64_t> lowest;  // lowest watched price of every row
    std::int64_t lastChecked = 0;        // 0: never checked
    bool gone = false;                   // the platform no longer knows it ("已下架")
    std::vector<DayPrice> recent;        // last 30 days, one per day with a row, in day order
};

// Why an item alerts.
enum class AlertReason { Target, Percent, NewLow };

// One price drop to tell the user about.
struct PriceAlert {
    ItemKey key;
    std::string title;   // UTF-8
    std::string picture; // picture address
    std::string page;    // what a click opens
    std::int64_t before = 0; // the price the user was last told about (or the price when added)
    std::int64_t now = 0;
    std::optional<std::int64_t> target;
    AlertReason reason = AlertReason::Target;
};

} // namespace yfx::store

namespace yfx::store {

// One watched item as a check found it: its price (and final price, coupon, sales) and, where
// the answer gave them, its texts. Empty texts keep the stored ones; without `postageKnown` the
// postage of the item's last row is kept.
struct CheckedItem {
    Sighting seen;
    bool postageKnown = false;
};

} // namespace yfx::store
