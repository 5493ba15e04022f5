#pragma once
// State shared across windows that needs no window: the badge table and the data a results
// document carries (the picture folder is in PictureCache.h).
#include <array>
#include <optional>
#include <string>

#include "market/SearchUrl.h"

namespace yfx {

// Badge resource ids: level n (1..20) -> 314 + n.
class BadgeTable {
public:
    BadgeTable();
    // The resource id for a credit level, or 0 when the level has no badge.
    unsigned ForLevel(int level) const;
    static constexpr int kLevels = 20;

private:
    std::array<unsigned, kLevels> m_ids;
};

// The data of one results window: the list-search address, the order (0 by sales, any other
// value by price) and, when a search made the address, the query it was built from (a window
// of the open platform's source searches for that query instead of fetching the address).
struct ResultsDocData {
    std::string m_strAddress;
    int m_nOrder = 0;
    std::optional<SearchQuery> m_query;
};

} // namespace yfx
