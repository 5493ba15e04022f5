#include "panes/CategoryDocument.h"

#include "market/Gbk.h"
#include "market/JsonText.h"

namespace {

using yfx::json::Member;
using yfx::json::MemberText;

CatNodeData ReadEntry(const yfx::json::Document& doc, const Json::Value& entry, const std::string* parentMarket)
{
    CatNodeData data;
    data.name = MemberText(doc, entry, "name");
    data.cat = MemberText(doc, entry, "cat");
    data.market = parentMarket ? *parentMarket : MemberText(doc, entry, "market");
    return data;
}

const Json::Value& Groups(const Json::Value& entry)
{
    static const Json::Value empty(Json::arrayValue);
    const Json::Value& list = Member(entry, "catGroupList");
    return list.isArray() ? list : empty;
}

std::vector<CategoryNode> ReadDocument(const std::string& text)
{
    std::vector<CategoryNode> top;
    if (text.size() > kMaxCategoryDocumentBytes)
        return top;
    yfx::json::Document doc;
    if (!yfx::json::Parse(text, doc) || !doc.root.isArray())
        return top;
    std::size_t nodes = 0;
    for (const Json::Value& first : doc.root) {
        if (nodes++ == kMaxCategoryNodes)
            return top;
        CategoryNode& n1 = top.emplace_back();
        n1.data = ReadEntry(doc, first, nullptr);
        for (const Json::Value& second : Groups(first)) {
            if (nodes++ == kMaxCategoryNodes)
                return top;
            CategoryNode& n2 = n1.children.emplace_back();
            n2.data = ReadEntry(doc, second, nullptr);
            for (const Json::Value& third : Groups(second)) {
                if (nodes++ == kMaxCategoryNodes)
                    return top;
                CategoryNode& n3 = n2.children.emplace_back();
                n3.data = ReadEntry(doc, third, &n2.data.market);
            }
        }
    }
    return top;
}

} // namespace

std::vector<CategoryNode> ParseCategoryDocument(const std::string& text)
{
    try {
        return ReadDocument(text);
    } catch (...) {
        return {}; // out of memory while reading: no nodes rather than an exception
    }
}

CatNodeData RootCategory()
{
    return {yfx::Utf8ToGbk("所有市场"), "", "0"};
}
