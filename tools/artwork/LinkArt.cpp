#include "tools/artwork/LinkArt.h"

#include "tools/artwork/Supersampler.h"

#include <QFontDatabase>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace {

const QString kFamily = QStringLiteral("WenQuanYi Micro Hei");

// Text as an outline (unhinted), so its pixels depend on the font file only. `weight` widens
// the outline by a stroke of that many pixels (the font has a single, regular weight).
void DrawText(QPainter& p, const QString& text, QPointF baseline, qreal pixelSize, QColor colour,
              qreal weight = 0, qreal spacing = 0)
{
    QFont font(kFamily);
    font.setPixelSize(qRound(pixelSize * 8)); // drawn at 1/8 scale: outlines of a large size
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setKerning(false);
    QPainterPath path;
    qreal x = 0;
    const QFontMetricsF fm(font);
    for (const QChar ch : text) {
        path.addText(QPointF(x, 0), font, QString(ch));
        x += fm.horizontalAdvance(ch) + spacing * 8;
    }
    p.save();
    p.translate(baseline);
    p.scale(1.0 / 8, 1.0 / 8);
    p.setBrush(colour);
    if (weight > 0)
        p.setPen(QPen(colour, weight * 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    else
        p.setPen(Qt::NoPen);
    p.drawPath(path);
    p.restore();
}

qreal TextWidth(const QString& text, qreal pixelSize, qreal spacing = 0)
{
    QFont font(kFamily);
    font.setPixelSize(qRound(pixelSize * 8));
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setKerning(false);
    const QFontMetricsF fm(font);
    qreal x = 0;
    for (const QChar ch : text)
        x += fm.horizontalAdvance(ch) + spacing * 8;
    return (x - spacing * 8) / 8;
}

// A shopping bag in a w x h box at `origin`: body, rim and two handles; `accent` draws the
// mark on its face (a smile for the marketplace, a star for the mall).
void DrawBag(QPainter& p, QRectF box, QColor body, QColor shade, QColor handle, bool star, QColor accent)
{
    const qreal w = box.width(), h = box.height();
    const qreal x0 = box.left(), y0 = box.top();
    const qreal top = y0 + h * 0.30;

    // handle (behind the body)
    QPainterPath arc;
    arc.moveTo(x0 + w * 0.30, top + h * 0.06);
    arc.cubicTo(x0 + w * 0.30, y0 - h * 0.02, x0 + w * 0.70, y0 - h * 0.02, x0 + w * 0.70, top + h * 0.06);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(handle, w * 0.085, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(arc);

    // body: slightly wider at the bottom, rounded corners
    QPainterPath bag;
    bag.moveTo(x0 + w * 0.10, top);
    bag.lineTo(x0 + w * 0.90, top);
    bag.lineTo(x0 + w * 0.98, y0 + h - h * 0.08);
    bag.quadTo(x0 + w, y0 + h, x0 + w * 0.92, y0 + h);
    bag.lineTo(x0 + w * 0.08, y0 + h);
    bag.quadTo(x0, y0 + h, x0 + w * 0.02, y0 + h - h * 0.08);
    bag.closeSubpath();
    QLinearGradient g(box.topLeft(), box.topRight());
    g.setColorAt(0.0, body);
    g.setColorAt(1.0, shade);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawPath(bag);

    // holes where the handle goes in
    p.setBrush(handle);
    p.drawEllipse(QPointF(x0 + w * 0.30, top + h * 0.09), w * 0.055, w * 0.055);
    p.drawEllipse(QPointF(x0 + w * 0.70, top + h * 0.09), w * 0.055, w * 0.055);

    const QPointF c(x0 + w * 0.5, top + (y0 + h - top) * 0.55);
    if (star) {
        QPolygonF s;
        const qreal ro = w * 0.25, ri = ro * 0.42;
        for (int i = 0; i < 10; ++i) {
            const qreal a = -M_PI / 2 + i * M_PI / 5;
            const qreal r = i % 2 ? ri : ro;
            s << c + QPointF(r * std::cos(a), r * std::sin(a));
        }
        p.setBrush(accent);
        p.drawPolygon(s);
    } else {
        QPainterPath smile;
        smile.moveTo(c + QPointF(-w * 0.24, -h * 0.07));
        smile.cubicTo(c + QPointF(-w * 0.16, h * 0.17), c + QPointF(w * 0.16, h * 0.17),
                      c + QPointF(w * 0.24, -h * 0.07));
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(accent, w * 0.09, Qt::SolidLine, Qt::RoundCap));
        p.drawPath(smile);
    }
}

// A banner ground: vertical gradient, a soft sheen over the top half, diagonal light bands
// and a one-pixel darker frame.
void DrawGround(QPainter& p, QSizeF size, QColor top, QColor bottom, QColor frame)
{
    QLinearGradient g(QPointF(0, 0), QPointF(0, size.height()));
    g.setColorAt(0.0, top);
    g.setColorAt(1.0, bottom);
    p.fillRect(QRectF(QPointF(0, 0), size), g);

    p.save();
    p.setClipRect(QRectF(QPointF(0, 0), size));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 22));
    for (qreal x = size.width() * 0.55; x < size.width() + size.height(); x += size.height() * 0.9) {
        QPolygonF band;
        band << QPointF(x, 0) << QPointF(x + size.height() * 0.35, 0)
             << QPointF(x - size.height() * 0.35, size.height()) << QPointF(x - size.height() * 0.7, size.height());
        p.drawPolygon(band);
    }
    QLinearGradient sheen(QPointF(0, 0), QPointF(0, size.height() * 0.5));
    sheen.setColorAt(0.0, QColor(255, 255, 255, 70));
    sheen.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.fillRect(QRectF(0, 0, size.width(), size.height() * 0.5), sheen);
    p.restore();

    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(frame, 1.0));
    p.drawRect(QRectF(0.5, 0.5, size.width() - 1, size.height() - 1));
}

} // namespace

