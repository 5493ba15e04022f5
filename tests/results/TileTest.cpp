// The item tile on the offscreen platform: geometry from template 311, texts and styles,
// credit badges, the coupon label, the price marker, hover, the click rule, the right press
// and the opening of the item.
#include "ItemServer.h"
#include "TestDocument.h"

#include "market/Endpoints.h"
#include "market/Gbk.h"
#include "res/Resources.h"
#include "results/CTBItemWnd.h"
#include "results/ResultsHost.h"
#include "results/UrlOpener.h"
#include "store/LocalDay.h"
#include "store/Sighting.h"

#include <QApplication>
#include <QFontDatabase>
#include <QtMath>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(yfx::TileArea)

namespace {

CTBRecord MakeRecord(const std::string& id, const std::string& ratesum = "3")
{
    CTBRecord r;
    r.SetValue(CTBRecord::ItemId, id);
    r.SetValue(CTBRecord::CurrentPrice, "12.50");
    r.SetValue(CTBRecord::Ship, "0.00");
    r.SetValue(CTBRecord::TradeNum, "1523");
    r.SetValue(CTBRecord::Tip, "\xCA\xD6\xBB\xFA \xBA\xC3"); // GBK "手机 好"
    r.SetValue(CTBRecord::Ratesum, ratesum);
    r.SetValue(CTBRecord::Href, "http://127.0.0.1:9/item.htm?id=" + id);
    r.SetValue(CTBRecord::OriginalImage, "http://127.0.0.1:9/pic/" + id + ".jpg");
    r.DeriveThumbnail();
    return r;
}

// What the price memory would say of `record` shown now: rows of `totals` (cents), one a day.
yfx::store::PriceSummary SummaryOf(const CTBRecord& record, std::vector<std::int64_t> totals)
{
    yfx::store::PriceSummary s;
    s.key = yfx::store::KeyOf(record);
    s.currentTotal = *yfx::store::ShownTotal(record);
    const int firstDay = yfx::store::DayFromCivil({2026, 12, 1});
    for (std::int64_t total : totals) {
        const int day = firstDay + s.rows;
        if (s.rows == 0 || total <= s.lowest) {
            s.lowest = total;
            s.lowestDay = day;
        }
        s.highest = s.rows == 0 ? total : std::max(s.highest, total);
        if (total != s.currentTotal)
            s.lastDifferent = total;
        ++s.rows;
    }
    s.days = s.rows;
    return s;
}

QPoint Centre(const yfx::TileRect& r)
{
    return QPoint(r.x + r.width / 2, r.y + r.height / 2);
}

// A record whose amounts are as long as the marketplace's, whose title is long and holds
// ampersands, and which has a coupon.
const char* const kLongTitle = "H&M 联名款 M&M's 加厚保暖羽绒服 男女同款 冬季新品 宽松显瘦 大码外套 可拆卸帽 防风防水 包邮 送运费险";

CTBRecord LongRecord()
{
    CTBRecord r = MakeRecord("2001", "20"); // the widest badge: five gold crowns
    r.SetValue(CTBRecord::CurrentPrice, "99999.00");
    r.SetValue(CTBRecord::Ship, "100.00");
    r.SetValue(CTBRecord::TradeNum, "8888888.88");
    r.SetValue(CTBRecord::Tip, yfx::Utf8ToGbk(kLongTitle));
    r.source = ResultSource::OpenPlatform;
    r.couponFee = "100";
    r.finalPrice = "99899.00";
    return r;
}

// The widget drawn as a screen of that device pixel ratio draws it.
QImage Render(QWidget& w, qreal dpr)
{
    QImage img(QSize(qCeil(w.width() * dpr), qCeil(w.height() * dpr)), QImage::Format_RGB32);
    img.setDevicePixelRatio(dpr);
    img.fill(Qt::white);
    w.render(&img);
    return img;
}

// The pixels of `img` (device pixels) inside the logical rectangle `area` that are not white.
QRect Ink(const QImage& img, const QRect& area)
{
    const qreal dpr = img.devicePixelRatio();
    const QRect device(qFloor(area.x() * dpr), qFloor(area.y() * dpr), qCeil(area.width() * dpr),
                       qCeil(area.height() * dpr));
    QRect ink;
    const QRect r = device.intersected(img.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (img.pixel(x, y) != qRgb(255, 255, 255))
                ink |= QRect(x, y, 1, 1);
    return ink;
}

} // namespace

class TileTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void geometryKeepsRowsClearOfThePicture_data();
    void geometryKeepsRowsClearOfThePicture();
    void geometryFitsTheTextsInTheTile_data();
    void geometryFitsTheTextsInTheTile();
    void tileLooksTheSameOnEveryDesktop_data();
    void tileLooksTheSameOnEveryDesktop();
    void amountTooLongForItsRoomEndsInAnEllipsis();
    void createdTileFollowsTheTemplate();
    void recordTextsAndLabels();
    void textStyles();
    void creditBadges_data();
    void creditBadges();
    void couponLabelAndToolTip();
    void priceMarkerBesideThePrice_data();
    void priceMarkerBesideThePrice();
    void rightPressAsksForTheTileMenu();
    void hoverFollowsThePointer();
    void leavingFromTheNameRestoresIt();
    void pressAndRelease_data();
    void pressAndRelease();
    void opensClickAddressOrItemPage_data();
    void opensClickAddressOrItemPage();
    void pendingClickOpensOnePageAndGivesUpInTime();
    void clickWithoutHostDoesNothing();
    void pictureShowsOnceItsFileExists();

private:
    QTemporaryDir m_folder;
    std::unique_ptr<ItemServer> m_server;
    std::unique_ptr<QWidget> m_window;
    CTBItemWnd* m_tile = nullptr;
    QStringList m_opened;
};

