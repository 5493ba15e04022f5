#pragma once
// The category document ("/set/tbcat.jpg" on the configuration server): a JSON array of
// first-level entries {"name","cat","market","catGroupList":[second level]}; second-level
// entries have the same members, their "catGroupList" holds the third level, whose entries
// are read for "name" and "cat" only and take "market" from their parent. Deeper levels are
// ignored. Texts stay GBK bytes.
#include <cstddef>
#include <string>
#include <vector>

// The longest category document that is read (the marketplace's tree of a few thousand nodes is
// well under it); a longer text gives no nodes, like one that does not parse.
constexpr std::size_t kMaxCategoryDocumentBytes = std::size_t{1} << 20;
// The most nodes read from a document, all levels together, in document order (depth first);
// entries after that many are left out, so that the tree control stays quick to build.
constexpr std::size_t kMaxCategoryNodes = 10000;

struct CatNodeData {
    std::string name;   // node text
    std::string market; // list page path for the ranking; empty: the default list page
    std::string cat;    // category id
};

struct CategoryNode {
    CatNodeData data;
    std::vector<CategoryNode> children; // document order
};

// The first-level nodes of a document, in document order. A text that does not parse, is
// longer than kMaxCategoryDocumentBytes or whose root is not an array gives none; memory
// running out gives none too. A missing member, or one holding an array or object, reads as
// ""; a number reads as the text the document gave; an entry that is not an object still
// gives a node (all texts empty) but no children. At most kMaxCategoryNodes nodes. Never
// throws.
std::vector<CategoryNode> ParseCategoryDocument(const std::string& text);

// The root node's data: "所有市场" (GBK), market "", cat "0".
CatNodeData RootCategory();
