// The resource layer with a QApplication: dialog fonts and base units measured from real
// fonts, popup menus as QMenus, pixmaps and icons.
#include "res/Resources.h"

#include <QAction>
#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QMenu>
#include <QTest>

using namespace yfx::res;

class ResourceWidgetsTest : public QObject {
    Q_OBJECT

private slots:
    void cjkFontIsInstalled();
    void dialogFontFollowsTemplatePointSize();
    void baseUnitsOfKnownFont_data();
    void baseUnitsOfKnownFont();
    void baseUnitsGrowWithFont();
    void knownFontMetricCase_data();
    void knownFontMetricCase();
    void popupMenus_data();
    void popupMenus();
    void popupMenuBadIndex();
    void bitmapsAsPixmaps();
    void stripPixmapsKeepTransparency();
    void icons();
};

void ResourceWidgetsTest::cjkFontIsInstalled()
{
    // Without it every Chinese text of the interface draws as boxes.
    QVERIFY(QFontDatabase::families().contains(QStringLiteral("WenQuanYi Micro Hei")));
    QVERIFY(QFontDatabase::families(QFontDatabase::SimplifiedChinese).contains(QStringLiteral("WenQuanYi Micro Hei")));
}

void ResourceWidgetsTest::dialogFontFollowsTemplatePointSize()
{
    const QFont f309 = DialogFont(*Dialog(309));
    const QFont f311 = DialogFont(*Dialog(311));
    const QFont f312 = DialogFont(*Dialog(312));
    QCOMPARE(f309.family(), QApplication::font().family());
    QCOMPARE(f309.pointSize(), 9);
    QCOMPARE(f311.pointSize(), 9);
    QCOMPARE(f312.pointSize(), 8);

    QApplication::setFont(QFont(QStringLiteral("WenQuanYi Micro Hei"), 11));
    const QFont changed = DialogFont(*Dialog(309));
    QCOMPARE(changed.family(), QStringLiteral("WenQuanYi Micro Hei"));
    QCOMPARE(changed.pointSize(), 9);
    QApplication::setFont(QFont());
}

void ResourceWidgetsTest::baseUnitsOfKnownFont_data()
{
    QTest::addColumn<int>("pointSize");
    QTest::newRow("8 pt") << 8;
    QTest::newRow("9 pt") << 9;
    QTest::newRow("12 pt") << 12;
}

// The classic rule: (extent of the 52 letters / 26 + 1) / 2 in integers is the average width
// rounded to the nearest pixel; the height is the font's line height.
void ResourceWidgetsTest::baseUnitsOfKnownFont()
{
    QFETCH(int, pointSize);
    const QFont font(QStringLiteral("WenQuanYi Micro Hei"), pointSize);
    const QFontMetrics fm(font);
    const int extent = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const QSize units = DialogBaseUnits(font);
    QCOMPARE(units.width(), qRound(extent / 52.0));
    QCOMPARE(units.height(), fm.height());
    QVERIFY(units.width() > 0 && units.height() > 0);
    QVERIFY(units.width() < units.height());
}

void ResourceWidgetsTest::baseUnitsGrowWithFont()
{
    const QSize small = DialogBaseUnits(QFont(QStringLiteral("WenQuanYi Micro Hei"), 8));
    const QSize large = DialogBaseUnits(QFont(QStringLiteral("WenQuanYi Micro Hei"), 16));
    QVERIFY(large.width() > small.width());
    QVERIFY(large.height() > small.height());
    // a template converts through its own font: the 8-point home page is smaller per unit
    const QSize tile = DialogBaseUnits(DialogFont(*Dialog(311)));
    const QSize home = DialogBaseUnits(DialogFont(*Dialog(312)));
    QVERIFY(home.height() <= tile.height());
    const QRect px = DialogUnitsToPixels(Dialog(311)->controls.front().rect, tile);
    QCOMPARE(px.width(), (129 * tile.width() + 2) / 4);
}

void ResourceWidgetsTest::knownFontMetricCase_data()
{
    QTest::addColumn<int>("pixelSize");
    QTest::addColumn<QSize>("units");
    QTest::addColumn<QRect>("tilePicture"); // template 311's picture (1, 1, 129, 130) in pixels
    // WenQuanYi Micro Hei: the 52 letters measure 316, 344 and 459 pixels at these sizes;
    // 316 / 26 = 12 -> 6, 344 / 26 = 13 -> 7 (6.6 rounds up), 459 / 26 = 17 -> 9.
    QTest::newRow("11 px") << 11 << QSize(6, 13) << QRect(2, 2, 194, 211);
    QTest::newRow("12 px") << 12 << QSize(7, 14) << QRect(2, 2, 226, 228);
    QTest::newRow("16 px") << 16 << QSize(9, 19) << QRect(2, 2, 290, 309);
}

void ResourceWidgetsTest::knownFontMetricCase()
{
    QFETCH(int, pixelSize);
    QFETCH(QSize, units);
    QFETCH(QRect, tilePicture);
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(pixelSize);
    QCOMPARE(DialogBaseUnits(font), units);
    QCOMPARE(DialogUnitsToPixels(Dialog(311)->controls.front().rect, units), tilePicture);
}

