#pragma once
// When a watched item alerts: one pure decision per item and check, over whole cents.
//
// An item alerts when its watched price (after coupon where known) is below the price the user
// was last told about (the price when added, at first) and
//   - it reaches the target (at most the target), or
//   - it lies at least `dropPercent` % below the price last told about, or
//   - it is below the lowest price of every earlier row and those rows began on an earlier
//     local day (a new lowest price over at least two days).
// Each drop alerts once: after an alert the item is disarmed until a check sees its price go
// up (above the price of the check before); only then can a later drop alert again. So the
// first check after adding never alerts about the price the item had when added, and the same
// price is never told twice.
#include "store/WatchTypes.h"

#include <cstdint>
#include <optional>

namespace yfx::store {

// What the store keeps per watched item for the rules.
struct WatchRuleState {
    std::int64_t told = 0; // the price last told about (the price when added, at first)
    std::int64_t seen = 0; // the watched price at the check before (the price when added, at first)
    bool armed = true;     // false: a drop was told, waiting for the price to go up
    bool operator==(const WatchRuleState&) const = default;
};

struct AlertInput {
    WatchRuleState state;
    std::int64_t now = 0;                     // the watched price this check found
    std::optional<std::int64_t> target;       // the user's target
    std::optional<std::int64_t> lowestBefore; // lowest watched price of the rows before this check
    int firstDay = 0;                         // local day of the item's first row
    int today = 0;                            // local day of this check
    int dropPercent = 5;                      // 1..90
};

struct AlertDecision {
    std::optional<AlertReason> reason; // none: no alert
    WatchRuleState next;               // the state to keep after this check
};

AlertDecision DecideAlert(const AlertInput& in);

// The watched price of a row or a sighting: the final price where known, else the price.
inline std::int64_t WatchedPrice(std::int64_t price, const std::optional<std::int64_t>& finalPrice)
{
    return finalPrice.value_or(price);
}

} // namespace yfx::store
