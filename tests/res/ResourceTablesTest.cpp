// The string table, dialog templates and menus as data (no window system).
#include "res/Resources.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace yfx::res;
using Kind = DialogControl::Kind;

namespace {

TEST(ResourceStrings, EveryNumberedString)
{
    const std::pair<int, const char*> table[] = {
        {101, "OLE 初始化失败。请确保 OLE 库是正确的版本。"},
        {125, "自定义..."},
        {132, "窗口(&W)..."},
        {251, "自助搜索"},
        {252, "快捷方式"},
        {253, "热卖排行"},
        {254, "悦丰选今日推荐"},
        {258, "Outlook 栏"},
        {57344, "悦丰选网购助手"},
        {57345, "就绪"},
        {59137, "CAP"},
        {59138, "NUM"},
        {59139, "SCRL"},
    };
    for (const auto& [id, text] : table)
        EXPECT_EQ(String(id), QString::fromUtf8(text)) << id;
}

TEST(ResourceStrings, UnknownNumbersAreEmpty)
{
    for (int id : {0, -1, 100, 102, 250, 255, 57343, 57346, 59136, 59140})
        EXPECT_TRUE(String(id).isEmpty()) << id;
}

struct Row {
    int id;
    Kind kind;
    const char* text;
    int x, y, w, h;
    unsigned style;
};

void ExpectRows(const DialogTemplate& dlg, const std::vector<Row>& rows)
{
    ASSERT_EQ(dlg.controls.size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const DialogControl& c = dlg.controls[i];
        const Row& r = rows[i];
        SCOPED_TRACE(testing::Message() << "template " << dlg.id << " row " << i);
        EXPECT_EQ(c.id, r.id);
        EXPECT_EQ(c.kind, r.kind);
        EXPECT_EQ(c.text, QString::fromUtf8(r.text));
        EXPECT_EQ(c.rect, QRect(r.x, r.y, r.w, r.h));
        EXPECT_EQ(c.style, r.style);
    }
}

constexpr unsigned kEdit = DialogControl::Border | DialogControl::TabStop | DialogControl::AutoHScroll;
constexpr unsigned kButton = DialogControl::TabStop;

const char kUsage[] =
    "    1、点击 ［对比当前浏览的商品］按钮即可查找到所有同款商品，您可以根据您的喜好选择［按销量排序］或是［按价格排序］，"
    "方便快捷的找到您最满意的商品；\n\n"
    "    2、您也可以任意输入您想寻找的商品名称来查找您想要的商品，并可根据您的喜好选择［按销量排序］或是［按价格排序］，"
    "并可根据您设置的［价格］和［物流］进行筛选（不填默认显示全部同款商品）";

TEST(ResourceDialogs, SearchPaneTemplate309)
{
    const DialogTemplate* dlg = Dialog(309);
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(dlg->id, 309);
    EXPECT_EQ(dlg->size, QSize(140, 275));
    EXPECT_EQ(dlg->fontName, QStringLiteral("MS Shell Dlg"));
    EXPECT_EQ(dlg->pointSize, 9);
    ExpectRows(*dlg, {
        {1000, Kind::Edit, "", 41, 54, 84, 14, kEdit},
        {1004, Kind::Edit, "", 41, 73, 40, 14, kEdit},
        {1006, Kind::Edit, "", 85, 73, 40, 14, kEdit},
        {1008, Kind::Edit, "", 41, 90, 84, 14, kEdit},
        {1002, Kind::Edit, "", 41, 109, 84, 14, kEdit},
        {1015, Kind::Button, "清除", 13, 129, 52, 14, kButton},
        {1010, Kind::Button, "搜索", 73, 129, 52, 14, kButton},
        {1013, Kind::Button, " 搜索更多当前浏览的商品", 13, 9, 112, 14, kButton},
        {1017, Kind::Button, "按销量排序", 13, 25, 52, 14, kButton},
        {1018, Kind::Button, "按价格排序", 73, 25, 52, 14, kButton},
        {-1, Kind::Label, "关键字：", 13, 57, 28, 8, DialogControl::AlignLeft},
        {-1, Kind::Label, "排除：", 19, 111, 22, 8, DialogControl::AlignLeft},
        {-1, Kind::Label, "价格：", 19, 75, 22, 8, DialogControl::AlignLeft},
        {-1, Kind::Label, "物流：", 19, 90, 22, 8, DialogControl::AlignLeft},
        {-1, Kind::GroupBox, "", 8, 44, 125, 105, 0},
        {-1, Kind::Label, kUsage, 14, 166, 114, 102, DialogControl::AlignLeft},
        {-1, Kind::GroupBox, "使用说明", 8, 154, 125, 115, 0},
        {-1, Kind::GroupBox, "", 8, 0, 125, 44, 0},
    });
}

TEST(ResourceDialogs, UsageTextIsTwoParagraphsOfFourSpaceIndent)
{
    const DialogTemplate* dlg = Dialog(309);
    ASSERT_NE(dlg, nullptr);
    const QString usage = dlg->controls.at(15).text;
    const QStringList paragraphs = usage.split(QStringLiteral("\n\n"));
    ASSERT_EQ(paragraphs.size(), 2);
    for (const QString& p : paragraphs) {
        EXPECT_TRUE(p.startsWith(QStringLiteral("    ")));
        EXPECT_NE(p.at(4), QLatin1Char(' '));
        EXPECT_FALSE(p.contains(QLatin1Char('\n')));
    }
    EXPECT_TRUE(paragraphs[0].startsWith(QStringLiteral("    1、点击 ［")));
    EXPECT_TRUE(paragraphs[0].endsWith(QStringLiteral("商品；")));
    EXPECT_TRUE(paragraphs[1].startsWith(QStringLiteral("    2、")));
    EXPECT_TRUE(paragraphs[1].endsWith(QStringLiteral("（不填默认显示全部同款商品）")));
    // full-width brackets and punctuation, not their ASCII look-alikes
    EXPECT_EQ(usage.count(QChar(0xFF3B)), 7);
    EXPECT_EQ(usage.count(QChar(0xFF3D)), 7);
    EXPECT_FALSE(usage.contains(QLatin1Char('[')));
    EXPECT_FALSE(usage.contains(QLatin1Char('(')));
}

TEST(ResourceDialogs, ItemTileTemplate311)
{
    const DialogTemplate* dlg = Dialog(311);
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(dlg->size, QSize(133, 168));
    EXPECT_EQ(dlg->fontName, QStringLiteral("MS Shell Dlg"));
    EXPECT_EQ(dlg->pointSize, 9);
    const unsigned left = DialogControl::AlignLeft;
    ExpectRows(*dlg, {
        {1005, Kind::Picture, "", 1, 1, 129, 130, DialogControl::Frame},
        {1007, Kind::Label, "￥", 3, 133, 8, 8, left},
        {1003, Kind::Label, "8888888.88", 11, 132, 39, 8, left},
        {1009, Kind::Label, "邮费", 86, 133, 15, 8, left},
        {1001, Kind::Label, "8888.88", 102, 132, 27, 8, left},
        {1011, Kind::Label, "名称", 3, 141, 126, 16, left},
        {1012, Kind::Label, "销量", 3, 157, 14, 11, left},
        {1014, Kind::Label, "8888888.88", 18, 156, 39, 8, left},
        {1016, Kind::Picture, "", 77, 157, 47, 8, DialogControl::Frame},
    });
    EXPECT_EQ(dlg->controls[1].text, QString(QChar(0xFFE5))); // full-width yuen sign
}

TEST(ResourceDialogs, HomePageTemplate312)
{
    const DialogTemplate* dlg = Dialog(312);
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(dlg->size, QSize(153, 208));
    EXPECT_EQ(dlg->fontName, QStringLiteral("MS Shell Dlg"));
    EXPECT_EQ(dlg->pointSize, 8);
    ExpectRows(*dlg, {
        {1020, Kind::Static, "淘宝首页", 8, 60, 138, 40, DialogControl::AlignLeft},
        {1021, Kind::Static, "天猫首页", 8, 135, 138, 34, DialogControl::AlignLeft},
    });
}

TEST(ResourceDialogs, UnknownTemplatesAreNull)
{
    for (int id : {0, 128, 308, 310, 313, 336})
        EXPECT_EQ(Dialog(id), nullptr) << id;
}

// Dialog units to pixels with the MulDiv rule: products rounded to the nearest integer,
// halves away from zero.
TEST(ResourceDialogs, DialogUnitsToPixelsRounding)
{
    const std::tuple<QRect, QSize, QRect> cases[] = {
        // keyword edit of 309 with base units 7 x 15: 71.75 -> 72, 101.25 -> 101, 147, 26.25 -> 26
        {QRect(41, 54, 84, 14), QSize(7, 15), QRect(72, 101, 147, 26)},
        // exact halves round up: 2 * 5 / 4 = 2.5, 4 * 13 / 8 = 6.5, 6 * 5 / 4 = 7.5, 12 * 13 / 8 = 19.5
        {QRect(2, 4, 6, 12), QSize(5, 13), QRect(3, 7, 8, 20)},
        // just below a half rounds down: 1 * 5 / 4 = 1.25, 3 * 13 / 8 = 4.875
        {QRect(1, 3, 1, 3), QSize(5, 13), QRect(1, 5, 1, 5)},
        // negative positions round halves away from zero
        {QRect(-2, -4, 0, 0), QSize(5, 13), QRect(-3, -7, 0, 0)},
        // template 311's picture with base units 8 x 16: 2, 2, 258, 260
        {QRect(1, 1, 129, 130), QSize(8, 16), QRect(2, 2, 258, 260)},
        // degenerate base units give zero sizes, never a crash
        {QRect(10, 10, 10, 10), QSize(0, 0), QRect(0, 0, 0, 0)},
    };
    for (const auto& [du, base, px] : cases)
        EXPECT_EQ(DialogUnitsToPixels(du, base), px) << du.x() << "," << du.y() << " base " << base.width();
}

TEST(ResourceMenus, MenusAndCommandIds)
{
    for (int id : {128, 130}) {
        const auto* menu = Menu(id);
        ASSERT_NE(menu, nullptr) << id;
        ASSERT_EQ(menu->size(), 1u);
        const MenuItem& file = menu->front();
        EXPECT_EQ(file.text, QStringLiteral("文件(&F)"));
        ASSERT_EQ(file.items.size(), 3u);
        EXPECT_EQ(file.items[0].id, 57602);
        EXPECT_EQ(file.items[0].text, QStringLiteral("关闭(&C)"));
        EXPECT_EQ(file.items[1].id, 0); // separator
        EXPECT_TRUE(file.items[1].text.isEmpty());
        EXPECT_EQ(file.items[2].id, 57665);
        EXPECT_EQ(file.items[2].text, QStringLiteral("退出(&X)"));
    }

    const auto* category = Menu(310);
    ASSERT_NE(category, nullptr);
    ASSERT_EQ(category->size(), 1u);
    EXPECT_EQ(category->front().text, QStringLiteral("类目"));
    ASSERT_EQ(category->front().items.size(), 1u);
    EXPECT_EQ(category->front().items[0].id, 32771);
    EXPECT_EQ(category->front().items[0].text, QStringLiteral("查询"));

    const auto* ordering = Menu(338);
    ASSERT_NE(ordering, nullptr);
    ASSERT_EQ(ordering->size(), 1u);
    EXPECT_EQ(ordering->front().text, QStringLiteral("排序"));
    ASSERT_EQ(ordering->front().items.size(), 2u);
    EXPECT_EQ(ordering->front().items[0].id, 32782);
    EXPECT_EQ(ordering->front().items[0].text, QStringLiteral("按销量排序"));
    EXPECT_EQ(ordering->front().items[1].id, 32783);
    EXPECT_EQ(ordering->front().items[1].text, QStringLiteral("按价格排序"));

    for (int id : {0, 129, 309, 311, 337})
        EXPECT_EQ(Menu(id), nullptr) << id;
}

} // namespace