void ResourceWidgetsTest::popupMenus_data()
{
    QTest::addColumn<int>("menuId");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("texts"); // "-" for a separator
    QTest::addColumn<QList<int>>("ids");
    const QStringList file{QStringLiteral("关闭(&C)"), QStringLiteral("-"), QStringLiteral("退出(&X)")};
    QTest::newRow("128") << 128 << QStringLiteral("文件(&F)") << file << QList<int>{57602, 0, 57665};
    QTest::newRow("130") << 130 << QStringLiteral("文件(&F)") << file << QList<int>{57602, 0, 57665};
    QTest::newRow("310") << 310 << QStringLiteral("类目") << QStringList{QStringLiteral("查询")} << QList<int>{32771};
    QTest::newRow("338") << 338 << QStringLiteral("排序")
                         << QStringList{QStringLiteral("按销量排序"), QStringLiteral("按价格排序")}
                         << QList<int>{32782, 32783};
}

void ResourceWidgetsTest::popupMenus()
{
    QFETCH(int, menuId);
    QFETCH(QString, title);
    QFETCH(QStringList, texts);
    QFETCH(QList<int>, ids);
    QWidget owner;
    QMenu* menu = CreatePopupMenu(menuId, 0, &owner);
    QVERIFY(menu);
    QCOMPARE(menu->parent(), &owner);
    QCOMPARE(menu->title(), title);
    const QList<QAction*> actions = menu->actions();
    QCOMPARE(actions.size(), texts.size());
    for (int i = 0; i < actions.size(); ++i) {
        if (texts[i] == QStringLiteral("-")) {
            QVERIFY(actions[i]->isSeparator());
            continue;
        }
        QVERIFY(!actions[i]->isSeparator());
        QCOMPARE(actions[i]->text(), texts[i]);
        QCOMPARE(actions[i]->data().toInt(), ids[i]);
        QVERIFY(actions[i]->isEnabled());
    }
    // the "&" marks a mnemonic: Qt shows "文件(F)" with F underlined
    if (title.contains(QLatin1Char('&')))
        QCOMPARE(QKeySequence::mnemonic(title), QKeySequence(Qt::ALT | Qt::Key_F));
}

void ResourceWidgetsTest::popupMenuBadIndex()
{
    QCOMPARE(CreatePopupMenu(338, 1, nullptr), nullptr);
    QCOMPARE(CreatePopupMenu(338, -1, nullptr), nullptr);
    QCOMPARE(CreatePopupMenu(999, 0, nullptr), nullptr);
    QMenu* orphan = CreatePopupMenu(310, 0, nullptr);
    QVERIFY(orphan);
    QCOMPARE(orphan->parent(), nullptr);
    delete orphan;
}

void ResourceWidgetsTest::bitmapsAsPixmaps()
{
    QCOMPARE(Bitmap(336).size(), QSize(146, 58));
    QCOMPARE(Bitmap(337).size(), QSize(220, 65));
    QCOMPARE(Bitmap(335).size(), QSize(20, 20));
    QCOMPARE(Bitmap(189).size(), QSize(96, 24));
    QCOMPARE(Bitmap(191).size(), QSize(64, 16));
    QVERIFY(Bitmap(338).isNull());
}

void ResourceWidgetsTest::stripPixmapsKeepTransparency()
{
    const std::vector<QPixmap> large = ImageStrip(189, 24);
    QCOMPARE(large.size(), size_t(4));
    for (const QPixmap& pm : large) {
        QCOMPARE(pm.size(), QSize(24, 24));
        QVERIFY(pm.hasAlphaChannel());
        const QImage img = pm.toImage();
        QCOMPARE(qAlpha(img.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(img.pixel(12, 12)), 255);
    }
    const std::vector<QPixmap> small = ImageStrip(191, 16);
    QCOMPARE(small.size(), size_t(4));
    for (const QPixmap& pm : small)
        QCOMPARE(pm.size(), QSize(16, 16));
}

void ResourceWidgetsTest::icons()
{
    for (int id : {128, 130}) {
        const QIcon icon = Icon(id);
        QVERIFY(!icon.isNull());
        const QList<QSize> sizes = icon.availableSizes();
        for (int s : {16, 24, 32, 48, 64})
            QVERIFY2(sizes.contains(QSize(s, s)), qPrintable(QString::number(s)));
        // the 16-pixel icon is drawn for its size, not scaled down: transparent corners,
        // an opaque body
        const QImage img = icon.pixmap(QSize(16, 16)).toImage();
        QCOMPARE(img.size(), QSize(16, 16));
        QCOMPARE(qAlpha(img.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(img.pixel(8, 12)), 255);
    }
    QVERIFY(Icon(129).isNull());
}

QTEST_MAIN(ResourceWidgetsTest)
#include "ResourceWidgetsTest.moc"
