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

// The same for records of both sources, with the open platform's seller ids: a record of the
// open platform (which names the shop, not the seller) is left out when its sellerId is the id
// that `sellerIds` gives for one of the nicks, or, for a nick without an id, when its shop
// title is that nick. A record of the list search is compared by its nick as above.
void FilterSellers(std::vector<CTBRecord>& records, const std::map<std::string, int>& sellerNicks,
                   const std::map<std::string, std::string>& sellerIds);

// The price key of a record: currentPrice plus ship, each read with LeadingDouble (a text
// that does not begin with a number counts as 0). Never NaN: a sum of two opposite
// infinities counts as minus infinity, so such a record sorts first.
double PriceKey(const CTBRecord& record);

// The records ascending by PriceKey; records with equal keys keep their order in `records`
// (sales order). O(n log n).
std::vector<CTBRecord> PriceOrder(const std::vector<CTBRecord>& records);

} // namespace yfx
