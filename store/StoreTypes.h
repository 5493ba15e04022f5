#pragma once
// What the price memory keeps and answers: items as results windows showed them, their price
// rows, and the summaries and histories read back. Texts are UTF-8, amounts whole cents, times
// seconds since the epoch, days local calendar days since 1970-01-01.
#include "market/OpenPlatformTypes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace yfx::store {

// An item of the marketplace as the store knows it: its source and the id the source gives
// (UTF-8, as every text of the store).
struct ItemKey {
    ResultSource source = ResultSource::ListSearch;
    std::string itemId;
    bool operator==(const ItemKey&) const = default;
    bool operator<(const ItemKey& o) const { return source != o.source ? source < o.source : itemId < o.itemId; }
};

// One item as a results window showed it, ready to be stored.
struct Sighting {
    ItemKey key;
    std::string title;   // UTF-8
    std::string picture; // picture address
    std::string page;    // item page (for the open platform: the affiliate address)
    std::string shop;    // seller's nickname or shop title, UTF-8
    std::int64_t price = 0;
    std::int64_t postage = 0;
    std::optional<std::int64_t> finalPrice; // the price after coupon and promotions
    std::optional<std::int64_t> coupon;     // the coupon's fee
    std::optional<std::int64_t> sales;
};

// One price row.
struct PricePoint {
    std::int64_t time = 0;
    int day = 0;
    std::int64_t price = 0;
    std::int64_t postage = 0;
    std::optional<std::int64_t> finalPrice;
    std::optional<std::int64_t> coupon;
    std::optional<std::int64_t> sales;
    std::int64_t Total() const { return price + postage; }
};

// The question for one tile's marker: the item and the price plus postage it shows now.
struct SummaryQuery {
    ItemKey key;
    std::int64_t currentTotal = 0;
};

// What the rows of one item say against the total a tile shows now. Totals are price plus
// postage. rows == 0: the store has never seen the item (the other members are 0).
struct PriceSummary {
    ItemKey key;
    std::int64_t currentTotal = 0;
    int rows = 0;
    int days = 0;              // local days with a row
    std::int64_t lowest = 0;   // lowest total of every row
    int lowestDay = 0;         // the latest day on which it was that low
    std::int64_t highest = 0;  // highest total of every row
    std::optional<std::int64_t> lastDifferent; // total of the latest row whose total differs from currentTotal
};

// Everything the store holds of one item, rows in time order. found == false: nothing.
struct PriceHistory {
    ItemKey key;
    bool found = false;
    std::string title;   // UTF-8
    std::string picture;
    std::vector<PricePoint> points;
};

// How the store fares. Ready: remembering. Unavailable: memory is off for this run (message
// says why, in Chinese, UTF-8). Renamed: the file was damaged and set aside (message names
// the new name); a fresh file is in use.
struct StoreStatus {
    enum class State { Ready, Unavailable, Renamed };
    State state = State::Ready;
    std::string message;
};

} // namespace yfx::store
