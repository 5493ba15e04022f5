#pragma once
// The list-search address of a query. Texts are GBK bytes; nothing is validated or trimmed.
#include <string>

struct SearchQuery {
    std::string path;      // list page path, "/itemlist/default.htm" when empty; unencoded
    std::string cat;       // category value, unencoded; empty: no category piece
    std::string keyword;   // encoded
    std::string exclude;   // encoded; also appended to q as "+-" + encoded
    std::string location;  // encoded ("loc")
    std::string priceLow;  // unencoded, "0" when empty
    std::string priceHigh; // unencoded, "100000000" when empty
    std::string nick;      // seller nickname, encoded; empty: no seller piece

    bool operator==(const SearchQuery&) const = default;
};

// Percent-encodes every byte except A-Z and a-z, as "%XX" with upper-case hex digits.
std::string UrlEncode(const std::string& text);

// The complete list-search address. Cannot fail; the same query gives the same bytes.
std::string BuildSearchUrl(const SearchQuery& query);
