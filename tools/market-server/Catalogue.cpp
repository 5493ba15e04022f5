#include "tools/market-server/Catalogue.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <set>

#include "market/Gbk.h"
#include "market/Texts.h"
#include "tools/market-server/Prng.h"

namespace yfx::server {
namespace {

constexpr int kShopItems = 48;    // items of the fixed seller of today's picks
constexpr int kItemsPerLeaf = 2;  // every leaf category gets at least this many
constexpr std::uint64_t kPictureMask = (std::uint64_t{1} << 40) - 1;

// A unique picture file stem for an item id: the id mixed by an odd multiplier modulo 2^40
// (a bijection for ids below 2^40) written in seven base-62 digits.
std::string PictureCode(std::uint64_t id)
{
    static const char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    std::uint64_t v = (id * 0x9E3779B1ULL) & kPictureMask;
    std::string code(7, '0');
    for (int i = 6; i >= 0; --i) {
        code[static_cast<std::size_t>(i)] = kDigits[v % 62];
        v /= 62;
    }
    return "T1" + code + "XXXXXXXX";
}

struct Plan {
    int seller;
    int leaf;
};

std::uint64_t SplitMix(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

// The draw of an item for a day, from the seed alone.
std::uint64_t DayDraw(std::uint64_t seed, std::uint64_t id, std::int64_t day)
{
    return SplitMix(SplitMix(seed ^ 0x5EED5EEDULL) ^ SplitMix(id) ^ SplitMix(static_cast<std::uint64_t>(day) * 0x2545F4914F6CDD1DULL));
}

} // namespace

std::string Catalogue::MoneyText(std::int64_t cents)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld.%02lld", static_cast<long long>(cents / 100),
                  static_cast<long long>(cents % 100));
    return buf;
}

