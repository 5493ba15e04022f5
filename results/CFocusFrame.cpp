#include "results/CFocusFrame.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

CFocusFrame::CFocusFrame(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("focusFrame"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    hide();
}

void CFocusFrame::Paint(QPainter& painter, const QRect& rect, const QColor& colour, qreal ratio)
{
    if (rect.isEmpty() || ratio <= 0)
        return;
    // In device pixels: the edges of the rectangle and the band rounded to whole pixels.
    const int band = std::max(1, static_cast<int>(std::lround(kWidth * ratio)));
    const int left = static_cast<int>(std::lround(rect.x() * ratio));
    const int top = static_cast<int>(std::lround(rect.y() * ratio));
    const int right = static_cast<int>(std::lround((rect.x() + rect.width()) * ratio));
    const int bottom = static_cast<int>(std::lround((rect.y() + rect.height()) * ratio));
    painter.save();
    painter.scale(1 / ratio, 1 / ratio);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const int w = right - left;
    const int h = bottom - top;
    painter.fillRect(QRect(left, top, w, band), colour);
    painter.fillRect(QRect(left, bottom - band, w, band), colour);
    painter.fillRect(QRect(left, top + band, band, h - 2 * band), colour);
    painter.fillRect(QRect(right - band, top + band, band, h - 2 * band), colour);
    painter.restore();
}

void CFocusFrame::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    Paint(p, rect(), palette().color(QPalette::Active, QPalette::Highlight), p.device()->devicePixelRatioF());
}