void TileTest::initTestCase()
{
    QVERIFY(m_folder.isValid());
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China)); // as the application sets it
    SetPictureFolder(QFile::encodeName(m_folder.path()).toStdString() + "/");
    // Without a Simplified Chinese font every label would draw as boxes.
    QVERIFY(QFontDatabase::families(QFontDatabase::SimplifiedChinese)
                .contains(QStringLiteral("WenQuanYi Micro Hei")));
    m_server = std::make_unique<ItemServer>();
    yfx::SetEndpointOverride(yfx::Endpoint::Gateway, m_server->Base());
    yfx::SetUrlOpener([this](const QString& url) { m_opened << url; });
}

void TileTest::init()
{
    m_opened.clear();
    m_window = std::make_unique<QWidget>();
    m_window->resize(400, 420);
    m_tile = new CTBItemWnd(m_window.get());
    QVERIFY(m_tile->Create());
    m_tile->move(20, 20);
    m_tile->SetRecord(MakeRecord("1001"));
    m_tile->show();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TileTest::cleanup()
{
    m_window.reset();
    m_tile = nullptr;
}

void TileTest::geometryKeepsRowsClearOfThePicture_data()
{
    QTest::addColumn<QSize>("baseUnits");
    QTest::newRow("small font 6x13") << QSize(6, 13); // template rows would overlap the picture
    QTest::newRow("7x15") << QSize(7, 15);
    QTest::newRow("exactly clear 7x14") << QSize(7, 14);
    QTest::newRow("large font 8x18") << QSize(8, 18); // the template picture is taller than 228
}

void TileTest::geometryKeepsRowsClearOfThePicture()
{
    QFETCH(QSize, baseUnits);
    const yfx::res::DialogTemplate* dlg = yfx::res::Dialog(CTBItemWnd::kTemplateId);
    QVERIFY(dlg);
    const CTBItemWnd::Geometry g = CTBItemWnd::ComputeGeometry(*dlg, baseUnits);
    QCOMPARE(g.tileSize.width(), 232);
    const QRect picture = g.controls.at(CTBItemWnd::IDC_PICTURE);
    QCOMPARE(picture.size(), QSize(228, 228));
    const QRect templatePicture = yfx::res::DialogUnitsToPixels(QRect(1, 1, 129, 130), baseUnits);
    QCOMPARE(picture.topLeft(), templatePicture.topLeft());
    QCOMPARE(g.controls.size(), size_t{9});

    for (const auto& [id, rect] : g.controls) {
        if (id == CTBItemWnd::IDC_PICTURE)
            continue;
        // Every row lies below the picture, at the template's distance from its bottom.
        QVERIFY2(rect.top() > picture.bottom(), qPrintable(QString::number(id)));
        QVERIFY(rect.bottom() < g.tileSize.height());
        const yfx::res::DialogControl* c = nullptr;
        for (const auto& control : dlg->controls)
            if (control.id == id)
                c = &control;
        QVERIFY(c);
        const QRect tpl = yfx::res::DialogUnitsToPixels(c->rect, baseUnits);
        QCOMPARE(rect.top() - (picture.top() + 228),
                 tpl.top() - (templatePicture.top() + templatePicture.height()));
        QCOMPARE(rect.left(), tpl.left());
    }
    // The badge (16 pixels high) fits in the tile.
    QVERIFY(g.controls.at(CTBItemWnd::IDC_BADGE).top() + CTBItemWnd::kBadgeHeight <= g.tileSize.height());
}

void TileTest::geometryFitsTheTextsInTheTile_data()
{
    // The template's 9-point font at 96, 108, 120 and 144 dots per inch.
    QTest::addColumn<int>("pixels");
    QTest::newRow("96 dpi") << 12;
    QTest::newRow("108 dpi") << 13;
    QTest::newRow("120 dpi") << 15;
    QTest::newRow("144 dpi") << 18;
}

void TileTest::geometryFitsTheTextsInTheTile()
{
    QFETCH(int, pixels);
    using T = CTBItemWnd;
    const yfx::res::DialogTemplate* dlg = yfx::res::Dialog(T::kTemplateId);
    QVERIFY(dlg);
    QFont font = yfx::res::DialogFont(*dlg);
    font.setPixelSize(pixels);
    const QSize base = yfx::res::DialogBaseUnits(font);
    const T::TextNeeds needs = T::MeasureTexts(*dlg, font);
    QCOMPARE(needs.text.size(), size_t{6}); // three labels and three amount placeholders
    const T::Geometry g = T::ComputeGeometry(*dlg, base, needs);
    const QRect picture = g.controls.at(T::IDC_PICTURE);
    const int edge = picture.left() + 228;
    QCOMPARE(g.tileSize.width(), 232);
    QCOMPARE(picture.size(), QSize(228, 228));

    // Every control lies inside the tile and below the picture, none over another.
    for (const auto& [id, r] : g.controls) {
        const QString what = QString::number(id);
        QVERIFY2(r.left() >= 0 && r.right() < edge, qPrintable(what));
        QVERIFY2(r.bottom() < g.tileSize.height(), qPrintable(what));
        if (id == T::IDC_PICTURE)
            continue;
        QVERIFY2(r.top() > picture.bottom(), qPrintable(what));
        for (const auto& [other, o] : g.controls)
            if (other != id && other != T::IDC_PICTURE)
                QVERIFY2(!r.intersects(o), qPrintable(what + QLatin1Char('/') + QString::number(other)));
    }
    // The labels hold their texts on one line; the name holds two lines.
    for (int id : {T::IDC_YUAN, T::IDC_POSTAGE_LABEL, T::IDC_SALES_LABEL}) {
        QVERIFY2(g.controls.at(id).width() >= needs.text.at(id).width(), qPrintable(QString::number(id)));
        QVERIFY2(g.controls.at(id).height() >= needs.text.at(id).height(), qPrintable(QString::number(id)));
    }
    QVERIFY(g.controls.at(T::IDC_NAME).height() >= needs.nameHeight);
    // The postage holds its placeholder "8888.88" against the picture's right edge; the price
    // reaches up to the postage label and the sales count up to the room of the widest badge.
    const QRect postage = g.controls.at(T::IDC_POSTAGE);
    QVERIFY(postage.width() >= needs.text.at(T::IDC_POSTAGE).width());
    QCOMPARE(postage.right(), edge - 1);
    QVERIFY(g.controls.at(T::IDC_POSTAGE_LABEL).right() < postage.left());
    const QRect price = g.controls.at(T::IDC_PRICE);
    QVERIFY(g.controls.at(T::IDC_POSTAGE_LABEL).left() - price.right() <= 4);
    QVERIFY(g.controls.at(T::IDC_BADGE).left() + T::kBadgeMaxWidth <= edge);
    QVERIFY(g.controls.at(T::IDC_BADGE).left() - g.controls.at(T::IDC_SALES).right() <= 4);
    // Room for the longest amounts of the marketplace.
    const QFontMetrics amounts(T::TextFont(font, T::IDC_PRICE));
    QVERIFY2(price.width() >= amounts.horizontalAdvance(QStringLiteral("99999.00")), qPrintable(QString::number(price.width())));
    QVERIFY(g.controls.at(T::IDC_SALES).width() >= amounts.horizontalAdvance(QStringLiteral("8888888")));
    for (int id : {T::IDC_PRICE, T::IDC_POSTAGE, T::IDC_SALES})
        QVERIFY(g.controls.at(id).height() >= amounts.height());
}

void TileTest::tileLooksTheSameOnEveryDesktop_data()
{
    QTest::addColumn<int>("pointSize");
    QTest::addColumn<qreal>("dpr");
    for (int points : {9, 10, 11})
        for (qreal dpr : {1.0, 1.25, 2.0})
            QTest::addRow("%d pt, scale %g", points, dpr) << points << dpr;
}

void TileTest::tileLooksTheSameOnEveryDesktop()
{
    QFETCH(int, pointSize);
    QFETCH(qreal, dpr);
    const QFont desktop = QApplication::font();
    auto makeTile = [this](int points) {
        QFont font = QApplication::font();
        font.setPointSize(points);
        QApplication::setFont(font);
        auto* tile = new CTBItemWnd(m_window.get());
        tile->Create();
        tile->move(20, 20);
        tile->SetRecord(LongRecord());
        // the lowest price over two days: the longest marker text beside the longest price
        tile->SetPriceSummary(SummaryOf(LongRecord(), {10019900, 10009900}));
        tile->show();
        return tile;
    };
    CTBItemWnd* reference = makeTile(9);
    CTBItemWnd* tile = makeTile(pointSize);
    QApplication::setFont(desktop);
    reference->hide();

    // Same geometry and the same pixels as with a 9-point desktop font.
    QCOMPARE(tile->size(), reference->size());
    for (QWidget* c : tile->findChildren<QWidget*>())
        QCOMPARE(c->geometry(), reference->findChild<QWidget*>(c->objectName())->geometry());
    const QImage shot = Render(*tile, dpr);
    QVERIFY(shot == Render(*reference, dpr));

    // Every text shows whole: the amounts without losing a digit, the labels on one line, the
    // title with its ampersands over two whole lines ending in "…".
    struct Shown {
        CMyStatic* control;
        QString text;
    };
    const Shown amounts[] = {{&tile->PriceControl(), QStringLiteral("99999.00")},
                             {&tile->PostageControl(), QStringLiteral("100.00")},
                             {&tile->SalesControl(), QStringLiteral("8888888.88")}};
    for (const Shown& a : amounts)
        QCOMPARE(a.control->ShownLines(), QStringList{a.text});
    const QStringList title = tile->NameControl().ShownLines();
    QCOMPARE(title.size(), 2);
    QVERIFY2(title[0].startsWith(QStringLiteral("H&M 联名款 M&M's")), qPrintable(title[0]));
    QVERIFY2(title[1].endsWith(QChar(0x2026)), qPrintable(title.join(QLatin1Char('/'))));

    // The marker shows whole between the price's text and the postage label, in the longest of
    // its forms that has room there.
    CMyStatic& marker = tile->MarkerControl();
    QVERIFY(marker.isVisible());
    QVERIFY2(marker.Text() == QStringLiteral("历史最低") || marker.Text() == QStringLiteral("最低"),
             qPrintable(marker.Text()));
    const QFontMetricsF priceFont(tile->PriceControl().m_logFont);
    QVERIFY(marker.x() >= tile->PriceControl().x() + priceFont.horizontalAdvance(QStringLiteral("99999.00")));
    QVERIFY(marker.geometry().right() < tile->PostageLabel().x());
    const Shown all[] = {amounts[0], amounts[1], amounts[2], {&tile->YuanLabel(), QStringLiteral("￥")},
                         {&tile->PostageLabel(), QStringLiteral("邮费")},
                         {&tile->SalesLabel(), QStringLiteral("销量")}, {&marker, marker.Text()}};
    for (const Shown& t : all) {
        const QString what = t.control->objectName();
        QCOMPARE(t.control->Text(), t.text);
        const QFontMetricsF fm(t.control->m_logFont);
        QVERIFY2(fm.horizontalAdvance(t.text) <= t.control->width(), qPrintable(what));
        QVERIFY2(fm.height() <= t.control->height() + 0.5, qPrintable(what));
        // The drawn ink is one line as wide as the text: nothing wrapped away or cut off.
        const QRect ink = Ink(shot, t.control->geometry());
        const QRectF tight = fm.tightBoundingRect(t.text);
        QVERIFY2(ink.width() >= (tight.width() - 2) * dpr,
                 qPrintable(QStringLiteral("%1: ink %2, text %3").arg(what).arg(ink.width()).arg(tight.width() * dpr)));
        QVERIFY2(ink.height() <= (fm.height() + 1) * dpr, qPrintable(what));
    }
    // The title's two lines are drawn whole: no part of a third line below them.
    CMyStatic& name = tile->NameControl();
    const QRect nameInk = Ink(shot, name.geometry());
    QVERIFY(nameInk.height() > QFontMetricsF(name.m_logFont).height() * dpr);

    // The coupon label sits whole over the picture's top-left corner, its text unabridged, and
    // its edges are sharp: along its top row every device pixel is either the label's red or
    // the picture's white, the red one run as wide as the label.
    CCouponLabel& coupon = tile->CouponLabel();
    QVERIFY(coupon.isVisible());
    QCOMPARE(coupon.ShownText(), QStringLiteral("券 ¥100"));
    const QRect label(coupon.mapTo(tile, QPoint(0, 0)), coupon.size());
    const QRect pictureRect = tile->PictureControl().geometry();
    QVERIFY(pictureRect.contains(label));
    QVERIFY(label.left() - pictureRect.left() <= 4 && label.top() - pictureRect.top() <= 4);
    const int row = qFloor((label.top() + 0.5) * dpr);
    int red = 0;
    for (int x = qFloor((label.left() - 1) * dpr); x <= qCeil((label.right() + 2) * dpr); ++x) {
        const QRgb px = shot.pixel(x, row);
        QVERIFY2(px == CCouponLabel::kGround.rgb() || px == qRgb(255, 255, 255), qPrintable(QString::number(x)));
        red += px == CCouponLabel::kGround.rgb();
    }
    QVERIFY2(qAbs(red - label.width() * dpr) <= 1, qPrintable(QString::number(red)));
    delete tile;
    delete reference;
}

void TileTest::amountTooLongForItsRoomEndsInAnEllipsis()
{
    CTBRecord r = LongRecord();
    r.SetValue(CTBRecord::CurrentPrice, "123456789012345678.00");
    r.SetValue(CTBRecord::Ship, "12345678.00");
    m_tile->SetRecord(r);
    for (CMyStatic* amount : {&m_tile->PriceControl(), &m_tile->PostageControl()}) {
        const QStringList lines = amount->ShownLines();
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines[0].endsWith(QChar(0x2026)), qPrintable(lines[0]));
        QVERIFY(QFontMetricsF(amount->m_logFont).horizontalAdvance(lines[0]) <= amount->width());
        QVERIFY(amount->Text().startsWith(lines[0].chopped(1)));
    }
}

