#include "tools/market-server/ItemSearch.h"

#include <cmath>
#include <cstdlib>

#include "market/DecimalAmount.h"
#include "market/Gbk.h"

namespace yfx::server {
namespace {

std::vector<std::string> SplitWords(std::string_view text)
{
    std::vector<std::string> words;
    std::size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && text[pos] == ' ')
            ++pos;
        std::size_t end = pos;
        while (end < text.size() && text[end] != ' ')
            end += IsGbkLeadByte(static_cast<unsigned char>(text[end])) && end + 1 < text.size() ? 2 : 1;
        if (end > pos)
            words.emplace_back(text.substr(pos, end - pos));
        pos = end;
    }
    return words;
}

std::vector<std::string> SplitList(std::string_view text, char separator)
{
    std::vector<std::string> parts;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find(separator, pos);
        if (end == std::string_view::npos)
            end = text.size();
        if (end > pos)
            parts.emplace_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return parts;
}

char Fold(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Reads "reserve_price[low,high]"; each bound that is not a number is no bound.
void ReadPriceFilter(const std::string& filter, SearchFilter& out)
{
    static const std::string kPrefix = "reserve_price[";
    if (filter.compare(0, kPrefix.size(), kPrefix) != 0)
        return;
    std::string_view body(filter);
    body.remove_prefix(kPrefix.size());
    if (!body.empty() && body.back() == ']')
        body.remove_suffix(1);
    const std::size_t comma = body.find(',');
    const std::string_view low = body.substr(0, comma);
    const std::string_view high = comma == std::string_view::npos ? std::string_view() : body.substr(comma + 1);
    double value = 0;
    if (ItemSearch::ParsePrice(low, value))
        out.priceLow = value;
    if (ItemSearch::ParsePrice(high, value))
        out.priceHigh = value;
}

} // namespace

bool ItemSearch::ParsePrice(std::string_view text, double& value)
{
    DecimalAmount amount;
    if (text.size() > 40 || !ReadDecimalAmount(text, amount, true) || !std::isfinite(amount.value))
        return false;
    value = amount.value;
    return true;
}

bool ItemSearch::ContainsGbk(std::string_view haystack, std::string_view needle)
{
    if (needle.empty())
        return true;
    for (std::size_t i = 0; i < haystack.size();) {
        const bool lead = IsGbkLeadByte(static_cast<unsigned char>(haystack[i])) && i + 1 < haystack.size();
        // Compare the needle from this character boundary on.
        std::size_t h = i, n = 0;
        bool same = true;
        while (n < needle.size() && same) {
            if (h >= haystack.size()) {
                same = false;
                break;
            }
            if (IsGbkLeadByte(static_cast<unsigned char>(haystack[h])) && h + 1 < haystack.size()) {
                same = n + 1 < needle.size() && haystack[h] == needle[n] && haystack[h + 1] == needle[n + 1];
                h += 2;
                n += 2;
            } else {
                same = Fold(haystack[h]) == Fold(needle[n]);
                ++h;
                ++n;
            }
        }
        if (same && n == needle.size())
            return true;
        i += lead ? 2 : 1;
    }
    return false;
}

SearchFilter ItemSearch::FilterFromQuery(const QueryParams& query, const Catalogue& catalogue, int marketTop)
{
    SearchFilter f;
    for (std::string& word : SplitWords(query.Get("q"))) {
        if (word.size() > 1 && word[0] == '-')
            f.excluded.push_back(word.substr(1));
        else
            f.words.push_back(std::move(word));
    }
    for (std::string& word : SplitWords(query.Get("ex_q")))
        f.excluded.push_back(std::move(word));
    f.locations = SplitList(query.Get("loc"), ',');
    f.nick = query.Get("nick");
    const std::string cat = query.Get("cat");
    if (!cat.empty() && cat != "0") {
        f.category = catalogue.FindCategory(cat);
        f.matchesNothing = f.category < 0;
    } else {
        f.category = marketTop;
    }
    ReadPriceFilter(query.Get("filter"), f);
    return f;
}

bool ItemSearch::Matches(const Catalogue& catalogue, const CatalogueItem& item, const SearchFilter& f)
{
    if (f.matchesNothing)
        return false;
    if (f.category >= 0 && !catalogue.InCategory(item, f.category))
        return false;
    const CatalogueSeller& seller = catalogue.SellerOf(item);
    if (!f.nick.empty() && seller.nick != f.nick)
        return false;
    if (!f.locations.empty()) {
        bool found = false;
        for (const std::string& loc : f.locations)
            found = found || seller.location == loc;
        if (!found)
            return false;
    }
    const double price = static_cast<double>(f.day ? catalogue.PriceOn(item, *f.day) : item.priceCents) / 100.0;
    if (f.priceLow && price < *f.priceLow)
        return false;
    if (f.priceHigh && price > *f.priceHigh)
        return false;
    for (const std::string& word : f.words)
        if (!ContainsGbk(item.title, word))
            return false;
    for (const std::string& word : f.excluded)
        if (ContainsGbk(item.title, word))
            return false;
    return true;
}

SearchResult ItemSearch::Run(const Catalogue& catalogue, const SearchFilter& filter, std::size_t start)
{
    SearchResult r;
    for (int index : catalogue.SalesOrder()) {
        const CatalogueItem& item = catalogue.Items()[static_cast<std::size_t>(index)];
        if (!Matches(catalogue, item, filter))
            continue;
        if (r.total >= start && r.page.size() < kPageSize)
            r.page.push_back(&item);
        ++r.total;
    }
    return r;
}

} // namespace yfx::server
