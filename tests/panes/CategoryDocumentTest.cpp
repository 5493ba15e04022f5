// Reading the category document into nodes.
#include "market/Gbk.h"
#include "panes/CategoryDocument.h"

#include <gtest/gtest.h>

namespace {

TEST(CategoryDocument, ThreeLevelsInDocumentOrder)
{
    const std::string doc = R"([
      {"name":"A","cat":"1","market":"/market/a.htm","catGroupList":[
        {"name":"A1","cat":"11","market":"/market/a1.htm","catGroupList":[
          {"name":"A1x","cat":"111","market":"/market/own.htm","catGroupList":[{"name":"deep","cat":"9"}]},
          {"name":"A1y","cat":"112"}]},
        {"name":"A2","cat":"12"}]},
      {"name":"B","cat":"2","market":"","catGroupList":[]},
      {"cat":"3"}
    ])";
    const auto top = ParseCategoryDocument(doc);
    ASSERT_EQ(top.size(), 3u);
    EXPECT_EQ(top[0].data.name, "A");
    EXPECT_EQ(top[0].data.market, "/market/a.htm");
    ASSERT_EQ(top[0].children.size(), 2u);
    const auto& a1 = top[0].children[0];
    EXPECT_EQ(a1.data.cat, "11");
    ASSERT_EQ(a1.children.size(), 2u);
    // third level: own market ignored, parent's taken; fourth level not shown
    EXPECT_EQ(a1.children[0].data.name, "A1x");
    EXPECT_EQ(a1.children[0].data.market, "/market/a1.htm");
    EXPECT_TRUE(a1.children[0].children.empty());
    EXPECT_EQ(a1.children[1].data.cat, "112");
    // second level without a market keeps an empty one; its children would take it
    EXPECT_EQ(top[0].children[1].data.market, "");
    EXPECT_TRUE(top[1].children.empty());
    // missing members read as empty
    EXPECT_EQ(top[2].data.name, "");
    EXPECT_EQ(top[2].data.cat, "3");
}

TEST(CategoryDocument, UnreadableOrEmptyGivesNoNodes)
{
    for (const char* text : {"", "[]", "{}", "null", "<html>", "[{\"name\":\"x\"}", "\"text\""})
        EXPECT_TRUE(ParseCategoryDocument(text).empty()) << text;
    EXPECT_TRUE(ParseCategoryDocument(std::string(5000, '[')).empty());
}

TEST(CategoryDocument, LongDocumentsAndManyNodesAreBounded)
{
    // At the text bound the document is read; one byte more and it is not.
    const std::string doc = R"([{"name":"A","cat":"1"}])";
    std::string text = doc;
    text.insert(text.size() - 1, kMaxCategoryDocumentBytes - doc.size(), ' ');
    EXPECT_EQ(ParseCategoryDocument(text).size(), 1u);
    EXPECT_TRUE(ParseCategoryDocument(text.insert(1, " ")).empty());

    // Nodes beyond the node bound are left out, counted depth first over every level.
    std::string many = R"([{"name":"A","catGroupList":[)";
    for (std::size_t i = 0; i < kMaxCategoryNodes; ++i)
        many += std::string(i ? "," : "") + R"({"cat":")" + std::to_string(i) + "\"}";
    many += R"(]},{"name":"B"}])";
    ASSERT_LE(many.size(), kMaxCategoryDocumentBytes);
    const auto top = ParseCategoryDocument(many);
    ASSERT_EQ(top.size(), 1u);
    ASSERT_EQ(top[0].children.size(), kMaxCategoryNodes - 1);
    EXPECT_EQ(top[0].children.back().data.cat, std::to_string(kMaxCategoryNodes - 2));

    // 300 000 empty first-level entries: the first kMaxCategoryNodes only.
    std::string empties = "[";
    for (int i = 0; i < 300000; ++i)
        empties += i ? ",{}" : "{}";
    empties += "]";
    EXPECT_EQ(ParseCategoryDocument(empties).size(), kMaxCategoryNodes);
}

TEST(CategoryDocument, OtherValueTypesKeepTheTreeUsable)
{
    const auto top = ParseCategoryDocument(R"([
      {"name":["x"],"cat":16,"market":{"a":1},"catGroupList":{"name":"not a list"}},
      "plain",
      {"name":"C","catGroupList":[7, {"name":"C1","market":"/m","catGroupList":"no"}]}
    ] /* comment */)");
    ASSERT_EQ(top.size(), 3u);
    EXPECT_EQ(top[0].data.name, "");
    EXPECT_EQ(top[0].data.cat, "16");
    EXPECT_EQ(top[0].data.market, "");
    EXPECT_TRUE(top[0].children.empty());
    EXPECT_EQ(top[1].data.name, "");
    ASSERT_EQ(top[2].children.size(), 2u);
    EXPECT_EQ(top[2].children[1].data.market, "/m");
    EXPECT_TRUE(top[2].children[1].children.empty());
}

TEST(CategoryDocument, GbkNamesStayBytes)
{
    const std::string name = yfx::Utf8ToGbk("女装");
    const auto top = ParseCategoryDocument("[{\"name\":\"" + name + "\",\"cat\":\"16\"}]");
    ASSERT_EQ(top.size(), 1u);
    EXPECT_EQ(top[0].data.name, name);
    EXPECT_EQ(RootCategory().name, yfx::Utf8ToGbk("所有市场"));
    EXPECT_EQ(RootCategory().cat, "0");
    EXPECT_EQ(RootCategory().market, "");
}

} // namespace
