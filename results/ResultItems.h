#pragma once
// The items of a results view, kept apart from the tiles that show them: every item the view
// holds with its record (credit level and coupon included), in sales order (the answers'
// order, page after page) and, once asked for, in price order. The view binds tiles to rows of
// the order shown; focus, accessibility and anything else that concerns every item work on
// this model, never on whichever tiles happen to exist. No Qt.
#include "market/TBRecord.h"

#include <cstddef>
#include <map>
#include <string>
#include <unordered_set>
#include <vector>

namespace yfx {

class ResultItems {
public:
    // The most items one view holds (fifteen pages of forty).
    static constexpr std::size_t kMaxItems = 600;

    // Adds the records of one answer (already filtered) in their order: a record whose item id
    // (when it has one) is held already, or came earlier in `records`, is left out, and nothing
    // beyond kMaxItems is kept. New items go to the end of the sales order and are merged into
    // the price order when that is built, as if it were built again. Returns how many came in.
    std::size_t Append(const std::vector<CTBRecord>& records);
    // Forgets every item; the order shown stays.
    void Clear();

    std::size_t Count() const { return m_records.size(); }
    bool Full() const { return m_records.size() >= kMaxItems; }

    // 0: sales order, 1: price order (any other value counts as 1). Builds the price order on
    // its first need.
    void SetOrder(int order);
    int Order() const { return m_nOrder; }
    // Fills the price order from the sales order (ascending PriceKey, ties in sales order).
    void BuildPriceOrder();
    bool PriceOrderBuilt() const { return m_bPriceOrderBuilt; }
    int PriceOrderBuilds() const { return m_nPriceOrderBuilds; }

    // The item shown at `row` of the order shown: its index in the sales order.
    std::size_t ItemOfRow(std::size_t row) const;
    // The record shown at `row` of the order shown. `row` must be below Count().
    const CTBRecord& AtRow(std::size_t row) const { return m_records[ItemOfRow(row)]; }
    // The row at which item `item` (sales index) is shown now; Count() when there is none.
    std::size_t RowOfItem(std::size_t item) const;
    // Every record in sales order, and the records in price order (built when needed).
    const std::vector<CTBRecord>& SalesRecords() const { return m_records; }
    std::vector<CTBRecord> PriceRecords() const;

    // Sets the credit level of every item whose id has one in `ratesums`; returns the sales
    // indices of the items that changed.
    std::vector<std::size_t> ApplyRatesums(const std::map<std::string, std::string>& ratesums);

private:
    std::vector<CTBRecord> m_records; // sales order
    std::vector<double> m_keys;       // PriceKey of each record
    std::vector<std::size_t> m_price; // sales indices in price order, when built
    std::vector<std::size_t> m_rowOfItem;
    std::unordered_set<std::string> m_ids;
    bool m_bPriceOrderBuilt = false;
    int m_nPriceOrderBuilds = 0;
    int m_nOrder = 0;

    void IndexPriceRows();
};

} // namespace yfx
