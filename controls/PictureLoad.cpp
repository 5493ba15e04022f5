#include "controls/PictureLoad.h"

#include <QBuffer>
#include <QColor>
#include <QFile>
#include <QImageReader>
#include <QPainter>

#include <algorithm>

namespace yfx {
namespace {

const QColor kGround(255, 255, 255);
const QColor kFrame(228, 228, 228);
const QColor kFrameHover(192, 192, 192);

QImage Decode(QIODevice& device, qint64 byteCount, QSize inner, const PictureBounds& bounds)
{
    if (byteCount <= 0 || byteCount > bounds.maxBytes)
        return {};
    QImageReader reader(&device);
    reader.setAutoTransform(false);
    // the header alone: nothing is decoded for a picture that is refused
    const QSize natural = reader.size();
    if (!natural.isValid() || natural.isEmpty())
        return {};
    if (qint64{natural.width()} * natural.height() > bounds.maxPixels)
        return {};
    const QRect visible = VisiblePictureRect(natural, inner);
    if (visible.isEmpty())
        return {};
    if (visible.size() != natural)
        reader.setClipRect(visible);
    QImage image;
    if (!reader.read(&image))
        return {};
    if (image.width() > visible.width() || image.height() > visible.height())
        image = image.copy(visible.intersected(image.rect())); // a handler that gave more than asked
    return image;
}

} // namespace

QPoint PicturePosition(QSize picture, const QRect& inner)
{
    const int left = picture.width() < inner.width() ? inner.left() + (inner.width() - picture.width()) / 2 : inner.left();
    const int top = picture.height() < inner.height() ? inner.top() + (inner.height() - picture.height()) / 2 : inner.top();
    return {left, top};
}

QRect VisiblePictureRect(QSize natural, QSize inner)
{
    if (natural.isEmpty() || inner.width() < 0 || inner.height() < 0)
        return {};
    // Centred pictures always fit; a wider or higher one starts at the inner edge and shows
    // up to the control's edge, the inset beyond the inner area.
    const int w = std::min(natural.width(), inner.width() + kPictureFrameInset);
    const int h = std::min(natural.height(), inner.height() + kPictureFrameInset);
    return QRect(0, 0, w, h);
}

QImage DecodePicture(const QString& path, QSize inner, const PictureBounds& bounds)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return Decode(file, file.size(), inner, bounds);
}

QImage DecodePicture(const QByteArray& bytes, QSize inner, const PictureBounds& bounds)
{
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return {};
    return Decode(buffer, bytes.size(), inner, bounds);
}

void DrawPictureStatic(QPainter& painter, QSize size, const QImage& picture, bool hover)
{
    const int w = size.width();
    const int h = size.height();
    if (w <= 0 || h <= 0)
        return;
    painter.fillRect(QRect(0, 0, w, h), kGround);
    painter.setPen(hover ? kFrameHover : kFrame);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(0, 0, w - 1, h - 1); // one pixel along the edge of the client area
    if (picture.isNull())
        return;
    const QRect inner = QRect(0, 0, w, h).adjusted(kPictureFrameInset, kPictureFrameInset, -kPictureFrameInset,
                                                   -kPictureFrameInset);
    // Natural size, blended by the picture's alpha channel when it has one.
    painter.drawImage(QRect(PicturePosition(picture.size(), inner), picture.size()), picture);
}

} // namespace yfx
