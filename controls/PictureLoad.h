#pragma once
// The picture of an item tile without the widget: which part of a picture the picture static
// can show, the bounded decoding of just that part, and the drawing of the whole control.
// Plain functions on QImage; reentrant, so they may run on any thread (no widget, no pixmap).
#include <QByteArray>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

class QPainter;

namespace yfx {

// The longest picture file taken from the network: the download stops at this size and keeps
// nothing. A marketplace thumbnail is tens of KB.
constexpr qint64 kMaxPictureFileBytes = qint64{2} << 20;

// What a picture file may be before it is decoded at all. The byte bound matches the largest
// picture the download keeps. The pixel bound (read from the header, before any decoding) keeps
// a whole decode, which formats without clipped decoding need, at no more than 256 MB for
// 32-bit pixels.
struct PictureBounds {
    qint64 maxBytes = kMaxPictureFileBytes;
    qint64 maxPixels = qint64{64} << 20;
};

// The picture static's geometry: a frame of kPictureFrameInset pixels round the inner area.
constexpr int kPictureFrameInset = 2;

// Where the control draws a picture of `picture` size, relative to its inner area `inner`
// (the control shrunk by the inset): centred on an axis where it is smaller than the inner
// area (the halves truncated), else from the inner area's edge.
QPoint PicturePosition(QSize picture, const QRect& inner);

// The part of a picture of `natural` size that a control with an inner area of `inner` size
// can show, in the picture's own coordinates: from its top-left corner, at most the inner area
// plus the inset at the right and bottom (a larger picture covers the frame there and is cut
// at the control's edge). The whole picture when it fits. Drawn at PicturePosition of its own
// size, that part lands where the whole picture would.
QRect VisiblePictureRect(QSize natural, QSize inner);

// Decodes the part of a picture file (or of its bytes) that a control with an inner area of
// `inner` size can show (VisiblePictureRect), at natural size, with no automatic rotation.
// Null when the file cannot be read, is longer than `bounds.maxBytes`, has a header that
// gives no size or more than `bounds.maxPixels` pixels, or does not decode. Pictures larger
// than the inner area are decoded clipped (JPEG decoding stops below the visible part).
QImage DecodePicture(const QString& path, QSize inner, const PictureBounds& bounds = {});
QImage DecodePicture(const QByteArray& bytes, QSize inner, const PictureBounds& bounds = {});

// Draws the whole control of `size` with `painter` (device origin at the control's corner):
// white ground, a one-pixel frame (darker while `hover`), and `picture` (may be null) at
// PicturePosition, blended by its alpha channel when it has one.
void DrawPictureStatic(QPainter& painter, QSize size, const QImage& picture, bool hover);

} // namespace yfx
