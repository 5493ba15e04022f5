#pragma once
// The fixed word material the catalogue is generated from: the category tree with its price
// bands and attribute words, brands, seller-name parts, cities and announcements. All texts
// are UTF-8 here; the catalogue turns them into GBK.
#include <map>
#include <string>
#include <vector>

namespace yfx::server {

// How an item of a first-level category is drawn on its picture.
enum class PictureShape { Garment, Shoe, Bag, Device, Bottle, Box, Food };

struct GroupSpec {
    std::string name;
    int priceLow = 1;   // yuan
    int priceHigh = 10; // yuan
    std::vector<std::string> leaves;     // third-level names; also the product word of a title
    std::vector<std::string> attributes; // title words
    std::vector<std::string> brands;     // brands of this group; empty: the first level's
};

struct TopSpec {
    std::string name;
    std::string cat;    // category id
    std::string market; // list page path of this market
    PictureShape shape = PictureShape::Box;
    std::vector<GroupSpec> groups;
    std::vector<std::string> brands;    // brands of groups that name none of their own
    std::vector<std::string> shopWords; // middle part of a small seller's name
};

struct CatalogueTables {
    std::vector<TopSpec> tops;
    std::vector<std::string> titlePrefixes;
    std::vector<std::string> titleSuffixes;
    std::vector<std::string> nickPrefixes;
    std::vector<std::string> nickTails;
    std::vector<std::string> mallShopKinds;
    std::vector<std::string> cities; // weighted by repetition
    std::vector<std::string> announcements;
    std::map<std::string, PictureShape> groupShapes; // groups drawn unlike their first level
};

// The brands of a group: its own, else its first level's.
const std::vector<std::string>& GroupBrands(const TopSpec& top, const GroupSpec& group);

// The one table, built on first use.
const CatalogueTables& GetCatalogueTables();

} // namespace yfx::server
