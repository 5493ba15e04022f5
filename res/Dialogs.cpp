// Dialog templates 309, 311 and 312 as data, and the dialog-unit arithmetic.
#include "res/Resources.h"

#include <QFontMetrics>
#include <QGuiApplication>

namespace yfx::res {

namespace {

using Kind = DialogControl::Kind;
using S = DialogControl::Style;

constexpr unsigned kEdit = S::Border | S::TabStop | S::AutoHScroll;
constexpr unsigned kButton = S::TabStop;
constexpr unsigned kText = S::AlignLeft;

DialogControl Control(int id, Kind kind, const QString& text, int x, int y, int w, int h, unsigned style)
{
    DialogControl c;
    c.id = id;
    c.kind = kind;
    c.text = text;
    c.rect = QRect(x, y, w, h);
    c.style = style;
    return c;
}

QString UsageText()
{
    return QStringLiteral("    1、点击 ［对比当前浏览的商品］按钮即可查找到所有同款商品，您可以根据您的喜好选择"
                          "［按销量排序］或是［按价格排序］，方便快捷的找到您最满意的商品；\n\n"
                          "    2、您也可以任意输入您想寻找的商品名称来查找您想要的商品，并可根据您的喜好选择"
                          "［按销量排序］或是［按价格排序］，并可根据您设置的［价格］和［物流］进行筛选"
                          "（不填默认显示全部同款商品）");
}

DialogTemplate SearchPane()
{
    DialogTemplate d;
    d.id = 309;
    d.size = QSize(140, 275);
    d.fontName = QStringLiteral("MS Shell Dlg");
    d.pointSize = 9;
    d.controls = {
        Control(1000, Kind::Edit, {}, 41, 54, 84, 14, kEdit),
        Control(1004, Kind::Edit, {}, 41, 73, 40, 14, kEdit),
        Control(1006, Kind::Edit, {}, 85, 73, 40, 14, kEdit),
        Control(1008, Kind::Edit, {}, 41, 90, 84, 14, kEdit),
        Control(1002, Kind::Edit, {}, 41, 109, 84, 14, kEdit),
        Control(1015, Kind::Button, QStringLiteral("清除"), 13, 129, 52, 14, kButton),
        Control(1010, Kind::Button, QStringLiteral("搜索"), 73, 129, 52, 14, kButton),
        Control(1013, Kind::Button, QStringLiteral(" 搜索更多当前浏览的商品"), 13, 9, 112, 14, kButton),
        Control(1017, Kind::Button, QStringLiteral("按销量排序"), 13, 25, 52, 14, kButton),
        Control(1018, Kind::Button, QStringLiteral("按价格排序"), 73, 25, 52, 14, kButton),
        Control(-1, Kind::Label, QStringLiteral("关键字："), 13, 57, 28, 8, kText),
        Control(-1, Kind::Label, QStringLiteral("排除："), 19, 111, 22, 8, kText),
        Control(-1, Kind::Label, QStringLiteral("价格："), 19, 75, 22, 8, kText),
        Control(-1, Kind::Label, QStringLiteral("物流："), 19, 90, 22, 8, kText),
        Control(-1, Kind::GroupBox, {}, 8, 44, 125, 105, 0),
        Control(-1, Kind::Label, UsageText(), 14, 166, 114, 102, kText),
        Control(-1, Kind::GroupBox, QStringLiteral("使用说明"), 8, 154, 125, 115, 0),
        Control(-1, Kind::GroupBox, {}, 8, 0, 125, 44, 0),
    };
    return d;
}

DialogTemplate ItemTile()
{
    DialogTemplate d;
    d.id = 311;
    d.size = QSize(133, 168);
    d.fontName = QStringLiteral("MS Shell Dlg");
    d.pointSize = 9;
    d.controls = {
        Control(1005, Kind::Picture, {}, 1, 1, 129, 130, S::Frame),
        Control(1007, Kind::Label, QStringLiteral("￥"), 3, 133, 8, 8, kText),
        Control(1003, Kind::Label, QStringLiteral("8888888.88"), 11, 132, 39, 8, kText),
        Control(1009, Kind::Label, QStringLiteral("邮费"), 86, 133, 15, 8, kText),
        Control(1001, Kind::Label, QStringLiteral("8888.88"), 102, 132, 27, 8, kText),
        Control(1011, Kind::Label, QStringLiteral("名称"), 3, 141, 126, 16, kText),
        Control(1012, Kind::Label, QStringLiteral("销量"), 3, 157, 14, 11, kText),
        Control(1014, Kind::Label, QStringLiteral("8888888.88"), 18, 156, 39, 8, kText),
        Control(1016, Kind::Picture, {}, 77, 157, 47, 8, S::Frame),
    };
    return d;
}

DialogTemplate HomePage()
{
    DialogTemplate d;
    d.id = 312;
    d.size = QSize(153, 208);
    d.fontName = QStringLiteral("MS Shell Dlg");
    d.pointSize = 8;
    d.controls = {
        Control(1020, Kind::Static, QStringLiteral("淘宝首页"), 8, 60, 138, 40, kText),
        Control(1021, Kind::Static, QStringLiteral("天猫首页"), 8, 135, 138, 34, kText),
    };
    return d;
}

// MulDiv: a * b / c rounded to the nearest integer, halves away from zero; 0 for c == 0.
int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return 0;
    const long long num = static_cast<long long>(a) * b;
    const long long den = c;
    const bool negative = (num < 0) != (den < 0);
    const long long an = num < 0 ? -num : num;
    const long long ad = den < 0 ? -den : den;
    const long long q = (an + ad / 2) / ad;
    return static_cast<int>(negative ? -q : q);
}

} // namespace

const DialogTemplate* Dialog(int id)
{
    static const DialogTemplate searchPane = SearchPane();
    static const DialogTemplate itemTile = ItemTile();
    static const DialogTemplate homePage = HomePage();
    switch (id) {
    case 309:
        return &searchPane;
    case 311:
        return &itemTile;
    case 312:
        return &homePage;
    }
    return nullptr;
}

QFont DialogFont(const DialogTemplate& dlg)
{
    QFont font;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        font = QGuiApplication::font();
    else
        font.setFamily(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPointSize(dlg.pointSize > 0 ? dlg.pointSize : 9);
    return font;
}

QSize DialogBaseUnits(const QFont& font)
{
    const QFontMetrics fm(font);
    const int extent = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return QSize((extent / 26 + 1) / 2, fm.height());
}

QRect DialogUnitsToPixels(const QRect& du, QSize baseUnits)
{
    return QRect(MulDiv(du.x(), baseUnits.width(), 4), MulDiv(du.y(), baseUnits.height(), 8),
                 MulDiv(du.width(), baseUnits.width(), 4), MulDiv(du.height(), baseUnits.height(), 8));
}

} // namespace yfx::res