void TileTest::createdTileFollowsTheTemplate()
{
    QCOMPARE(m_tile->width(), 232);
    const CMyImageStatic& picture = m_tile->PictureControl();
    QCOMPARE(picture.size(), QSize(228, 228));
    for (const char* name :
         {"yuanLabel", "price", "postageLabel", "postage", "name", "sales", "salesLabel", "badge"}) {
        auto* control = m_tile->findChild<QWidget*>(QLatin1String(name));
        QVERIFY2(control, name);
        QVERIFY2(control->y() > picture.geometry().bottom(), name);
        QVERIFY2(control->geometry().bottom() < m_tile->height(), name);
    }
    // The name holds two lines of the interface font.
    const CMyStatic& name = m_tile->NameControl();
    QVERIFY(name.height() >= 2 * QFontMetrics(name.m_logFont).height() - 2);
    // White ground around the controls.
    const QImage shot = m_tile->grab().toImage();
    QCOMPARE(shot.pixelColor(m_tile->width() - 1, m_tile->height() - 1), QColor(255, 255, 255));
}

void TileTest::recordTextsAndLabels()
{
    auto text = [this](const char* name) {
        return m_tile->findChild<CMyStatic*>(QLatin1String(name))->Text();
    };
    QCOMPARE(text("price"), QStringLiteral("12.50"));
    QCOMPARE(text("postage"), QStringLiteral("0.00"));
    QCOMPARE(text("sales"), QStringLiteral("1523"));
    QCOMPARE(text("name"), QStringLiteral("手机 好"));
    QCOMPARE(text("yuanLabel"), QStringLiteral("￥"));
    QCOMPARE(text("postageLabel"), QStringLiteral("邮费"));
    QCOMPARE(text("salesLabel"), QStringLiteral("销量"));

    // Rebinding replaces every text at once, without reformatting numbers.
    CTBRecord other = MakeRecord("1002");
    other.SetValue(CTBRecord::CurrentPrice, "7");
    other.SetValue(CTBRecord::Ship, "");
    other.SetValue(CTBRecord::TradeNum, "1,000+");
    m_tile->SetRecord(other);
    QCOMPARE(text("price"), QStringLiteral("7"));
    QCOMPARE(text("postage"), QString());
    QCOMPARE(text("sales"), QStringLiteral("1,000+"));
}