std::int64_t Catalogue::Today(int offset)
{
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    // days since 1970-01-01 of the local date
    const int y = tm.tm_year + 1900 - (tm.tm_mon < 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int mp = (tm.tm_mon + 10) % 12;
    const int doy = (153 * mp + 2) / 5 + tm.tm_mday - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return static_cast<std::int64_t>(era) * 146097 + doe - 719468 + offset;
}

std::int64_t Catalogue::PriceOn(const CatalogueItem& item, std::int64_t day) const
{
    // The price of the latest day that moved it, looking back at most 60 days.
    for (std::int64_t d = day; d > day - 60; --d) {
        const std::uint64_t draw = DayDraw(m_seed, item.id, d);
        if (draw % 3 != 0)
            continue;
        const std::int64_t percent = 75 + static_cast<std::int64_t>((draw >> 8) % 41); // 75 .. 115
        const std::int64_t cents = item.priceCents % 100;
        const std::int64_t yuan = std::max<std::int64_t>(1, item.priceCents / 100 * percent / 100);
        return yuan * 100 + cents;
    }
    return item.priceCents;
}

Catalogue Catalogue::Generate(std::uint64_t seed, int itemCount)
{
    const CatalogueTables& tables = GetCatalogueTables();
    Catalogue c;
    c.m_seed = seed;
    Prng rng(seed);
    itemCount = std::clamp(itemCount, kMinItems, kMaxItems);
    // Texts are put together from a few hundred words: each word is converted once.
    std::unordered_map<std::string, std::string> gbkOf;
    const auto gbk = [&gbkOf](const std::string& utf8) -> const std::string& {
        auto it = gbkOf.find(utf8);
        if (it == gbkOf.end())
            it = gbkOf.emplace(utf8, Utf8ToGbk(utf8)).first;
        return it->second;
    };

    // Category tree: fixed ids, in table order.
    int groupCounter = 0;
    int leafCounter = 0;
    std::vector<std::vector<int>> leavesOfTop;
    std::vector<int> allLeaves;
    std::vector<const GroupSpec*> groupOfLeaf; // by category index (null above the third level)
    std::vector<std::string> leafNameUtf8;     // by category index
    for (const TopSpec& top : tables.tops) {
        const int topIndex = static_cast<int>(c.m_categories.size());
        c.m_categories.push_back({gbk(top.name), top.cat, top.market, 1, -1, topIndex, {}, top.shape});
        leavesOfTop.emplace_back();
        for (const GroupSpec& group : top.groups) {
            const int groupIndex = static_cast<int>(c.m_categories.size());
            c.m_categories[topIndex].children.push_back(groupIndex);
            const auto special = tables.groupShapes.find(group.name);
            const PictureShape shape = special == tables.groupShapes.end() ? top.shape : special->second;
            c.m_categories.push_back({gbk(group.name), std::to_string(50011000 + ++groupCounter), top.market, 2,
                                      topIndex, topIndex, {}, shape});
            for (const std::string& leaf : group.leaves) {
                const int leafIndex = static_cast<int>(c.m_categories.size());
                c.m_categories[groupIndex].children.push_back(leafIndex);
                c.m_categories.push_back(
                    {gbk(leaf), std::to_string(50021000 + ++leafCounter), top.market, 3, groupIndex, topIndex, {}, shape});
                leavesOfTop.back().push_back(leafIndex);
                allLeaves.push_back(leafIndex);
                groupOfLeaf.resize(c.m_categories.size(), nullptr);
                leafNameUtf8.resize(c.m_categories.size());
                groupOfLeaf[static_cast<std::size_t>(leafIndex)] = &group;
                leafNameUtf8[static_cast<std::size_t>(leafIndex)] = leaf;
            }
        }
    }
    for (int i = 0; i < static_cast<int>(c.m_categories.size()); ++i)
        c.m_categoryById.emplace(c.m_categories[i].cat, i);
    const auto topIndexOf = [&](int topOrdinal) {
        int seen = -1;
        for (int i = 0; i < static_cast<int>(c.m_categories.size()); ++i)
            if (c.m_categories[i].level == 1 && ++seen == topOrdinal)
                return i;
        return 0;
    };
    const int topCount = static_cast<int>(tables.tops.size());
    std::vector<int> topOrdinalOfIndex(c.m_categories.size(), 0);
    for (int t = 0; t < topCount; ++t)
        topOrdinalOfIndex[topIndexOf(t)] = t;
    const auto ordinalOf = [&](const CatalogueCategory& cat) { return topOrdinalOfIndex[cat.top]; };

    // Sellers. Index 0 is the fixed seller of today's picks.
    const int sellerCount = std::clamp(itemCount / 7, 60, 5000);
    std::set<std::string> nicks;
    int foodOrdinal = 0, homeOrdinal = 0;
    for (int t = 0; t < topCount; ++t) {
        if (tables.tops[t].name == "食品")
            foodOrdinal = t;
        if (tables.tops[t].name == "家居")
            homeOrdinal = t;
    }
    c.m_sellers.push_back({text::ShopNick(), gbk("杭州"), {}, 12, false, foodOrdinal});
    nicks.insert(c.m_sellers[0].nick);
    std::vector<std::string> brandUtf8Of{std::string()}; // by seller
    while (static_cast<int>(c.m_sellers.size()) < sellerCount) {
        CatalogueSeller s;
        s.homeTop = static_cast<int>(rng.Below(static_cast<std::uint64_t>(topCount)));
        const TopSpec& top = tables.tops[static_cast<std::size_t>(s.homeTop)];
        s.mall = rng.Chance(30);
        std::string nick;
        std::string brandUtf8;
        if (s.mall) {
            const GroupSpec& group = rng.Pick(top.groups);
            const std::string& brand = rng.Pick(GroupBrands(top, group));
            const std::string& kind = rng.Pick(tables.mallShopKinds);
            nick = gbk(brand) + gbk(kind);
            s.brand = gbk(brand);
            brandUtf8 = brand;
            s.ratesum = static_cast<int>(rng.Between(11, 20));
        } else {
            const std::string& prefix = rng.Pick(tables.nickPrefixes);
            const std::string& word = rng.Pick(top.shopWords);
            const std::string& tail = rng.Pick(tables.nickTails);
            nick = gbk(prefix) + gbk(word) + gbk(tail);
            s.ratesum = static_cast<int>((rng.Below(20) + rng.Below(20)) / 2 + 1);
        }
        s.nick = nick;
        if (nicks.count(s.nick)) {
            if (s.mall)
                continue; // draw another shop; a second flagship store of one brand does not exist
            s.nick = nick + std::to_string(rng.Between(2, 999));
            if (nicks.count(s.nick))
                continue;
        }
        s.location = gbk(rng.Pick(tables.cities));
        nicks.insert(s.nick);
        c.m_sellers.push_back(std::move(s));
        brandUtf8Of.push_back(std::move(brandUtf8));
    }
    // The leaves a seller sells in: a mall shop only where its brand belongs.
    const auto topOfLeaf = [&](int leaf) -> const TopSpec& {
        return tables.tops[static_cast<std::size_t>(ordinalOf(c.m_categories[leaf]))]; };
    std::vector<std::vector<int>> sellerLeaves(static_cast<std::size_t>(sellerCount));
    for (int i = 0; i < sellerCount; ++i) {
        const CatalogueSeller& s = c.m_sellers[i];
        for (int leaf : leavesOfTop[static_cast<std::size_t>(s.homeTop)]) {
            const auto& brands = GroupBrands(topOfLeaf(leaf), *groupOfLeaf[static_cast<std::size_t>(leaf)]);
            if (!s.mall || std::find(brands.begin(), brands.end(), brandUtf8Of[static_cast<std::size_t>(i)]) != brands.end())
                sellerLeaves[static_cast<std::size_t>(i)].push_back(leaf);
        }
    }
    const auto sellsIn = [&](int seller, int leaf) {
        const auto& leaves = sellerLeaves[static_cast<std::size_t>(seller)];
        return std::find(leaves.begin(), leaves.end(), leaf) != leaves.end();
    };

    // Which seller sells what, first the guarantees, then the rest by popularity.
    std::vector<Plan> plan;
    std::vector<int> itemsOfSeller(static_cast<std::size_t>(sellerCount), 0);
    const auto add = [&](int seller, int leaf) {
        plan.push_back({seller, leaf});
        ++itemsOfSeller[static_cast<std::size_t>(seller)];
    };
    for (int i = 0; i < kShopItems; ++i) {
        const int ordinal = rng.Chance(60) ? foodOrdinal : homeOrdinal;
        add(0, rng.Pick(leavesOfTop[static_cast<std::size_t>(ordinal)]));
    }
    for (int leaf : allLeaves) {
        std::vector<int> pool;
        for (int s = 1; s < sellerCount; ++s)
            if (sellsIn(s, leaf))
                pool.push_back(s);
        for (int s = 1; s < sellerCount && pool.empty(); ++s)
            if (!c.m_sellers[s].mall)
                pool.push_back(s); // nobody's home: any small seller takes it
        for (int k = 0; k < kItemsPerLeaf; ++k)
            add(pool.empty() ? 0 : rng.Pick(pool), leaf);
    }
    for (int s = 1; s < sellerCount; ++s)
        if (itemsOfSeller[static_cast<std::size_t>(s)] == 0)
            add(s, rng.Pick(sellerLeaves[static_cast<std::size_t>(s)]));
    std::vector<std::uint64_t> cumulative;
    std::uint64_t total = 0;
    for (int s = 1; s < sellerCount; ++s) {
        total += 100000 / static_cast<std::uint64_t>(s + 10);
        cumulative.push_back(total);
    }
    while (static_cast<int>(plan.size()) < itemCount) {
        const std::uint64_t draw = rng.Below(total);
        const int seller =
            1 + static_cast<int>(std::upper_bound(cumulative.begin(), cumulative.end(), draw) - cumulative.begin());
        const int leaf = c.m_sellers[seller].mall || rng.Chance(85)
                             ? rng.Pick(sellerLeaves[static_cast<std::size_t>(seller)])
                             : rng.Pick(allLeaves);
        add(seller, leaf);
    }

    // The items themselves.
    std::set<std::uint64_t> ids;
    static const std::vector<int> kCentEndings = {0, 0, 0, 0, 90, 80, 50, 99, 88, 68};
    static const std::vector<int> kPostage = {5, 6, 8, 10, 12, 15, 20};
    c.m_items.reserve(plan.size());
    for (const Plan& p : plan) {
        const TopSpec& top = topOfLeaf(p.leaf);
        const GroupSpec& group = *groupOfLeaf[static_cast<std::size_t>(p.leaf)];
        const CatalogueSeller& seller = c.m_sellers[p.seller];

        CatalogueItem item;
        item.leaf = p.leaf;
        item.seller = p.seller;
        do {
            item.id = 10000000000ULL + rng.Below(90000000000ULL);
        } while (!ids.insert(item.id).second);
        item.idText = std::to_string(item.id);

        std::string brandUtf8;
        if (seller.mall)
            brandUtf8 = brandUtf8Of[static_cast<std::size_t>(p.seller)];
        else if (rng.Chance(70))
            brandUtf8 = rng.Pick(GroupBrands(top, group));
        std::vector<std::string> words;
        if (rng.Chance(50))
            words.push_back(rng.Pick(tables.titlePrefixes));
        if (!brandUtf8.empty())
            words.push_back(brandUtf8);
        const int attributeCount = static_cast<int>(rng.Between(1, 3));
        std::vector<std::string> attributes = group.attributes;
        for (int a = 0; a < attributeCount && !attributes.empty(); ++a) {
            const auto at = static_cast<std::size_t>(rng.Below(attributes.size()));
            words.push_back(attributes[at]);
            attributes.erase(attributes.begin() + static_cast<std::ptrdiff_t>(at));
        }
        words.push_back(leafNameUtf8[static_cast<std::size_t>(p.leaf)]);
        if (rng.Chance(30))
            words.push_back(rng.Pick(tables.titleSuffixes));
        for (std::size_t w = 0; w < words.size(); ++w) {
            if (w > 0 && rng.Chance(30)) {
                item.titleUtf8 += ' ';
                item.title += ' ';
            }
            item.titleUtf8 += words[w];
            item.title += gbk(words[w]);
        }
        item.brand = brandUtf8.empty() ? std::string() : gbk(brandUtf8);

        const std::int64_t a = static_cast<std::int64_t>(rng.Below(1000));
        const std::int64_t b = static_cast<std::int64_t>(rng.Below(1000));
        const std::int64_t yuan = group.priceLow + (group.priceHigh - group.priceLow) * a * b / 1000000;
        item.priceCents = yuan * 100 + rng.Pick(kCentEndings);
        item.price = MoneyText(item.priceCents);
        const bool freeShipping = seller.mall ? rng.Chance(85) : rng.Chance(55);
        item.ship = MoneyText(freeShipping ? 0 : std::int64_t{100} * rng.Pick(kPostage));

        const std::int64_t x = static_cast<std::int64_t>(rng.Below(100000)) + 1;
        std::int64_t sales = std::max<std::int64_t>(0, 300000 / x - 3);
        if (seller.mall)
            sales = sales * 2 + static_cast<std::int64_t>(rng.Below(5));
        if (p.seller == 0)
            sales += 20 + static_cast<std::int64_t>(rng.Below(200));
        item.sales = std::min<std::int64_t>(sales, 199999);
        item.salesText = std::to_string(item.sales);
        item.pictureCode = PictureCode(item.id);
        item.hue = static_cast<int>(rng.Below(360));
        c.m_items.push_back(std::move(item));
    }

    for (int i = 0; i < static_cast<int>(c.m_items.size()); ++i) {
        c.m_itemById.emplace(c.m_items[i].idText, i);
        c.m_itemByPicture.emplace(c.m_items[i].pictureCode, i);
        c.m_salesOrder.push_back(i);
    }
    std::sort(c.m_salesOrder.begin(), c.m_salesOrder.end(), [&](int l, int r) {
        const CatalogueItem& a = c.m_items[l];
        const CatalogueItem& b = c.m_items[r];
        return a.sales != b.sales ? a.sales > b.sales : a.id < b.id;
    });

    // The sellers the configuration leaves out: the three small sellers with the most items.
    std::vector<int> candidates;
    for (int s = 1; s < sellerCount; ++s)
        if (!c.m_sellers[s].mall)
            candidates.push_back(s);
    std::stable_sort(candidates.begin(), candidates.end(), [&](int l, int r) {
        return itemsOfSeller[static_cast<std::size_t>(l)] > itemsOfSeller[static_cast<std::size_t>(r)];
    });
    for (std::size_t i = 0; i < 3 && i < candidates.size(); ++i)
        c.m_excludedNicks.push_back(c.m_sellers[candidates[i]].nick);
    for (const std::string& text : tables.announcements)
        c.m_announcements.push_back(Utf8ToGbk(text));
    return c;
}

const CatalogueItem* Catalogue::FindItem(std::string_view idText) const
{
    auto it = m_itemById.find(std::string(idText));
    return it == m_itemById.end() ? nullptr : &m_items[static_cast<std::size_t>(it->second)];
}

const CatalogueItem* Catalogue::FindItemByPicture(std::string_view code) const
{
    auto it = m_itemByPicture.find(std::string(code));
    return it == m_itemByPicture.end() ? nullptr : &m_items[static_cast<std::size_t>(it->second)];
}

int Catalogue::FindCategory(std::string_view cat) const
{
    auto it = m_categoryById.find(std::string(cat));
    return it == m_categoryById.end() ? -1 : it->second;
}

int Catalogue::FindMarket(std::string_view path) const
{
    for (int i = 0; i < static_cast<int>(m_categories.size()); ++i)
        if (m_categories[i].level == 1 && m_categories[i].market == path)
            return i;
    return -1;
}

bool Catalogue::InCategory(const CatalogueItem& item, int category) const
{
    for (int c = item.leaf; c >= 0; c = m_categories[static_cast<std::size_t>(c)].parent)
        if (c == category)
            return true;
    return false;
}

} // namespace yfx::server
