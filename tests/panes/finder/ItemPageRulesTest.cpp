// Recognising item pages, taking the keyword from a title, and numbering the candidate menu.
#include "panes/finder/ItemPageRules.h"

#include "tests/panes/finder/FinderTestSupport.h"

#include <gtest/gtest.h>

#include <climits>

namespace yfx {
namespace {

using test::Gbk;
using test::ItemHosts;
using test::kMallItemBase;
using test::kMarketItemBase;

TEST(ItemPagePrefix, IsTheEndpointWithTheItemPath)
{
    {
        ItemHosts hosts(kMarketItemBase, kMallItemBase);
        EXPECT_EQ(ItemPagePrefix(Endpoint::MarketItem), "http://item.taobao.com/item.htm?");
        EXPECT_EQ(ItemPagePrefix(Endpoint::MallItem), "http://detail.tmall.com/item.htm?");
    }
    ItemHosts local("http://127.0.0.1:8080/", "http://127.0.0.1:8081");
    EXPECT_EQ(ItemPagePrefix(Endpoint::MarketItem), "http://127.0.0.1:8080/item.htm?");
    EXPECT_EQ(ItemPagePrefix(Endpoint::MallItem), "http://127.0.0.1:8081/item.htm?");
}

struct UrlCase {
    const char* url;
    bool itemPage;
};

void PrintTo(const UrlCase& c, std::ostream* os)
{
    *os << c.url;
}

class IsItemPageTest : public ::testing::TestWithParam<UrlCase> {};

TEST_P(IsItemPageTest, MatchesEitherPrefixAnywhereCaseSensitively)
{
    ItemHosts hosts(kMarketItemBase, kMallItemBase);
    EXPECT_EQ(IsItemPage(GetParam().url), GetParam().itemPage) << GetParam().url;
}

INSTANTIATE_TEST_SUITE_P(
    Urls, IsItemPageTest,
    ::testing::Values(UrlCase{"http://item.taobao.com/item.htm?id=123", true},
                      UrlCase{"http://detail.tmall.com/item.htm?id=456&spm=a1", true},
                      UrlCase{"http://item.taobao.com/item.htm?", true},
                      // the prefix may stand anywhere in the address
                      UrlCase{"http://s.taobao.com/r?to=http://detail.tmall.com/item.htm?id=1", true},
                      // the secure scheme never matches
                      UrlCase{"https://item.taobao.com/item.htm?id=123", false},
                      UrlCase{"https://detail.tmall.com/item.htm?id=456", false},
                      // case-sensitive
                      UrlCase{"http://ITEM.taobao.com/item.htm?id=1", false},
                      UrlCase{"http://item.taobao.com/Item.htm?id=1", false},
                      UrlCase{"HTTP://detail.tmall.com/item.htm?id=1", false},
                      // path and query start must be exactly "/item.htm?"
                      UrlCase{"http://item.taobao.com/item.htm", false},
                      UrlCase{"http://item.taobao.com/item.html?id=1", false},
                      UrlCase{"http://item.taobao.com:80/item.htm?id=1", false},
                      // other hosts
                      UrlCase{"http://www.taobao.com/", false},
                      UrlCase{"http://list.tmall.com/item.htm?id=1", false},
                      UrlCase{"http://item.taobao.com.example/x", false}, UrlCase{"about:blank", false},
                      UrlCase{"", false}),
    [](const ::testing::TestParamInfo<UrlCase>& info) { return "Url" + std::to_string(info.index); });

TEST(IsItemPage, FollowsTheEndpoints)
{
    const std::string url = "http://127.0.0.1:8080/item.htm?id=7";
    {
        ItemHosts hosts(kMarketItemBase, kMallItemBase);
        EXPECT_FALSE(IsItemPage(url));
    }
    {
        ItemHosts local("http://127.0.0.1:8080", kMallItemBase);
        EXPECT_TRUE(IsItemPage(url));
    }
    ItemHosts local("http://127.0.0.1:9", "http://127.0.0.1:8080");
    EXPECT_TRUE(IsItemPage(url));
}

struct TitleCase {
    const char* name;
    std::string title;   // GBK
    std::string keyword; // GBK
};

void PrintTo(const TitleCase& c, std::ostream* os)
{
    *os << c.name;
}

class KeywordFromTitleTest : public ::testing::TestWithParam<TitleCase> {};

TEST_P(KeywordFromTitleTest, TakesTheTextBeforeTheLastHyphen)
{
    EXPECT_EQ(KeywordFromTitle(GetParam().title), GetParam().keyword);
}

INSTANTIATE_TEST_SUITE_P(
    Titles, KeywordFromTitleTest,
    ::testing::Values(TitleCase{"MarketTitle", Gbk("红色连衣裙 夏季-淘宝网"), Gbk("红色连衣裙 夏季")},
                      TitleCase{"MallTitle", Gbk("男士皮鞋-tmall.com天猫"), Gbk("男士皮鞋")},
                      TitleCase{"LastOfSeveral", Gbk("a-b-c"), Gbk("a-b")},
                      TitleCase{"NoHyphenTakenWhole", Gbk("没有连字符的标题"), Gbk("没有连字符的标题")},
                      TitleCase{"OnlyHyphenFirstGivesEmpty", Gbk("-淘宝网"), ""},
                      TitleCase{"HyphenAlone", "-", ""}, TitleCase{"HyphenLast", "end-", "end"},
                      TitleCase{"SpaceBeforeHyphenStays", Gbk("手机壳 -淘宝网"), Gbk("手机壳 ")},
                      TitleCase{"LeadingSpaceStays", Gbk("  手机-x"), Gbk("  手机")},
                      TitleCase{"Empty", "", ""},
                      // a lead byte followed by '-': that '-' is the second byte of a double-byte character
                      TitleCase{"TrailByteIsNotAHyphen", "ab\x81-cd", "ab\x81-cd"},
                      TitleCase{"TrailByteOnlyHyphenAfterAChar", "\x81-", "\x81-"},
                      TitleCase{"RealHyphenBeforeTrailByte", "x-y\x81-z", "x"},
                      TitleCase{"RealHyphenAfterTrailByte", "\x81-x-y", "\x81-x"},
                      TitleCase{"LoneLeadByteAtTheEnd", "ab-\x81", "ab"}),
    [](const ::testing::TestParamInfo<TitleCase>& info) { return std::string(info.param.name); });

TEST(FindItemTitles, KeepsItemPagesInOrderWithDuplicates)
{
    ItemHosts hosts(kMarketItemBase, kMallItemBase);
    const std::vector<BrowserPage> pages = {
        {"http://item.taobao.com/item.htm?id=1", "红色连衣裙-淘宝网"},
        {"https://item.taobao.com/item.htm?id=2", "安全页面-淘宝网"},
        {"http://www.baidu.com/s?wd=x", "百度一下-百度"},
        {"http://detail.tmall.com/item.htm?id=3", "男士皮鞋-tmall.com天猫"},
        {"http://item.taobao.com/item.htm?id=1", "红色连衣裙-淘宝网"},
        {"http://item.taobao.com/item.htm?id=4", "没有连字符"},
        {"http://item.taobao.com/item.htm?id=5", "-开头"},
        {"http://item.taobao.com/item.htm?id=6", ""},
        {"http://item.taobao.com/item.htm?id=7", "表情😀-淘宝网"},
    };
    const std::vector<std::string> expected = {
        Gbk("红色连衣裙"), Gbk("男士皮鞋"), Gbk("红色连衣裙"), Gbk("没有连字符"), "", "", Gbk("表情") + "?",
    };
    EXPECT_EQ(FindItemTitles(pages), expected);
}

TEST(FindItemTitles, NoItemPagesGivesNothing)
{
    ItemHosts hosts(kMarketItemBase, kMallItemBase);
    EXPECT_TRUE(FindItemTitles({}).empty());
    EXPECT_TRUE(
        FindItemTitles({{"https://item.taobao.com/item.htm?id=1", "a-b"}, {"about:blank", ""}}).empty());
}

TEST(FindItemTitles, ConvertsTheAddressToGbkBeforeMatching)
{
    // an endpoint whose base carries non-ASCII text is matched on its GBK bytes
    ItemHosts hosts("http://127.0.0.1:8080/" + Gbk("店"), kMallItemBase);
    EXPECT_EQ(FindItemTitles({{"http://127.0.0.1:8080/店/item.htm?id=1", "鞋-x"}}),
              std::vector<std::string>{Gbk("鞋")});
}

struct MenuCountCase {
    std::size_t titles;
    int entries;
};

void PrintTo(const MenuCountCase& c, std::ostream* os)
{
    *os << c.titles;
}

class CandidateMenuCountTest : public ::testing::TestWithParam<MenuCountCase> {};

TEST_P(CandidateMenuCountTest, ShowsAtMostTen)
{
    EXPECT_EQ(CandidateMenuCount(GetParam().titles), GetParam().entries);
}

INSTANTIATE_TEST_SUITE_P(Counts, CandidateMenuCountTest,
                         ::testing::Values(MenuCountCase{0, 0}, MenuCountCase{1, 1}, MenuCountCase{2, 2},
                                           MenuCountCase{9, 9}, MenuCountCase{10, 10}, MenuCountCase{11, 10},
                                           MenuCountCase{12, 10}, MenuCountCase{SIZE_MAX, 10}),
                         [](const ::testing::TestParamInfo<MenuCountCase>& info) {
                             return "Titles" + std::to_string(info.index);
                         });

struct CommandCase {
    int commandId;
    std::size_t candidates;
    int index;
};

void PrintTo(const CommandCase& c, std::ostream* os)
{
    *os << c.commandId << " of " << c.candidates;
}

class CandidateIndexTest : public ::testing::TestWithParam<CommandCase> {};

TEST_P(CandidateIndexTest, ResolvesOnlyShownEntries)
{
    EXPECT_EQ(CandidateIndex(GetParam().commandId, GetParam().candidates), GetParam().index)
        << GetParam().commandId << " of " << GetParam().candidates;
}

INSTANTIATE_TEST_SUITE_P(Commands, CandidateIndexTest,
                         ::testing::Values(CommandCase{32772, 2, 0}, CommandCase{32773, 2, 1},
                                           CommandCase{32774, 2, -1}, // beyond the list
                                           CommandCase{32771, 5, -1}, // below the first id
                                           CommandCase{32772, 0, -1}, // list emptied since
                                           CommandCase{32781, 12, 9}, CommandCase{32782, 12, -1},
                                           CommandCase{INT_MIN, 5, -1}, CommandCase{INT_MAX, 5, -1}),
                         [](const ::testing::TestParamInfo<CommandCase>& info) {
                             return "Command" + std::to_string(info.index);
                         });

TEST(Candidates, TwelveItemPagesOfferTheFirstTen)
{
    ItemHosts hosts(kMarketItemBase, kMallItemBase);
    std::vector<BrowserPage> pages;
    for (int i = 0; i < 12; ++i)
        pages.push_back(
            {"http://item.taobao.com/item.htm?id=" + std::to_string(i), "item" + std::to_string(i) + "-x"});
    const std::vector<std::string> titles = FindItemTitles(pages);
    ASSERT_EQ(titles.size(), 12u);
    ASSERT_EQ(CandidateMenuCount(titles.size()), 10);
    for (int i = 0; i < CandidateMenuCount(titles.size()); ++i) {
        int index = CandidateIndex(kFirstCandidateId + i, titles.size());
        ASSERT_EQ(index, i);
        EXPECT_EQ(titles[static_cast<std::size_t>(index)], "item" + std::to_string(i));
    }
    EXPECT_EQ(CandidateIndex(kFirstCandidateId + 10, titles.size()), -1);
    EXPECT_EQ(CandidateIndex(kFirstCandidateId + 11, titles.size()), -1);
}

} // namespace
} // namespace yfx
