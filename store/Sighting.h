#pragma once
// A record of a results window made ready for the store: texts converted once from GBK to
// UTF-8, amounts read into whole cents.
#include "market/TBRecord.h"
#include "store/StoreTypes.h"

#include <optional>
#include <string_view>

namespace yfx::store {

// An amount in yuan as the marketplace writes it ("12.50", " 7", "0.5", "1,299.00") in whole
// cents, a third decimal rounding half up. Nothing when the text does not start with digits
// (after white space and an optional '+'), is negative, or is 10^13 yuan or more.
std::optional<std::int64_t> ParseCents(std::string_view text);

// The sales count's digits ("1523", "1,000+" gives 1000); nothing without a digit.
std::optional<std::int64_t> ParseCount(std::string_view text);

// The record as a sighting; nothing when it has no item id or no readable price. A postage
// that cannot be read is 0.
std::optional<Sighting> SightingFromRecord(const CTBRecord& record);

// The key of a record (its source and item id).
ItemKey KeyOf(const CTBRecord& record);

// The name under which the picture folder keeps the `edge`-pixel thumbnail of a stored picture
// address (UTF-8): the name the tiles gave the file, worked out from the address in the
// marketplace's encoding. "" when the address gives no usable name.
std::string PictureFileOf(const std::string& picture, int edge);

// The price plus postage a record shows, in cents; nothing when the price cannot be read.
std::optional<std::int64_t> ShownTotal(const CTBRecord& record);

} // namespace yfx::store
