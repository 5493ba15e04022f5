#include "results/ResultItems.h"

#include "results/ResultOrder.h"

#include <algorithm>
#include <numeric>

namespace yfx {

std::size_t ResultItems::Append(const std::vector<CTBRecord>& records)
{
    const std::size_t first = m_records.size();
    for (const CTBRecord& r : records) {
        if (m_records.size() >= kMaxItems)
            break;
        if (!r.itemId().empty() && !m_ids.insert(r.itemId()).second)
            continue; // pages overlap when the marketplace re-sorts between them
        m_records.push_back(r);
        m_keys.push_back(PriceKey(r));
    }
    const std::size_t added = m_records.size() - first;
    if (m_bPriceOrderBuilt && added > 0) {
        std::vector<std::size_t> fresh(added);
        std::iota(fresh.begin(), fresh.end(), first);
        const auto byKey = [this](std::size_t a, std::size_t b) { return m_keys[a] < m_keys[b]; };
        std::stable_sort(fresh.begin(), fresh.end(), byKey);
        // std::merge takes the first range's element on a tie: older items (earlier in sales
        // order) stay before newer ones of the same key, as a fresh stable sort would put them
        std::vector<std::size_t> merged;
        merged.reserve(m_price.size() + fresh.size());
        std::merge(m_price.begin(), m_price.end(), fresh.begin(), fresh.end(), std::back_inserter(merged), byKey);
        m_price = std::move(merged);
        IndexPriceRows();
    }
    return added;
}

void ResultItems::Clear()
{
    m_records.clear();
    m_keys.clear();
    m_price.clear();
    m_rowOfItem.clear();
    m_ids.clear();
    m_bPriceOrderBuilt = false;
}

void ResultItems::SetOrder(int order)
{
    m_nOrder = order != 0 ? 1 : 0;
    if (m_nOrder == 1 && !m_bPriceOrderBuilt)
        BuildPriceOrder();
}

void ResultItems::BuildPriceOrder()
{
    m_price.resize(m_records.size());
    std::iota(m_price.begin(), m_price.end(), std::size_t{0});
    std::stable_sort(m_price.begin(), m_price.end(),
                     [this](std::size_t a, std::size_t b) { return m_keys[a] < m_keys[b]; });
    IndexPriceRows();
    m_bPriceOrderBuilt = true;
    ++m_nPriceOrderBuilds;
}

void ResultItems::IndexPriceRows()
{
    m_rowOfItem.assign(m_price.size(), 0);
    for (std::size_t row = 0; row < m_price.size(); ++row)
        m_rowOfItem[m_price[row]] = row;
}

std::size_t ResultItems::ItemOfRow(std::size_t row) const
{
    return m_nOrder == 1 && m_bPriceOrderBuilt ? m_price[row] : row;
}

std::size_t ResultItems::RowOfItem(std::size_t item) const
{
    if (item >= m_records.size())
        return m_records.size();
    return m_nOrder == 1 && m_bPriceOrderBuilt ? m_rowOfItem[item] : item;
}

std::vector<CTBRecord> ResultItems::PriceRecords() const
{
    std::vector<CTBRecord> sorted;
    if (!m_bPriceOrderBuilt)
        return sorted;
    sorted.reserve(m_price.size());
    for (std::size_t i : m_price)
        sorted.push_back(m_records[i]);
    return sorted;
}

std::vector<std::size_t> ResultItems::ApplyRatesums(const std::map<std::string, std::string>& ratesums)
{
    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < m_records.size(); ++i) {
        const auto it = ratesums.find(m_records[i].itemId());
        if (it != ratesums.end() && m_records[i].ratesum() != it->second) {
            m_records[i].SetValue(CTBRecord::Ratesum, it->second);
            changed.push_back(i);
        }
    }
    return changed;
}

} // namespace yfx
