#include "tools/artwork/IconArt.h"

#include "tools/artwork/Supersampler.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

struct Palette {
    QColor light, dark, outline, handle, mark;
};

// A shopping bag in a 32-unit box. Line widths grow a little at small sizes so that the
// 16-pixel icon keeps a one-pixel outline.
void Bag(QPainter& p, int size, const Palette& c, bool list)
{
    const qreal unit = 32.0 / size; // one pixel in box units
    const qreal line = std::max(1.0, 1.0 * unit);
    p.scale(size / 32.0, size / 32.0);

    // handle
    QPainterPath handle;
    handle.moveTo(10.5, 11.5);
    handle.cubicTo(10.5, 1.8, 21.5, 1.8, 21.5, 11.5);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(c.handle, std::max(2.6, 1.6 * unit), Qt::SolidLine, Qt::RoundCap));
    p.drawPath(handle);

    // body
    QPainterPath body;
    body.moveTo(5.0, 9.5);
    body.lineTo(27.0, 9.5);
    body.lineTo(29.2, 27.8);
    body.quadTo(29.5, 30.5, 26.8, 30.5);
    body.lineTo(5.2, 30.5);
    body.quadTo(2.5, 30.5, 2.8, 27.8);
    body.closeSubpath();
    QLinearGradient g(QPointF(0, 9), QPointF(0, 31));
    g.setColorAt(0.0, c.light);
    g.setColorAt(1.0, c.dark);
    p.setPen(QPen(c.outline, line, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(g);
    p.drawPath(body);

    // rim shadow under the top edge
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 70));
    p.drawRect(QRectF(5.4, 10.2, 21.2, 2.4));

    // the handle's rivets
    p.setBrush(c.handle);
    p.drawEllipse(QPointF(10.5, 12.4), 1.5, 1.5);
    p.drawEllipse(QPointF(21.5, 12.4), 1.5, 1.5);

    const QPen mark(c.mark, std::max(2.4, 1.5 * unit), Qt::SolidLine, Qt::RoundCap);
    p.setPen(mark);
    p.setBrush(Qt::NoBrush);
    if (list && size <= 16) {
        // two lines on whole pixel rows: three would run together at this size
        p.setPen(QPen(c.mark, 2 * unit, Qt::SolidLine, Qt::FlatCap));
        for (qreal y : {19.0, 25.0})
            p.drawLine(QPointF(8.0, y), QPointF(24.0, y));
    } else if (list) {
        for (qreal y : {17.5, 21.8, 26.1}) {
            p.drawPoint(QPointF(9.6, y));
            p.drawLine(QPointF(13.2, y), QPointF(22.8, y));
        }
    } else {
        QPainterPath smile;
        smile.moveTo(9.5, 18.0);
        smile.cubicTo(11.5, 25.5, 20.5, 25.5, 22.5, 18.0);
        p.drawPath(smile);
    }
}

} // namespace

QImage IconArt::Render(int id, int size)
{
    Palette c;
    bool list = false;
    if (id == 128) {
        c = {QColor(255, 150, 40), QColor(236, 76, 0), QColor(150, 50, 0), QColor(120, 56, 20),
             QColor(255, 255, 255)};
    } else if (id == 130) {
        c = {QColor(110, 180, 255), QColor(22, 96, 214), QColor(10, 50, 130), QColor(40, 60, 100),
             QColor(255, 255, 255)};
        list = true;
    } else {
        return {};
    }
    const QImage img = Supersampler::Render(QSize(size, size), [&](QPainter& p) { Bag(p, size, c, list); });
    return img.convertToFormat(QImage::Format_ARGB32);
}