void TileTest::textStyles()
{
    const QColor windowText = m_tile->palette().color(QPalette::WindowText);
    for (CMyStatic* amount : {&m_tile->PriceControl(), &m_tile->PostageControl()}) {
        QCOMPARE(amount->m_crText, QColor(255, 90, 68));
        QCOMPARE(amount->m_logFont.weight(), QFont::Bold);
        QCOMPARE(amount->m_logFont.pixelSize(), 15);
    }
    QCOMPARE(m_tile->SalesControl().m_crText, windowText);
    QCOMPARE(m_tile->SalesControl().m_logFont.weight(), QFont::Bold);
    QCOMPARE(m_tile->SalesControl().m_logFont.pixelSize(), 15);
    QCOMPARE(m_tile->NameControl().m_crText, windowText);
    QVERIFY(!m_tile->NameControl().m_logFont.underline());
    QVERIFY(m_tile->NameControl().m_logFont.weight() != QFont::Bold);
    for (const char* label : {"yuanLabel", "postageLabel", "salesLabel"}) {
        const auto* c = m_tile->findChild<CMyStatic*>(QLatin1String(label));
        QCOMPARE(c->m_crText, windowText);
        QVERIFY(c->m_logFont.weight() != QFont::Bold);
        QVERIFY(!c->IsLiteral()); // the program's own labels keep the mnemonic rule
    }
    // The marketplace's texts are shown literally, in the template's font, not the desktop's.
    const QFont dialogFont = yfx::res::DialogFont(*yfx::res::Dialog(CTBItemWnd::kTemplateId));
    for (CMyStatic* data : {&m_tile->PriceControl(), &m_tile->PostageControl(), &m_tile->NameControl(),
                            &m_tile->SalesControl()}) {
        QVERIFY(data->IsLiteral());
        QCOMPARE(data->m_logFont.family(), dialogFont.family());
    }
    QCOMPARE(m_tile->NameControl().m_logFont.pointSize(), 9);
    CTBRecord amp = MakeRecord("1005");
    amp.SetValue(CTBRecord::Tip, "H&M M&M's");
    m_tile->SetRecord(amp);
    QCOMPARE(m_tile->NameControl().ShownLines(), QStringList{QStringLiteral("H&M M&M's")});
}

