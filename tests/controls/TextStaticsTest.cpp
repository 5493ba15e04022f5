// The text static over a patterned parent (its own colour and font, no face colour, immediate
// repaint on a new text, alignment, mnemonics) and the picture link (centred drawing, clipping
// and hit-testing in the parent's coordinates).
#include "controls/CControlAccessible.h"
#include "controls/CMyStatic.h"
#include "controls/CMyUrlStatic.h"
#include "res/Resources.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QPainter>
#include <QSignalSpy>
#include <QScreen>
#include <QTest>
#include <QWindow>

namespace {

const QColor kPatternA(30, 90, 200);
const QColor kPatternB(240, 220, 40);

// A parent that paints a checkerboard of 4-pixel squares in two colours.
class PatternParent : public QWidget {
public:
    PatternParent() { resize(240, 160); }
    static QColor PatternAt(int x, int y) { return ((x / 4) + (y / 4)) % 2 ? kPatternB : kPatternA; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        for (int y = 0; y < height(); y += 4)
            for (int x = 0; x < width(); x += 4)
                p.fillRect(x, y, 4, 4, PatternAt(x, y));
    }
};

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

QImage Grab(QWidget& w)
{
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// What the window system shows of a top-level widget right now (no new painting).
QImage OnScreen(QWidget& top)
{
    return top.windowHandle()->screen()->grabWindow(top.winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

// Pixels in `area` that differ from the parent's pattern.
QRect Ink(const QImage& img, const QRect& area)
{
    QRect ink;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (img.pixelColor(x, y) != PatternParent::PatternAt(x, y))
                ink |= QRect(x, y, 1, 1);
    return ink;
}

int CountColour(const QImage& img, const QRect& area, const QColor& c)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += img.pixelColor(x, y) == c;
    return n;
}

QPixmap Solid(int w, int h, const QColor& c)
{
    QPixmap pm(w, h);
    pm.fill(c);
    return pm;
}

} // namespace

class TextStaticsTest : public QObject {
    Q_OBJECT
private slots:
    void textStaticStartsWithWindowTextAndInterfaceFont()
    {
        CMyStatic text;
        QCOMPARE(text.m_crText, text.palette().color(QPalette::WindowText));
        QCOMPARE(text.m_logFont, QApplication::font());
        QVERIFY(text.testAttribute(Qt::WA_TransparentForMouseEvents));
        QVERIFY(!text.autoFillBackground());
    }

    void textOverParentBackground()
    {
        PatternParent parent;
        auto* text = new CMyStatic(QStringLiteral("Hi"), &parent);
        text->setGeometry(20, 20, 150, 40);
        text->m_crText = QColor(255, 0, 0);
        text->m_logFont.setPixelSize(20);
        const QImage shot = Grab(parent);
        const QRect area = text->geometry();
        const QRect ink = Ink(shot, area);
        QVERIFY(!ink.isEmpty());
        // Text at the top-left, in the control's own colour.
        QVERIFY2(ink.left() < area.left() + 6 && ink.top() < area.top() + 12, qPrintable(QStringLiteral("%1,%2").arg(ink.x()).arg(ink.y())));
        QVERIFY(CountColour(shot, area, QColor(255, 0, 0)) > 10);
        // Everywhere else the parent's pattern: no face colour, no fill of its own.
        const QRect rightOfText(ink.right() + 2, area.top(), area.right() - ink.right() - 2, area.height());
        QVERIFY(rightOfText.width() > 50);
        QVERIFY(Ink(shot, rightOfText).isEmpty());
        const QColor face = parent.palette().color(QPalette::Button);
        QCOMPARE(CountColour(shot, area, face), 0);
    }

    void newTextRepaintsAtOnceWithoutStalePixels()
    {
        PatternParent parent;
        auto* text = new CMyStatic(QStringLiteral("WWWWWWWWWW"), &parent);
        text->setGeometry(10, 10, 220, 40);
        text->m_logFont.setPixelSize(20);
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        QTRY_VERIFY(Ink(OnScreen(parent), text->geometry()).width() > 100);

        PaintCounter counter;
        text->installEventFilter(&counter);
        text->SetText(QStringLiteral("W"));
        // Painted during the call, before any event is processed.
        QVERIFY(counter.paints >= 1);
        QCOMPARE(text->Text(), QStringLiteral("W"));
        const QRect ink = Ink(OnScreen(parent), text->geometry());
        QVERIFY(!ink.isEmpty());
        QVERIFY2(ink.width() < 40, "the longer text's pixels are gone");

        // Colour and font setters repaint at once too.
        counter.paints = 0;
        text->SetTextColor(QColor(0, 200, 0));
        QVERIFY(counter.paints >= 1);
        QVERIFY(CountColour(OnScreen(parent), text->geometry(), QColor(0, 200, 0)) > 5);
        counter.paints = 0;
        const int before = Ink(OnScreen(parent), text->geometry()).height();
        text->SetPixelHeight(34);
        QVERIFY(counter.paints >= 1);
        QVERIFY(Ink(OnScreen(parent), text->geometry()).height() > before + 5);
    }

    void boldAndUnderlineChangeTheDrawing()
    {
        PatternParent parent;
        auto* text = new CMyStatic(QStringLiteral("Price 12.50"), &parent);
        text->setGeometry(10, 10, 200, 40);
        text->SetPixelHeight(15);
        const QRect area = text->geometry();
        const QImage plain = Grab(parent).copy(area);
        text->SetBold(true);
        const QImage bold = Grab(parent).copy(area);
        QVERIFY(bold != plain);
        text->SetBold(false);
        QCOMPARE(Grab(parent).copy(area), plain);
        text->SetUnderline(true);
        const QRect underlined = Ink(Grab(parent), area);
        text->SetUnderline(false);
        const QRect normal = Ink(Grab(parent), area);
        QVERIFY(underlined.bottom() >= normal.bottom());
        QVERIFY(underlined != normal);
    }

    void alignmentAndWrapping_data()
    {
        QTest::addColumn<int>("alignment");
        QTest::addColumn<QString>("where");
        QTest::newRow("left") << int(Qt::AlignLeft) << QStringLiteral("left top");
        QTest::newRow("centre") << int(Qt::AlignHCenter) << QStringLiteral("centre top");
        QTest::newRow("right") << int(Qt::AlignRight) << QStringLiteral("right top");
        QTest::newRow("centre image") << int(Qt::AlignLeft | Qt::AlignVCenter) << QStringLiteral("left middle");
    }
    void alignmentAndWrapping()
    {
        QFETCH(int, alignment);
        QFETCH(QString, where);
        PatternParent parent;
        auto* text = new CMyStatic(QStringLiteral("X"), &parent);
        text->setGeometry(20, 20, 160, 80);
        text->m_logFont.setPixelSize(16);
        text->SetAlignment(Qt::Alignment(alignment));
        const QRect area = text->geometry();
        const QRect ink = Ink(Grab(parent), area);
        QVERIFY(!ink.isEmpty());
        const int cx = ink.center().x() - area.left();
        const int cy = ink.center().y() - area.top();
        if (where.startsWith(QStringLiteral("left")))
            QVERIFY2(cx < 20, qPrintable(QString::number(cx)));
        else if (where.startsWith(QStringLiteral("centre")))
            QVERIFY2(qAbs(cx - 80) < 8, qPrintable(QString::number(cx)));
        else
            QVERIFY2(cx > 140, qPrintable(QString::number(cx)));
        if (where.endsWith(QStringLiteral("top")))
            QVERIFY2(cy < 20, qPrintable(QString::number(cy)));
        else
            QVERIFY2(qAbs(cy - 40) < 8, qPrintable(QString::number(cy)));
    }

    void longTextWrapsInsideTheControl()
    {
        PatternParent parent;
        auto* text = new CMyStatic(QStringLiteral("one two three four five six seven eight nine ten"), &parent);
        text->setGeometry(10, 10, 120, 100);
        text->m_logFont.setPixelSize(14);
        const QRect ink = Ink(Grab(parent), QRect(0, 0, 240, 160));
        QVERIFY(text->geometry().contains(ink));
        QVERIFY2(ink.height() > 2 * 14, "wrapped over several lines");
    }

    void ampersandIsAMnemonicPrefix()
    {
        QFont font = QApplication::font();
        font.setPixelSize(18);
        auto drawn = [&](const QString& s) {
            PatternParent parent;
            auto* text = new CMyStatic(s, &parent);
            text->setGeometry(10, 10, 200, 40);
            text->m_logFont = font;
            return Grab(parent);
        };
        auto reference = [&](const QString& s) {
            PatternParent parent;
            parent.resize(240, 160);
            QImage img = Grab(parent);
            QPainter p(&img);
            p.setFont(font);
            p.setPen(QApplication::palette().color(QPalette::WindowText));
            p.drawText(QRect(10, 10, 200, 40), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, s);
            p.end();
            return img;
        };
        const QRect area(10, 10, 200, 40);
        // "&&" draws one ampersand; a single one is not drawn.
        QCOMPARE(drawn(QStringLiteral("A&&B")).copy(area), reference(QStringLiteral("A&B")).copy(area));
        QVERIFY(drawn(QStringLiteral("&AB")).copy(area) != reference(QStringLiteral("&AB")).copy(area));
        QVERIFY(Ink(drawn(QStringLiteral("&AB")), area).width() < Ink(reference(QStringLiteral("&AB")), area).width());
    }

    void literalTextShowsAmpersandsAndWholeLines()
    {
        QFont font = QApplication::font();
        font.setPixelSize(18);
        const QRect area(10, 10, 200, 40);
        auto drawn = [&](const QString& s, bool literal) {
            PatternParent parent;
            auto* text = new CMyStatic(s, &parent);
            text->setGeometry(area);
            text->m_logFont = font;
            text->SetLiteral(literal);
            return Grab(parent);
        };
        auto reference = [&](const QString& s) {
            PatternParent parent;
            QImage img = Grab(parent);
            QPainter p(&img);
            p.setFont(font);
            p.setPen(QApplication::palette().color(QPalette::WindowText));
            p.drawText(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, s); // no mnemonics
            p.end();
            return img;
        };
        // An ampersand is drawn as it is; the same text in the mnemonic mode loses it.
        QCOMPARE(drawn(QStringLiteral("H&M M&M's"), true).copy(area), reference(QStringLiteral("H&M M&M's")).copy(area));
        QVERIFY(drawn(QStringLiteral("H&M M&M's"), false).copy(area) != drawn(QStringLiteral("H&M M&M's"), true).copy(area));

        // A text longer than the control: whole lines only, the last one ending in "…".
        PatternParent parent;
        auto* text = new CMyStatic(QStringLiteral("one two three four five six seven eight nine ten eleven"), &parent);
        text->m_logFont = font;
        const int line = QFontMetrics(font).lineSpacing();
        text->setGeometry(10, 10, 120, line * 5 / 2); // two and a half lines
        text->SetLiteral(true);
        const QStringList lines = text->ShownLines();
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines[1].endsWith(QChar(0x2026)));
        const QRect ink = Ink(Grab(parent), QRect(0, 0, 240, 160));
        QVERIFY(text->geometry().contains(ink));
        QVERIFY2(ink.bottom() < 10 + 2 * line + 1, qPrintable(QString::number(ink.bottom()))); // no half third line
        // A text that fits is shown whole, without an ellipsis.
        text->SetText(QStringLiteral("99999.00"));
        QCOMPARE(text->ShownLines(), QStringList{QStringLiteral("99999.00")});
        // The mnemonic mode has no lines of its own to report.
        text->SetLiteral(false);
        QVERIFY(text->ShownLines().isEmpty());
    }

    // ------------------------------------------------------------ picture link

    void linkPictureIsCentredAndHitTestedInParentCoordinates_data()
    {
        QTest::addColumn<QPoint>("point");
        QTest::addColumn<bool>("inside");
        // Control at (20, 30), 100 x 60; picture 40 x 20 drawn at (30, 20) inside it, so it
        // covers parent x 50..89, y 50..69.
        QTest::newRow("top-left pixel") << QPoint(50, 50) << true;
        QTest::newRow("bottom-right pixel") << QPoint(89, 69) << true;
        QTest::newRow("middle") << QPoint(70, 60) << true;
        QTest::newRow("right edge excluded") << QPoint(90, 60) << false;
        QTest::newRow("bottom edge excluded") << QPoint(70, 70) << false;
        QTest::newRow("left margin") << QPoint(49, 60) << false;
        QTest::newRow("top margin") << QPoint(70, 49) << false;
        QTest::newRow("control corner") << QPoint(20, 30) << false;
        QTest::newRow("control's own coordinates are not the parent's") << QPoint(30, 20) << false;
        QTest::newRow("outside the control") << QPoint(200, 150) << false;
    }
    void linkPictureIsCentredAndHitTestedInParentCoordinates()
    {
        QFETCH(QPoint, point);
        QFETCH(bool, inside);
        PatternParent parent;
        auto* link = new CMyUrlStatic(&parent);
        link->setGeometry(20, 30, 100, 60);
        const QColor green(0, 180, 0);
        QVERIFY(link->SetLinkPixmap(Solid(40, 20, green)));
        QCOMPARE(link->m_nBitmapWidth, 40);
        QCOMPARE(link->m_nBitmapHeight, 20);
        QCOMPARE(link->LinkImageRect(), QRect(30, 20, 40, 20));
        QCOMPARE(link->PtInLinkImage(point.x(), point.y()), inside);
        // What is drawn is what is hit: the picture where PtInLinkImage holds, the parent's
        // pattern elsewhere in the control.
        const QImage shot = Grab(parent);
        if (link->geometry().contains(point))
            QCOMPARE(shot.pixelColor(point), inside ? green : PatternParent::PatternAt(point.x(), point.y()));
    }

    void linkWithoutPictureDrawsNothingAndIsNeverHit()
    {
        PatternParent parent;
        auto* link = new CMyUrlStatic(&parent);
        link->setGeometry(20, 30, 100, 60);
        QVERIFY(!link->LoadLinkBitmap(-12345));
        QVERIFY(link->m_bitmap.isNull());
        QVERIFY(Ink(Grab(parent), QRect(0, 0, 240, 160)).isEmpty());
        for (int y = 25; y < 95; y += 5)
            for (int x = 15; x < 125; x += 5)
                QVERIFY(!link->PtInLinkImage(x, y));

        // A failed load after a good one also leaves no hit area and no picture.
        QVERIFY(link->SetLinkPixmap(Solid(40, 20, Qt::red)));
        QVERIFY(link->PtInLinkImage(70, 60));
        QVERIFY(!link->SetLinkPixmap(QPixmap()));
        QVERIFY(!link->PtInLinkImage(70, 60));
        QVERIFY(Ink(Grab(parent), QRect(0, 0, 240, 160)).isEmpty());
    }

    void wideLinkPictureIsClippedButHitBeyondTheControl()
    {
        PatternParent parent;
        auto* link = new CMyUrlStatic(&parent);
        link->setGeometry(10, 10, 50, 40);
        const QColor red(220, 0, 0);
        QVERIFY(link->SetLinkPixmap(Solid(80, 20, red)));
        // Wider than the control: from its left edge; vertically centred: parent y 20..39.
        QCOMPARE(link->LinkImageRect(), QRect(0, 10, 80, 20));
        const QImage shot = Grab(parent);
        QCOMPARE(shot.pixelColor(10, 20), red);
        QCOMPARE(shot.pixelColor(59, 39), red);
        QCOMPARE(shot.pixelColor(60, 20), PatternParent::PatternAt(60, 20)); // clipped at the control
        QCOMPARE(shot.pixelColor(30, 19), PatternParent::PatternAt(30, 19));
        QVERIFY(link->PtInLinkImage(10, 20));
        QVERIFY(link->PtInLinkImage(70, 25));  // the clipped part, outside the control
        QVERIFY(link->PtInLinkImage(89, 39));
        QVERIFY(!link->PtInLinkImage(90, 25));
        QVERIFY(!link->PtInLinkImage(70, 40));
        QVERIFY(!link->PtInLinkImage(9, 25));

        // Taller too: from the top-left corner, hit area beyond the bottom edge.
        QVERIFY(link->SetLinkPixmap(Solid(80, 70, red)));
        QCOMPARE(link->LinkImageRect(), QRect(0, 0, 80, 70));
        QVERIFY(link->PtInLinkImage(30, 75));
        QVERIFY(!link->PtInLinkImage(30, 80));
    }

    void linkBitmapFromResources()
    {
        const QPixmap expected = yfx::res::Bitmap(335);
        QVERIFY2(!expected.isNull(), "the resource layer holds bitmap 335");
        CMyUrlStatic link;
        QVERIFY(link.LoadLinkBitmap(335));
        QCOMPARE(link.m_nBitmapWidth, expected.width());
        QCOMPARE(link.m_nBitmapHeight, expected.height());
        QCOMPARE(link.m_bitmap.toImage(), expected.toImage());
    }

    void screenReadersReadTheControls()
    {
        InstallControlsAccessibility();
        QWidget parent;
        auto* label = new CMyStatic(QStringLiteral("销&&量(&S)"), &parent);
        auto* literal = new CMyStatic(&parent);
        literal->SetLiteral(true);
        literal->SetText(QStringLiteral("A&B 手机"));
        auto* link = new CMyUrlStatic(&parent);
        link->LoadLinkBitmap(335);
        link->setAccessibleName(QStringLiteral("淘宝首页"));
        auto* bare = new CMyUrlStatic(&parent); // no picture: Enter does nothing
        const struct {
            QWidget* control;
            QAccessible::Role role;
            QString name;
        } cases[] = {{label, QAccessible::StaticText, QStringLiteral("销&量(S)")},
                     {literal, QAccessible::StaticText, QStringLiteral("A&B 手机")},
                     {link, QAccessible::Link, QStringLiteral("淘宝首页")}};
        for (const auto& c : cases) {
            QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(c.control);
            QVERIFY(iface);
            QCOMPARE(iface->role(), c.role);
            QCOMPARE(iface->text(QAccessible::Name), c.name);
        }
        // a link takes the focus with Tab; Enter, Space and the accessible Press activate it
        QCOMPARE(link->focusPolicy(), Qt::TabFocus);
        QSignalSpy activated(link, &CMyUrlStatic::activated);
        QTest::keyClick(link, Qt::Key_Return);
        QTest::keyClick(link, Qt::Key_Space);
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(link);
        QVERIFY(iface->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
        iface->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(activated.count(), 3);
        QSignalSpy bareActivated(bare, &CMyUrlStatic::activated);
        QTest::keyClick(bare, Qt::Key_Return);
        QCOMPARE(bareActivated.count(), 0);
    }
};

QTEST_MAIN(TextStaticsTest)
#include "TextStaticsTest.moc"
