#include "results/ResultOrder.h"

#include "results/NumberText.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <set>

namespace yfx {

void FilterSellers(std::vector<CTBRecord>& records, const std::map<std::string, int>& sellerNicks)
{
    if (sellerNicks.empty())
        return;
    std::erase_if(records,
                  [&](const CTBRecord& r) { return !r.nick().empty() && sellerNicks.contains(r.nick()); });
}

void FilterSellers(std::vector<CTBRecord>& records, const std::map<std::string, int>& sellerNicks,
                   const std::map<std::string, std::string>& sellerIds)
{
    if (sellerNicks.empty())
        return;
    std::set<std::string> ids;
    std::set<std::string> titles; // nicks without an id, compared with shop titles
    for (const auto& [nick, index] : sellerNicks) {
        const auto id = sellerIds.find(nick);
        if (id != sellerIds.end())
            ids.insert(id->second);
        else
            titles.insert(nick);
    }
    std::erase_if(records, [&](const CTBRecord& r) {
        if (r.source != ResultSource::OpenPlatform)
            return !r.nick().empty() && sellerNicks.contains(r.nick());
        return (!r.sellerId.empty() && ids.contains(r.sellerId)) || (!r.nick().empty() && titles.contains(r.nick()));
    });
}

double PriceKey(const CTBRecord& record)
{
    const double key = LeadingDouble(record.currentPrice()) + LeadingDouble(record.ship());
    return std::isnan(key) ? -std::numeric_limits<double>::infinity() : key;
}

std::vector<CTBRecord> PriceOrder(const std::vector<CTBRecord>& records)
{
    // Repeated selection of the first smallest key is a stable ascending sort; sort indices
    // with their keys computed once instead of selecting in quadratic time.
    std::vector<double> keys;
    keys.reserve(records.size());
    for (const CTBRecord& r : records)
        keys.push_back(PriceKey(r));
    std::vector<size_t> order(records.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return keys[a] < keys[b]; });

    std::vector<CTBRecord> sorted;
    sorted.reserve(records.size());
    for (size_t i : order)
        sorted.push_back(records[i]);
    return sorted;
}

} // namespace yfx