void TileTest::creditBadges_data()
{
    QTest::addColumn<QString>("ratesum");
    QTest::addColumn<int>("badge");
    QTest::addColumn<int>("width");
    QTest::newRow("1: one red heart") << QStringLiteral("1") << 315 << 17;
    QTest::newRow("5: five hearts") << QStringLiteral("5") << 319 << 82;
    QTest::newRow("6: one blue diamond") << QStringLiteral("6") << 320 << 16;
    QTest::newRow("15: five blue crowns") << QStringLiteral("15") << 329 << 88;
    QTest::newRow("20: five gold crowns") << QStringLiteral("20") << 334 << 88;
    QTest::newRow("0") << QStringLiteral("0") << 0 << 0;
    QTest::newRow("21") << QStringLiteral("21") << 0 << 0;
    QTest::newRow("empty") << QString() << 0 << 0;
    QTest::newRow("no digits") << QStringLiteral("abc") << 0 << 0;
}

void TileTest::creditBadges()
{
    QFETCH(QString, ratesum);
    QFETCH(int, badge);
    QFETCH(int, width);
    // The tile showed a badge for its previous record (level 20).
    m_tile->SetRecord(MakeRecord("1003", "20"));
    QVERIFY(m_tile->BadgeControl().IsReady());

    m_tile->SetRecord(MakeRecord("1004", ratesum.toStdString()));
    QCOMPARE(static_cast<int>(m_tile->BadgeId()), badge);
    CPictureEx& control = m_tile->BadgeControl();
    if (badge == 0) {
        QVERIFY(!control.IsReady());
        QCOMPARE(control.PictureSize(), QSize(0, 0));
    } else {
        QVERIFY(control.IsReady());
        QCOMPARE(control.PictureSize(), QSize(width, 16));
        QCOMPARE(control.size(), QSize(width, 16));
    }

    // A level that arrives after the record shows the same, and changes nothing else.
    m_tile->SetRecord(MakeRecord("1005", "20"));
    m_tile->SetRatesum(ratesum.toStdString());
    QCOMPARE(static_cast<int>(m_tile->BadgeId()), badge);
    QCOMPARE(control.IsReady(), badge != 0);
    QCOMPARE(m_tile->Record().ratesum(), ratesum.toStdString());
    QCOMPARE(m_tile->Record().itemId(), std::string("1005"));
}

void TileTest::couponLabelAndToolTip()
{
    CTBRecord r = MakeRecord("1010");
    r.source = ResultSource::OpenPlatform;
    r.couponFee = "10";
    r.finalPrice = "2.50";
    m_tile->SetRecord(r);
    CCouponLabel& label = m_tile->CouponLabel();
    QVERIFY(label.isVisible());
    QCOMPARE(label.Text(), QStringLiteral("券 ¥10"));
    QCOMPARE(label.parentWidget(), &m_tile->PictureControl());
    QVERIFY(label.testAttribute(Qt::WA_TransparentForMouseEvents)); // a click on it is the picture's
    QVERIFY(m_tile->toolTip().contains(QStringLiteral("券后价 ¥2.50")));
    // The price stays the price before the coupon; the price the search bounds apply to is
    // labelled over the picture's bottom-left corner, in orange beside the coupon's red.
    QCOMPARE(m_tile->PriceControl().Text(), QStringLiteral("12.50"));
    CCouponLabel& bounded = m_tile->BoundedPriceLabel();
    QVERIFY(bounded.isVisible());
    QCOMPARE(bounded.Text(), QStringLiteral("到手价 ¥2.50"));
    QVERIFY(m_tile->PictureControl().rect().contains(bounded.geometry()));
    QVERIFY(bounded.geometry().top() > m_tile->PictureControl().height() / 2);
    QVERIFY(!bounded.geometry().intersects(label.geometry()));
    const QImage shot = m_tile->grab().toImage();
    QCOMPARE(shot.pixelColor(label.mapTo(m_tile, QPoint(1, 1))), CCouponLabel::kGround);
    QCOMPARE(shot.pixelColor(bounded.mapTo(m_tile, QPoint(1, 1))), bounded.Ground());
    QVERIFY(bounded.Ground() != CCouponLabel::kGround);
    r.finalPrice = "12.5"; // the price shown: nothing more to say
    m_tile->SetRecord(r);
    QVERIFY(!bounded.isVisible());
    r.finalPrice = "2.50";

    // The server's texts: a price is never read as markup, an absurd fee stays on the picture.
    r.finalPrice = "<b>1</b>";
    r.couponFee = std::string(300, '9');
    m_tile->SetRecord(r);
    QVERIFY(m_tile->toolTip().contains(QStringLiteral("&lt;b&gt;1&lt;/b&gt;")));
    QVERIFY(m_tile->PictureControl().rect().contains(label.geometry()));
    QVERIFY(label.ShownText().endsWith(QChar(0x2026)));

    // Without a coupon: no label, no tooltip.
    m_tile->SetRecord(MakeRecord("1011"));
    QVERIFY(!label.isVisible());
    QVERIFY(!bounded.isVisible());
    QVERIFY(m_tile->toolTip().isEmpty());
}

