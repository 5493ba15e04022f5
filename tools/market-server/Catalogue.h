#pragma once
// The marketplace's whole stock, generated from a seed: a three-level category tree, a few
// hundred sellers and their items. Texts are GBK bytes, as the marketplace sends them. The same
// seed and size always give the same catalogue, byte for byte. Immutable once generated, so it
// may be read from any number of threads.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tools/market-server/CatalogueTables.h"

namespace yfx::server {

struct CatalogueCategory {
    std::string name;   // GBK
    std::string cat;    // category id
    std::string market; // list page path (third level: its parent's)
    int level = 1;      // 1..3
    int parent = -1;    // index of the parent, -1 for the first level
    int top = 0;        // index of the first-level ancestor (itself on the first level)
    std::vector<int> children;
    PictureShape shape = PictureShape::Box; // how its items are drawn
};

struct CatalogueSeller {
    std::string nick;     // GBK
    std::string location; // GBK city name ("杭州")
    std::string brand;    // GBK; a mall shop's brand, else empty
    int ratesum = 1;      // credit level 1..20
    bool mall = false;    // a shop of the mall channel
    int homeTop = 0;      // first-level category the seller mostly sells in
};

struct CatalogueItem {
    std::uint64_t id = 0;
    std::string idText;
    std::string title;     // GBK
    std::string titleUtf8; // the same title as UTF-8, for drawing
    std::string brand;     // GBK, may be empty
    int leaf = 0;          // category index (third level)
    int seller = 0;        // seller index
    std::int64_t priceCents = 0; // the catalogue's own price; PriceOn gives the price of a day
    std::string price; // "12.50"
    std::string ship;  // "0.00"
    std::int64_t sales = 0;
    std::string salesText;
    std::string pictureCode; // unique picture file stem ("T1...")
    int hue = 0;             // 0..359, the picture's main colour
};

class Catalogue {
public:
    static constexpr int kMinItems = 400;
    static constexpr int kMaxItems = 200000;

    // Generates the catalogue. itemCount is clamped to [kMinItems, kMaxItems].
    static Catalogue Generate(std::uint64_t seed, int itemCount);

    std::uint64_t Seed() const { return m_seed; }
    const std::vector<CatalogueCategory>& Categories() const { return m_categories; }
    const std::vector<CatalogueSeller>& Sellers() const { return m_sellers; }
    const std::vector<CatalogueItem>& Items() const { return m_items; }

    // Item indices in thirty-day-sales order (sales descending, then id ascending).
    const std::vector<int>& SalesOrder() const { return m_salesOrder; }

    // The item with this id text, or null.
    const CatalogueItem* FindItem(std::string_view idText) const;
    // The item whose pictureCode is this, or null.
    const CatalogueItem* FindItemByPicture(std::string_view code) const;
    // Category index of a category id, or -1.
    int FindCategory(std::string_view cat) const;
    // First-level category index whose market path this is, or -1.
    int FindMarket(std::string_view path) const;
    // True when the item's leaf is the category or lies below it.
    bool InCategory(const CatalogueItem& item, int category) const;

    const CatalogueSeller& SellerOf(const CatalogueItem& item) const { return m_sellers[item.seller]; }
    bool IsMall(const CatalogueItem& item) const { return m_sellers[item.seller].mall; }
    PictureShape ShapeOf(const CatalogueItem& item) const { return m_categories[item.leaf].shape; }

    // The item's price in cents on local day `day` (days since 1970-01-01): from one day to the
    // next about a third of the items move to another price (from 25 % below to 15 % above the
    // catalogue's own, keeping its cents), decided by the seed, the item and the day alone.
    std::int64_t PriceOn(const CatalogueItem& item, std::int64_t day) const;
    // The local day of now, moved by `offset` days (the server's --day).
    static std::int64_t Today(int offset);
    // "12.50" for 1250 cents.
    static std::string MoneyText(std::int64_t cents);

    // Three seller nicknames (GBK) for the configuration's exclusion list; each has items.
    const std::vector<std::string>& ExcludedNicks() const { return m_excludedNicks; }
    // Announcement texts (GBK).
    const std::vector<std::string>& Announcements() const { return m_announcements; }

private:
    std::uint64_t m_seed = 0;
    std::vector<CatalogueCategory> m_categories;
    std::vector<CatalogueSeller> m_sellers;
    std::vector<CatalogueItem> m_items;
    std::vector<int> m_salesOrder;
    std::vector<std::string> m_excludedNicks;
    std::vector<std::string> m_announcements;
    std::unordered_map<std::string, int> m_itemById;
    std::unordered_map<std::string, int> m_itemByPicture;
    std::unordered_map<std::string, int> m_categoryById;
};

} // namespace yfx::server
