#pragma once
// The seller filter and the price order of a result list. Records keep the GBK bytes of the
// answer; nothing here converts text.
#include "market/TBRecord.h"

#include <map>
#include <string>
#include <vector>

namespace yfx {

// Removes every record whose seller nick is not empty and is a key of `sellerNicks` (exact,
// byte-wise match). A record with an empty nick always stays; an empty map removes nothing.
// The records that stay keep their order.
void FilterSellers(std::vector<CTBRecord>& records, const std::map<std::string, int>& sellerNicks);

// The price key of a record: currentPrice plus ship, each read with LeadingDouble (a text
// that does not begin with a number counts as 0). Never NaN: a sum of two opposite
// infinities counts as minus infinity, so such a record sorts first.
double PriceKey(const CTBRecord& record);

// The records ascending by PriceKey; records with equal keys keep their order in `records`
// (sales order). O(n log n).
std::vector<CTBRecord> PriceOrder(const std::vector<CTBRecord>& records);

} // namespace yfx