void TileTest::priceMarkerBesideThePrice_data()
{
    // MakeRecord shows 12.50 with no postage.
    QTest::addColumn<QString>("price");
    QTest::addColumn<QList<qint64>>("totals");
    QTest::addColumn<QString>("marker"); // as shown; empty: none
    QTest::addColumn<QString>("line");   // the tooltip's price line
    QTest::newRow("first seen") << QStringLiteral("12.50") << QList<qint64>{1250} << QString()
                                << QStringLiteral("最低 ¥12.50（2026/12/1）· 最高 ¥12.50 · 记录 1 天");
    QTest::newRow("lower") << QStringLiteral("12.50") << QList<qint64>{1000, 1600, 1250} << QStringLiteral("降¥3.50")
                           << QStringLiteral("最低 ¥10.00（2026/12/1）· 最高 ¥16.00 · 记录 3 天");
    QTest::newRow("higher") << QStringLiteral("12.50") << QList<qint64>{1000, 1250} << QStringLiteral("涨¥2.50")
                            << QStringLiteral("最低 ¥10.00（2026/12/1）· 最高 ¥12.50 · 记录 2 天");
    QTest::newRow("lowest") << QStringLiteral("12.50") << QList<qint64>{1300, 1250} << QStringLiteral("历史最低")
                            << QStringLiteral("最低 ¥12.50（2026/12/2）· 最高 ¥13.00 · 记录 2 天");
    // no room for the whole text beside the longest price: the short form, the whole one in the line
    QTest::newRow("long price, long marker") << QStringLiteral("99999.00") << QList<qint64>{9000000, 15000000, 9999900}
                                             << QStringLiteral("降")
                                             << QStringLiteral("降¥50001.00 · 最低 ¥90000.00（2026/12/1）· 最高 ¥150000.00 · 记录 3 天");
}

void TileTest::priceMarkerBesideThePrice()
{
    QFETCH(QString, price);
    QFETCH(QList<qint64>, totals);
    QFETCH(QString, marker);
    QFETCH(QString, line);
    CTBRecord r = MakeRecord("1020");
    r.SetValue(CTBRecord::CurrentPrice, price.toStdString());
    m_tile->SetRecord(r);
    QVERIFY(!m_tile->MarkerControl().isVisible());
    // a summary of another item changes nothing
    m_tile->SetPriceSummary(SummaryOf(MakeRecord("9999"), {1, 2}));
    QVERIFY(m_tile->PriceLine().isEmpty());

    m_tile->SetPriceSummary(SummaryOf(r, std::vector<std::int64_t>(totals.begin(), totals.end())));
    const CMyStatic& shown = m_tile->MarkerControl();
    QCOMPARE(m_tile->PriceLine(), line);
    QVERIFY(m_tile->toolTip().contains(line.toHtmlEscaped()));
    QCOMPARE(shown.isVisible(), !marker.isEmpty());
    if (!marker.isEmpty()) {
        QCOMPARE(shown.Text(), marker);
        QCOMPARE(shown.ShownLines(), QStringList{marker});
        const QFontMetricsF priceFont(m_tile->PriceControl().m_logFont);
        QVERIFY(shown.x() >= m_tile->PriceControl().x() + priceFont.horizontalAdvance(price));
        QVERIFY(shown.geometry().right() < m_tile->PostageLabel().x());
        QCOMPARE(shown.y(), m_tile->PriceControl().y());
    }
    // Another record on the tile: the marker and the line go with the old one.
    m_tile->SetRecord(MakeRecord("1021"));
    QVERIFY(!shown.isVisible());
    QVERIFY(m_tile->PriceLine().isEmpty());
    QVERIFY(!m_tile->toolTip().contains(QStringLiteral("最低")));
}

void TileTest::rightPressAsksForTheTileMenu()
{
    QSignalSpy menu(m_tile, &CTBItemWnd::menuRequested);
    const QPoint at = Centre(m_tile->NameArea());
    QTest::mouseClick(m_tile, Qt::RightButton, {}, at);
    QCOMPARE(menu.count(), 1);
    QCOMPARE(menu.at(0).at(0).toPoint(), m_tile->mapToGlobal(at));
    QTest::mouseClick(m_tile, Qt::LeftButton, {}, QPoint(m_tile->width() - 2, 2));
    QCOMPARE(menu.count(), 1);
    QVERIFY(m_opened.isEmpty()); // a right press opens nothing
}