QString LinkArt::FontFamily()
{
    return QFontDatabase::families().contains(kFamily) ? kFamily : QString();
}

QImage LinkArt::MarketLogo(int scale)
{
    const QSize size(146, 58);
    const QImage img = Supersampler::Render(size, [&](QPainter& p) {
        DrawGround(p, size, QColor(255, 128, 16), QColor(238, 72, 0), QColor(196, 58, 0));
        // white disc behind the mark
        QRadialGradient disc(QPointF(29, 28), 22);
        disc.setColorAt(0.0, QColor(255, 255, 255, 60));
        disc.setColorAt(1.0, QColor(255, 255, 255, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(disc);
        p.drawEllipse(QPointF(29, 29), 24, 24);
        DrawBag(p, QRectF(12, 9, 34, 40), QColor(255, 255, 255), QColor(255, 232, 214),
                QColor(255, 250, 240), false, QColor(250, 96, 0));

        DrawText(p, QStringLiteral("淘宝网"), QPointF(55, 29), 22, QColor(255, 255, 255), 0.9, 0.5);
        p.setPen(QPen(QColor(255, 220, 190), 1.0));
        p.drawLine(QPointF(55.5, 35.5), QPointF(136.5, 35.5));
        DrawText(p, QStringLiteral("精选频道"), QPointF(56, 50), 13, QColor(255, 244, 228), 0.3, 2.6);
    }, 8, scale);
    return Supersampler::Over(img, Qt::white);
}

QImage LinkArt::MallLogo(int scale)
{
    const QSize size(220, 65);
    const QImage img = Supersampler::Render(size, [&](QPainter& p) {
        DrawGround(p, size, QColor(226, 16, 34), QColor(176, 0, 22), QColor(130, 0, 14));
        QRadialGradient disc(QPointF(34, 32), 26);
        disc.setColorAt(0.0, QColor(255, 255, 255, 60));
        disc.setColorAt(1.0, QColor(255, 255, 255, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(disc);
        p.drawEllipse(QPointF(34, 33), 27, 27);
        DrawBag(p, QRectF(15, 10, 38, 45), QColor(255, 255, 255), QColor(255, 226, 226),
                QColor(255, 246, 246), true, QColor(214, 10, 30));

        DrawText(p, QStringLiteral("天猫"), QPointF(65, 35), 26, QColor(255, 255, 255), 1.0, 1.0);
        const qreal x = 65 + TextWidth(QStringLiteral("天猫"), 26, 1.0) + 7;
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 214, 120));
        p.drawEllipse(QPointF(x, 25), 2.0, 2.0);
        DrawText(p, QStringLiteral("品牌频道"), QPointF(x + 7, 33), 18, QColor(255, 255, 255), 0.5, 0.5);
        DrawText(p, QStringLiteral("正品保障 · 品质生活"), QPointF(66, 55), 12, QColor(255, 214, 120), 0.2, 1.4);
    }, 8, scale);
    return Supersampler::Over(img, Qt::white);
}

QImage LinkArt::Announcement(int scale)
{
    const QImage img = Supersampler::Render(QSize(20, 20), [](QPainter& p) {
        // megaphone pointing right: mouthpiece, cone, bell rim, handle, sound waves
        const QPen outline(QColor(150, 56, 0), 0.9, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        QPainterPath cone;
        cone.moveTo(3.4, 8.2);
        cone.lineTo(10.6, 4.0);
        cone.lineTo(10.6, 15.0);
        cone.lineTo(3.4, 11.8);
        cone.closeSubpath();
        QLinearGradient g(QPointF(0, 4), QPointF(0, 15));
        g.setColorAt(0.0, QColor(255, 180, 64));
        g.setColorAt(0.5, QColor(250, 120, 10));
        g.setColorAt(1.0, QColor(214, 82, 0));
        p.setPen(outline);
        p.setBrush(QColor(214, 82, 0));
        p.drawRoundedRect(QRectF(5.0, 11.6, 2.6, 5.0), 0.9, 0.9); // handle
        p.setBrush(g);
        p.drawPath(cone);
        p.setBrush(QColor(120, 130, 150));
        p.drawRoundedRect(QRectF(1.0, 7.8, 2.6, 4.4), 0.8, 0.8); // mouthpiece
        QLinearGradient rim(QPointF(9.5, 0), QPointF(12.5, 0));
        rim.setColorAt(0.0, QColor(255, 220, 150));
        rim.setColorAt(1.0, QColor(232, 124, 20));
        p.setBrush(rim);
        p.drawEllipse(QRectF(9.4, 3.4, 2.8, 12.2));

        // two sound waves
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(36, 118, 220), 1.3, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(11.0, 6.5, 4.4, 6.0), -55 * 16, 110 * 16);
        p.drawArc(QRectF(11.6, 3.6, 7.0, 11.8), -55 * 16, 110 * 16);
    }, 8, scale);
    return Supersampler::Keyed(img, Qt::white, Qt::white, 1);
}
