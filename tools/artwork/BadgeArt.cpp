#include "tools/artwork/BadgeArt.h"

#include "tools/artwork/Supersampler.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace {

constexpr int kWidths[4][5] = {
    {17, 33, 50, 66, 82}, // hearts
    {16, 34, 51, 67, 84}, // diamonds
    {16, 34, 52, 70, 88}, // blue crowns
    {16, 34, 52, 70, 88}, // gold crowns
};

QPainterPath HeartPath()
{
    // A heart in a 17 x 16 cell, point at the bottom centre, outline included within columns
    // 1..15 so that neighbouring hearts keep a one-pixel gap.
    const qreal c = 8.5, l = 1.6, r = 17 - l;
    QPainterPath p;
    p.moveTo(c, 14.9);
    p.cubicTo(c - 1.5, 13.2, l, 10.4, l, 6.1);
    p.cubicTo(l, 3.4, 3.3, 1.4, 5.3, 1.4);
    p.cubicTo(6.9, 1.4, c - 0.4, 2.5, c, 3.9);
    p.cubicTo(c + 0.4, 2.5, 17 - 6.9, 1.4, 17 - 5.3, 1.4);
    p.cubicTo(r - 1.7, 1.4, r, 3.4, r, 6.1);
    p.cubicTo(r, 10.4, c + 1.5, 13.2, c, 14.9);
    p.closeSubpath();
    return p;
}

void PaintHeart(QPainter& p)
{
    const QPainterPath heart = HeartPath();
    QRadialGradient body(QPointF(6.0, 5.0), 11.0, QPointF(5.5, 4.5));
    body.setColorAt(0.0, QColor(255, 142, 136));
    body.setColorAt(0.45, QColor(236, 38, 48));
    body.setColorAt(1.0, QColor(168, 8, 26));
    p.setPen(QPen(QColor(150, 0, 22), 0.9));
    p.setBrush(body);
    p.drawPath(heart);

    // glossy highlight on the left lobe
    QRadialGradient shine(QPointF(5.0, 4.6), 2.6);
    shine.setColorAt(0.0, QColor(255, 255, 255, 235));
    shine.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(shine);
    p.drawEllipse(QPointF(5.0, 4.6), 2.6, 2.0);
}

void PaintDiamond(QPainter& p)
{
    // A cut gem: flat table at the top, girdle at y = 6, pavilion to the point at the bottom.
    const QPointF tl(4.2, 1.8), tr(11.8, 1.8), gl(0.8, 6.0), gr(15.2, 6.0), tip(8.0, 15.0);
    const QPointF ml(5.6, 6.0), mr(10.4, 6.0), mt(8.0, 1.8);
    auto poly = [&](std::initializer_list<QPointF> pts, QColor fill) {
        QPolygonF pg;
        for (const QPointF& pt : pts)
            pg << pt;
        p.setBrush(fill);
        p.drawPolygon(pg);
    };
    p.setPen(Qt::NoPen);
    // crown facets
    poly({gl, tl, ml}, QColor(120, 196, 255));
    poly({tl, mt, ml}, QColor(186, 230, 255));
    poly({mt, mr, ml}, QColor(150, 212, 255));
    poly({mt, tr, mr}, QColor(104, 178, 250));
    poly({tr, gr, mr}, QColor(56, 136, 235));
    // pavilion facets
    poly({gl, ml, tip}, QColor(40, 118, 226));
    poly({ml, mr, tip}, QColor(24, 92, 206));
    poly({mr, gr, tip}, QColor(14, 62, 170));

    // outline
    QPainterPath outline;
    outline.moveTo(tl);
    outline.lineTo(tr);
    outline.lineTo(gr);
    outline.lineTo(tip);
    outline.lineTo(gl);
    outline.closeSubpath();
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(10, 48, 140), 0.9, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(outline);
    // girdle line, faint
    p.setPen(QPen(QColor(230, 245, 255, 150), 0.5));
    p.drawLine(QPointF(1.4, 6.0), QPointF(14.6, 6.0));

    // sparkle
    QRadialGradient glint(QPointF(5.2, 3.6), 1.8);
    glint.setColorAt(0.0, QColor(255, 255, 255, 255));
    glint.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glint);
    p.drawEllipse(QPointF(5.2, 3.6), 1.8, 1.8);
}

QPainterPath CrownBody()
{
    // Three points over a band; the valleys between them come down to mid-height.
    QPainterPath p;
    p.moveTo(2.3, 11.2);
    p.lineTo(1.6, 4.4);
    p.lineTo(5.1, 8.3);
    p.lineTo(8.0, 3.2);
    p.lineTo(10.9, 8.3);
    p.lineTo(14.4, 4.4);
    p.lineTo(13.7, 11.2);
    p.closeSubpath();
    return p;
}

