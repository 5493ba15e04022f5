// libFuzzer: any text read as the category document gives a tree of at most three levels and
// at most kMaxCategoryNodes nodes, and never more nodes than the text has bytes.
#include "panes/CategoryDocument.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

std::size_t Count(const std::vector<CategoryNode>& nodes, int level)
{
    if (level > 3 && !nodes.empty())
        __builtin_trap();
    std::size_t n = nodes.size();
    for (const CategoryNode& node : nodes)
        n += Count(node.children, level + 1);
    return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<CategoryNode> top = ParseCategoryDocument(text);
    const std::size_t nodes = Count(top, 1);
    if (nodes > kMaxCategoryNodes || nodes > size)
        __builtin_trap();
    // Third-level nodes take their parent's market.
    for (const CategoryNode& first : top)
        for (const CategoryNode& second : first.children)
            for (const CategoryNode& third : second.children)
                if (third.data.market != second.data.market)
                    __builtin_trap();
    return 0;
}