void TileTest::hoverFollowsThePointer()
{
    const QColor windowText = m_tile->palette().color(QPalette::WindowText);
    const CMyStatic& name = m_tile->NameControl();
    const CMyImageStatic& picture = m_tile->PictureControl();

    QTest::mouseMove(m_tile, Centre(m_tile->NameArea()));
    QTRY_COMPARE(m_tile->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(name.m_crText, QColor(225, 145, 100));
    QVERIFY(name.m_logFont.underline());
    QVERIFY(!picture.m_bHover);

    QTest::mouseMove(m_tile, Centre(m_tile->PictureArea()));
    QTRY_VERIFY(picture.m_bHover);
    QVERIFY(m_tile->cursor().shape() != Qt::BusyCursor);
    QCOMPARE(name.m_crText, windowText);
    QVERIFY(!name.m_logFont.underline());

    QTest::mouseMove(m_tile, m_tile->PriceControl().geometry().center());
    QTRY_COMPARE(m_tile->cursor().shape(), Qt::ArrowCursor);
    QVERIFY(!picture.m_bHover);
    QCOMPARE(name.m_crText, windowText);
    QVERIFY(!name.m_logFont.underline());

    // The darker frame is drawn: the picture's corner pixel follows the hover state.
    QTest::mouseMove(m_tile, Centre(m_tile->PictureArea()));
    QTRY_VERIFY(picture.m_bHover);
    QCOMPARE(m_tile->PictureControl().grab().toImage().pixelColor(0, 0), QColor(192, 192, 192));
}

void TileTest::leavingFromTheNameRestoresIt()
{
    QTest::mouseMove(m_tile, Centre(m_tile->NameArea()));
    QTRY_VERIFY(m_tile->NameControl().m_logFont.underline());
    // Straight out of the tile into the window around it.
    QTest::mouseMove(m_window.get(), QPoint(5, 5));
    QTRY_VERIFY(!m_tile->NameControl().m_logFont.underline());
    QCOMPARE(m_tile->NameControl().m_crText, m_tile->palette().color(QPalette::WindowText));
    QVERIFY(!m_tile->PictureControl().m_bHover);
}

void TileTest::pressAndRelease_data()
{
    QTest::addColumn<yfx::TileArea>("press");
    QTest::addColumn<yfx::TileArea>("release");
    QTest::addColumn<bool>("opens");
    using A = yfx::TileArea;
    QTest::newRow("picture then name") << A::Picture << A::Name << true;
    QTest::newRow("name then name") << A::Name << A::Name << true;
    QTest::newRow("price then picture") << A::None << A::Picture << false;
    QTest::newRow("picture then price") << A::Picture << A::None << false;
}

void TileTest::pressAndRelease()
{
    QFETCH(yfx::TileArea, press);
    QFETCH(yfx::TileArea, release);
    QFETCH(bool, opens);
    TestHost host;
    ScopedHost scoped(&host);
    auto at = [this](yfx::TileArea a) {
        return a == yfx::TileArea::Picture ? Centre(m_tile->PictureArea())
               : a == yfx::TileArea::Name  ? Centre(m_tile->NameArea())
                                           : m_tile->PriceControl().geometry().center();
    };
    QTest::mousePress(m_tile, Qt::LeftButton, {}, at(press));
    QTest::mouseRelease(m_tile, Qt::LeftButton, {}, at(release));
    QCOMPARE(m_tile->ClickPending(), opens);
    QTRY_VERIFY(!m_tile->ClickPending());
    QCOMPARE(m_opened.size(), opens ? 1 : 0);
    if (opens)
        QCOMPARE(m_opened.front(), QStringLiteral("http://127.0.0.1:9/item.htm?id=1001"));
}

void TileTest::opensClickAddressOrItemPage_data()
{
    QTest::addColumn<QString>("clickUrl");
    QTest::addColumn<QString>("href");
    QTest::addColumn<QString>("opened"); // empty: nothing opens
    QTest::addColumn<bool>("openPlatform"); // a record of the open platform's source
    QTest::newRow("click address") << QStringLiteral("https://s.click.example/t?e=abc")
                                   << QStringLiteral("http://item.example/1")
                                   << QStringLiteral("https://s.click.example/t?e=abc") << false;
    QTest::newRow("no click address: item page")
        << QString() << QStringLiteral("http://item.example/1") << QStringLiteral("http://item.example/1") << false;
    QTest::newRow("item page not a web address")
        << QString() << QStringLiteral("file:///etc/passwd") << QString() << false;
    QTest::newRow("click address not a web address: item page")
        << QStringLiteral("javascript:alert(1)") << QStringLiteral("https://item.example/2")
        << QStringLiteral("https://item.example/2") << false;
    // Its href is the affiliate address already: opened at once, the gateway never asked.
    QTest::newRow("open platform: its own address")
        << QStringLiteral("https://s.click.example/t?e=other") << QStringLiteral("https://s.click.example/t?e=own")
        << QStringLiteral("https://s.click.example/t?e=own") << true;
    QTest::newRow("open platform: not a web address")
        << QStringLiteral("https://s.click.example/t?e=other") << QStringLiteral("file:///etc/passwd") << QString()
        << true;
    // An item answered without its id and link: nothing to open, nothing asked.
    QTest::newRow("open platform: no address at all")
        << QStringLiteral("https://s.click.example/t?e=other") << QString() << QString() << true;
}

void TileTest::opensClickAddressOrItemPage()
{
    QFETCH(QString, clickUrl);
    QFETCH(QString, href);
    QFETCH(QString, opened);
    QFETCH(bool, openPlatform);
    TestHost host;
    host.m_config.appKey = "12345678";
    host.m_config.appSecret = "secret";
    host.m_config.pid = "mm_1_2_3";
    ScopedHost scoped(&host);

    static int row = 0;
    const std::string id = "77" + std::to_string(++row); // an item id of its own per row
    m_server->SetClickUrl(id, clickUrl.toStdString());
    CTBRecord r = MakeRecord(id);
    r.SetValue(CTBRecord::Href, href.toStdString());
    if (openPlatform)
        r.source = ResultSource::OpenPlatform;
    m_tile->SetRecord(r);

    const int before = m_server->GatewayRequests();
    QTest::mouseClick(m_tile, Qt::LeftButton, {}, Centre(m_tile->PictureArea()));
    if (openPlatform) {
        QVERIFY(!m_tile->ClickPending());
        QCOMPARE(m_opened, opened.isEmpty() ? QStringList() : QStringList{opened});
        QCOMPARE(m_server->GatewayRequests(), before);
        return;
    }
    QTRY_VERIFY(!m_tile->ClickPending());
    QCOMPARE(m_server->GatewayRequests(), before + 1);
    // The signed request carries the host's key, affiliate id and the record's item id.
    const std::string target = m_server->Requests().back().target;
    QVERIFY(target.find("app_key=12345678") != std::string::npos);
    QVERIFY(target.find("pid=mm_1_2_3") != std::string::npos);
    QVERIFY(target.find("num_iids=" + id) != std::string::npos);
    if (opened.isEmpty())
        QVERIFY(m_opened.isEmpty());
    else
        QCOMPARE(m_opened, QStringList{opened});
}

void TileTest::pendingClickOpensOnePageAndGivesUpInTime()
{
    TestHost host;
    ScopedHost scoped(&host);
    m_server->SetGatewayDelay(std::chrono::milliseconds(3000));
    m_tile->SetClickWaitMs(300);
    m_tile->SetRecord(MakeRecord("1200"));
    const int requests = m_server->GatewayRequests();
    const int answers = m_server->GatewayAnswers();
    QTest::mouseClick(m_tile, Qt::LeftButton, {}, Centre(m_tile->PictureArea()));
    QVERIFY(m_tile->ClickPending());
    QCOMPARE(m_tile->cursor().shape(), Qt::BusyCursor);
    // a second click while the first waits asks for nothing and opens nothing more
    QTest::mouseClick(m_tile, Qt::LeftButton, {}, Centre(m_tile->NameArea()));
    QTRY_COMPARE(m_server->GatewayRequests(), requests + 1);
    // no answer in time: the item's own page opens, well before the answer comes
    QTRY_COMPARE_WITH_TIMEOUT(m_opened, QStringList{QStringLiteral("http://127.0.0.1:9/item.htm?id=1200")}, 2000);
    QVERIFY(!m_tile->ClickPending());
    QVERIFY(m_tile->cursor().shape() != Qt::BusyCursor);
    // the answer that comes afterwards is dropped
    QTRY_VERIFY_WITH_TIMEOUT(m_server->GatewayAnswers() > answers, 10000);
    QTest::qWait(100);
    QCOMPARE(m_opened.size(), 1);
    QCOMPARE(m_server->GatewayRequests(), requests + 1);
    m_server->SetGatewayDelay(std::chrono::milliseconds(0));
}

void TileTest::clickWithoutHostDoesNothing()
{
    const int before = m_server->GatewayRequests();
    QTest::mouseClick(m_tile, Qt::LeftButton, {}, Centre(m_tile->NameArea()));
    QVERIFY(m_opened.isEmpty());
    QCOMPARE(m_server->GatewayRequests(), before);
}

void TileTest::pictureShowsOnceItsFileExists()
{
    const CTBRecord r = MakeRecord("1100");
    QCOMPARE(r.thumbFileName, std::string("1100.jpg_220x220.jpg"));
    const QString path = m_folder.filePath(QStringLiteral("1100.jpg_220x220.jpg"));
    QFile::remove(path);
    m_tile->SetRecord(r);
    QCOMPARE(m_tile->PictureSource().path, QFile::encodeName(path).toStdString());
    QCOMPARE(m_tile->PictureSource().thumbUrl, std::string("http://127.0.0.1:9/pic/1100.jpg_220x220.jpg"));

    // No file yet: the empty frame.
    QImage shot = m_tile->PictureControl().grab().toImage();
    QCOMPARE(shot.pixelColor(114, 114), QColor(255, 255, 255));
    QCOMPARE(shot.pixelColor(0, 0), QColor(228, 228, 228));

    QImage picture(220, 220, QImage::Format_RGB32);
    picture.fill(QColor(10, 120, 200));
    QVERIFY(picture.save(path, "PNG"));
    // a file there is not enough: it shows once the picture loader says it is this record's
    QCOMPARE(m_tile->PictureControl().grab().toImage().pixelColor(114, 114), QColor(255, 255, 255));
    m_tile->PictureControl().SetFileReady(true);
    m_tile->PictureReady();
    QTRY_VERIFY(!m_tile->PictureControl().m_image.isNull());
    shot = m_tile->PictureControl().grab().toImage();
    QCOMPARE(shot.pixelColor(114, 114), QColor(10, 120, 200));
    QCOMPARE(shot.pixelColor(4, 4), QColor(10, 120, 200)); // drawn at (4, 4)
    QCOMPARE(shot.pixelColor(3, 3), QColor(255, 255, 255));

    // A record without a picture file name gets no path: the empty frame.
    CTBRecord none = MakeRecord("1101");
    none.thumbFileName.clear();
    m_tile->SetRecord(none);
    QVERIFY(m_tile->PictureSource().path.empty());
    QVERIFY(m_tile->PictureControl().m_image.isNull());
    QCOMPARE(m_tile->PictureControl().grab().toImage().pixelColor(114, 114), QColor(255, 255, 255));
}

QTEST_MAIN(TileTest)
#include "TileTest.moc"