struct CrownColours {
    QColor light, mid, dark, outline, band, bandDark, gem, gemLight;
};

void PaintCrown(QPainter& p, const CrownColours& c)
{
    const QPen outline(c.outline, 0.85, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);

    QLinearGradient body(QPointF(0, 2.5), QPointF(0, 11.5));
    body.setColorAt(0.0, c.light);
    body.setColorAt(0.55, c.mid);
    body.setColorAt(1.0, c.dark);
    p.setPen(outline);
    p.setBrush(body);
    p.drawPath(CrownBody());

    // balls on the tips
    for (const QPointF& tip : {QPointF(1.9, 3.3), QPointF(8.0, 2.2), QPointF(14.1, 3.3)}) {
        QRadialGradient ball(tip + QPointF(-0.5, -0.5), 1.9);
        ball.setColorAt(0.0, c.gemLight);
        ball.setColorAt(1.0, c.mid);
        p.setBrush(ball);
        p.drawEllipse(tip, 1.6, 1.6);
    }

    // band
    QLinearGradient band(QPointF(0, 10.8), QPointF(0, 14.6));
    band.setColorAt(0.0, c.band);
    band.setColorAt(1.0, c.bandDark);
    p.setBrush(band);
    p.drawRoundedRect(QRectF(1.9, 10.9, 12.2, 3.7), 0.9, 0.9);

    // gems on the band
    p.setPen(Qt::NoPen);
    for (qreal x : {4.6, 8.0, 11.4}) {
        QRadialGradient gem(QPointF(x - 0.3, 12.4), 1.2);
        gem.setColorAt(0.0, c.gemLight);
        gem.setColorAt(1.0, c.gem);
        p.setBrush(gem);
        p.drawEllipse(QPointF(x, 12.75), 1.0, 1.0);
    }

    // a soft highlight down the left side of the body
    QLinearGradient gloss(QPointF(2, 0), QPointF(9, 0));
    gloss.setColorAt(0.0, QColor(255, 255, 255, 110));
    gloss.setColorAt(1.0, QColor(255, 255, 255, 0));
    QPainterPath shine;
    shine.moveTo(3.0, 10.3);
    shine.lineTo(2.4, 6.6);
    shine.lineTo(5.2, 8.9);
    shine.lineTo(7.9, 4.6);
    shine.lineTo(7.9, 10.3);
    shine.closeSubpath();
    p.setBrush(gloss);
    p.drawPath(shine);
}

int Kind(int level)
{
    return (level - 1) / 5;
}

} // namespace

int BadgeArt::Width(int level)
{
    if (level < 1 || level > 20)
        return 0;
    return kWidths[Kind(level)][(level - 1) % 5];
}

QImage BadgeArt::Sprite(Symbol symbol, int scale)
{
    switch (symbol) {
    case Symbol::Heart:
        return Supersampler::Render(QSize(17, 16), PaintHeart, 8, scale);
    case Symbol::Diamond:
        return Supersampler::Render(QSize(16, 16), PaintDiamond, 8, scale);
    case Symbol::BlueCrown:
        return Supersampler::Render(QSize(16, 16), [](QPainter& p) {
            PaintCrown(p, {QColor(150, 208, 255), QColor(46, 128, 236), QColor(18, 70, 184),
                           QColor(8, 44, 128), QColor(64, 140, 240), QColor(16, 64, 170),
                           QColor(232, 244, 255), QColor(255, 255, 255)});
        }, 8, scale);
    case Symbol::GoldCrown:
        return Supersampler::Render(QSize(16, 16), [](QPainter& p) {
            PaintCrown(p, {QColor(255, 240, 150), QColor(250, 190, 30), QColor(214, 128, 0),
                           QColor(140, 76, 0), QColor(252, 200, 50), QColor(200, 118, 0),
                           QColor(214, 26, 40), QColor(255, 150, 140)});
        }, 8, scale);
    }
    return {};
}

QImage BadgeArt::Badge(int level, int scale)
{
    const int width = Width(level);
    if (width == 0 || scale < 1)
        return {};
    const int count = (level - 1) % 5 + 1;
    const QImage sprite = Sprite(static_cast<Symbol>(Kind(level)), scale);
    QImage canvas(width * scale, 16 * scale, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    {
        QPainter p(&canvas);
        // (the places of the ordinary badge, so both sizes show the same picture)
        const int free = width - sprite.width() / scale;
        for (int i = 0; i < count; ++i) {
            const int x = count == 1 ? free / 2 : (2 * i * free + (count - 1)) / (2 * (count - 1));
            p.drawImage(x * scale, 0, sprite);
        }
    }
    return Supersampler::Over(canvas, Qt::white);
}
