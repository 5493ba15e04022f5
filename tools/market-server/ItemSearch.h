#pragma once
// The marketplace's list search over the catalogue: keyword words that must all occur in the
// title, exclusion words that must not, seller location, category (with everything below it),
// seller nickname and price bounds; the answer comes in thirty-day-sales order.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/market-server/Catalogue.h"
#include "tools/market-server/QueryParams.h"

namespace yfx::server {

struct SearchFilter {
    std::vector<std::string> words;     // GBK; every one must occur in the title
    std::vector<std::string> excluded;  // GBK; none may occur in the title
    std::vector<std::string> locations; // GBK; the seller's city must be one of them (empty: any)
    std::string nick;                   // GBK; exact seller nickname (empty: any)
    int category = -1;                  // category index; -1 any
    bool matchesNothing = false;        // an unknown category id
    std::optional<double> priceLow;     // yuan, inclusive
    std::optional<double> priceHigh;    // yuan, inclusive
    std::optional<std::int64_t> day;    // the day whose prices count (none: the catalogue's own)
};

struct SearchResult {
    std::vector<const CatalogueItem*> page; // at most kPageSize items, from `start` on
    std::size_t total = 0;                  // every matching item
};

class ItemSearch {
public:
    static constexpr std::size_t kPageSize = 40;

    // The filter a list-search query asks for. marketTop is the first-level category of the
    // market page asked for (-1 for the default page); it applies when the query names no
    // category (or category "0").
    static SearchFilter FilterFromQuery(const QueryParams& query, const Catalogue& catalogue, int marketTop);

    // One page of matching items in sales order, starting at `start`.
    static SearchResult Run(const Catalogue& catalogue, const SearchFilter& filter, std::size_t start);

    // True when the text is a decimal number (spaces around it allowed); then `value` holds it.
    // "1 0", "abc", "" and "nan" are not numbers.
    static bool ParsePrice(std::string_view text, double& value);

    // True when `needle` occurs in the GBK text `haystack` starting on a character boundary,
    // ASCII letters compared without case. An empty needle always occurs.
    static bool ContainsGbk(std::string_view haystack, std::string_view needle);

    // True when one item passes the filter.
    static bool Matches(const Catalogue& catalogue, const CatalogueItem& item, const SearchFilter& filter);
};

} // namespace yfx::server
