#include "tools/artwork/StripArt.h"

#include "tools/artwork/Supersampler.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace {

// Rims blend into a light grey close to the bar's face before the rest becomes magenta.
const QColor kEdge(236, 236, 236);
constexpr int kThreshold = 48;

// Every picture is drawn in a 24-unit box scaled to the cell size `s`; outlines are one
// pixel wide at either size (`px` units).
void Magnifier(QPainter& p, qreal s)
{
    const qreal px = 24 / s;
    p.save();
    p.scale(s / 24, s / 24);
    // handle
    QLinearGradient hg(QPointF(14, 14), QPointF(22, 22));
    hg.setColorAt(0.0, QColor(130, 80, 34));
    hg.setColorAt(1.0, QColor(84, 46, 16));
    p.setPen(QPen(QColor(60, 32, 10), px, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(hg);
    QPainterPath handle;
    handle.moveTo(13.0, 15.8);
    handle.lineTo(15.8, 13.0);
    handle.lineTo(22.2, 19.4);
    handle.quadTo(23.0, 23.0, 19.4, 22.2);
    handle.closeSubpath();
    p.drawPath(handle);
    // lens
    QRadialGradient lens(QPointF(7.5, 7.5), 8.5, QPointF(6.5, 6.0));
    lens.setColorAt(0.0, QColor(236, 248, 255));
    lens.setColorAt(0.7, QColor(160, 210, 246));
    lens.setColorAt(1.0, QColor(96, 160, 220));
    p.setBrush(lens);
    p.setPen(QPen(QColor(40, 70, 120), 2 * px));
    p.drawEllipse(QPointF(9.5, 9.5), 7.0, 7.0);
    // glint
    p.setPen(QPen(QColor(255, 255, 255, 230), 1.3 * px, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(5.0, 5.0, 9.0, 9.0), 100 * 16, 70 * 16);
    p.restore();
}

void Ranking(QPainter& p, qreal s)
{
    const qreal px = 24 / s;
    p.save();
    p.scale(s / 24, s / 24);
    const QPen outline(QColor(120, 30, 0), px, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
    struct Bar { qreal x, top; QColor light, dark; };
    const Bar bars[3] = {
        {1.5, 15.0, QColor(255, 216, 120), QColor(236, 150, 20)},
        {8.5, 11.5, QColor(255, 172, 90), QColor(236, 96, 16)},
        {15.5, 8.0, QColor(255, 112, 92), QColor(208, 24, 24)},
    };
    for (const Bar& b : bars) {
        QLinearGradient g(QPointF(b.x, 0), QPointF(b.x + 6, 0));
        g.setColorAt(0.0, b.light);
        g.setColorAt(1.0, b.dark);
        p.setPen(outline);
        p.setBrush(g);
        p.drawRect(QRectF(b.x, b.top, 6, 21.5 - b.top));
    }
    // a flame on the tallest bar: outer orange, inner yellow
    auto flame = [](QPointF base, qreal w, qreal h) {
        QPainterPath f;
        f.moveTo(base);
        f.cubicTo(base + QPointF(-w * 0.75, 0), base + QPointF(-w * 0.55, -h * 0.55), base + QPointF(-w * 0.05, -h));
        f.cubicTo(base + QPointF(w * 0.10, -h * 0.55), base + QPointF(w * 0.45, -h * 0.60), base + QPointF(w * 0.40, -h * 0.78));
        f.cubicTo(base + QPointF(w * 0.75, -h * 0.45), base + QPointF(w * 0.70, 0), base);
        f.closeSubpath();
        return f;
    };
    p.setPen(QPen(QColor(190, 40, 0), px * 0.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(255, 120, 0));
    p.drawPath(flame(QPointF(18.5, 7.6), 6.0, 7.4));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 226, 80));
    p.drawPath(flame(QPointF(18.5, 7.4), 3.0, 3.8));
    // base line
    p.setPen(QPen(QColor(90, 90, 100), 1.5 * px, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(0.8, 22.3), QPointF(23.2, 22.3));
    p.restore();
}

void Home(QPainter& p, qreal s)
{
    const qreal px = 24 / s;
    p.save();
    p.scale(s / 24, s / 24);
    const QPen outline(QColor(96, 54, 22), px, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    // walls
    QLinearGradient wall(QPointF(0, 10), QPointF(0, 22));
    wall.setColorAt(0.0, QColor(255, 248, 228));
    wall.setColorAt(1.0, QColor(232, 212, 170));
    p.setPen(outline);
    p.setBrush(wall);
    p.drawRect(QRectF(4.5, 11.0, 15.0, 11.0));
    // roof: a solid gable over the walls
    QPainterPath roof;
    roof.moveTo(1.2, 12.6);
    roof.lineTo(12.0, 2.2);
    roof.lineTo(22.8, 12.6);
    roof.closeSubpath();
    QLinearGradient rg(QPointF(0, 2), QPointF(0, 12));
    rg.setColorAt(0.0, QColor(250, 96, 64));
    rg.setColorAt(1.0, QColor(196, 32, 20));
    p.setPen(QPen(QColor(120, 20, 10), px, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(rg);
    p.drawPath(roof);
    // door and window
    p.setPen(outline);
    p.setBrush(QColor(150, 90, 40));
    p.drawRect(QRectF(7.0, 15.0, 4.5, 7.0));
    p.setBrush(QColor(150, 204, 246));
    p.drawRect(QRectF(13.5, 14.5, 4.0, 4.0));
    p.restore();
}

void Star(QPainter& p, qreal s)
{
    const qreal px = 24 / s;
    p.save();
    p.scale(s / 24, s / 24);
    QPolygonF star;
    const QPointF c(12, 12.8);
    for (int i = 0; i < 10; ++i) {
        const qreal a = -M_PI / 2 + i * M_PI / 5;
        const qreal r = i % 2 ? 4.8 : 10.8;
        star << c + QPointF(r * std::cos(a), r * std::sin(a));
    }
    QRadialGradient g(QPointF(10, 9), 12);
    g.setColorAt(0.0, QColor(255, 246, 160));
    g.setColorAt(1.0, QColor(242, 166, 0));
    p.setPen(QPen(QColor(160, 90, 0), px, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(g);
    p.drawPolygon(star);
    p.restore();
}

QImage Strip(int cell, int count, int scale)
{
    using Painter = void (*)(QPainter&, qreal);
    const Painter painters[4] = {Magnifier, Ranking, Home, Star};
    const QImage img = Supersampler::Render(QSize(cell * count, cell), [&](QPainter& p) {
        for (int i = 0; i < count; ++i) {
            p.save();
            p.translate(i * cell, 0);
            p.setClipRect(QRectF(0, 0, cell, cell));
            painters[i](p, cell);
            p.restore();
        }
    }, 8, scale);
    return Supersampler::Keyed(img, StripArt::Key(), kEdge, kThreshold);
}

} // namespace

QImage StripArt::Large(int scale)
{
    return Strip(24, 4, scale);
}

QImage StripArt::Small(int scale)
{
    return Strip(16, 4, scale);
}
