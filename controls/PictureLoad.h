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
// picture the download keeps; a marketplace thumbnail is about 10 KB. The pixel bounds are read
// from the header, before any decoding: beyond maxPixels nothing is decoded; up to
// maxWholePixels a picture may be decoded whole (at most 16 MiB for 32-bit pixels) and cut to
// what the control shows; beyond that only where the format's reader decodes in bounded memory
// (a sequential JPEG decoded only as far as it shows, a PNG without interlacing read row by row
// at a reduced size); any other picture there is refused.
struct PictureBounds {
    qint64 maxBytes = kMaxPictureFileBytes;
    qint64 maxPixels = qint64{16} << 20;
    qint64 maxWholePixels = qint64{4} << 20;
};

// Why a decoding gave no picture.
enum class PictureRefusal {
    None,           // decoded
    NoFile,         // missing or unreadable file
    TooManyBytes,   // longer than maxBytes (or empty)
    NoSize,         // not a picture, or a header that gives no size
    TooManyPixels,  // more than maxPixels by its header
    NoBoundedDecode, // more than maxWholePixels, in a format or form without a bounded decoding
    DecodeFailed,   // the header passed, the picture data did not decode
    FailedBefore,   // the same file (by inode, size and modification time) failed before
};

struct PictureDecode {
    QImage image;          // null unless refusal is None
    PictureRefusal refusal = PictureRefusal::NoSize;
    QSize natural;         // from the header, when it was read
    bool reduced = false;  // decoded at a reduced size (scaled to fit the inner area)
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

// How a picture file's pixels meet the control's logical pixels: a file of `density` pixels per
// logical pixel (a larger thumbnail that stands for the ordinary one: 460 / 220) shown on a
// screen of `screenRatio` device pixels per logical pixel.
struct PictureScale {
    qreal density = 1;
    qreal screenRatio = 1;
};

// Decodes the part of a picture file (or of its bytes) that a control with an inner area of
// `inner` size can show (VisiblePictureRect), at natural size, with no automatic rotation, within
// `bounds` (see PictureBounds): a picture beyond maxWholePixels that only a reduced reading can
// bound comes scaled to fit the inner area, keeping its proportions. A picture file that failed
// is remembered (process-wide) until it changes: asked again, it gives FailedBefore at once.
// With a `scale` of a density above 1, the picture measures its pixels divided by the density
// in logical pixels (its deviceIndependentSize): it comes at the screen's ratio (smoothly
// reduced where the screen has fewer pixels than the file, its devicePixelRatio that ratio),
// never at more than the file's own pixels. Reentrant: any thread.
PictureDecode DecodePictureFile(const QString& path, QSize inner, const PictureBounds& bounds = {},
                                PictureScale scale = {});
PictureDecode DecodePictureBytes(const QByteArray& bytes, QSize inner, const PictureBounds& bounds = {});
// The picture alone (null when refused).
QImage DecodePicture(const QString& path, QSize inner, const PictureBounds& bounds = {});
QImage DecodePicture(const QByteArray& bytes, QSize inner, const PictureBounds& bounds = {});

// Picture data read so far in this process (decodings that got past the header), and how many
// of them ran on the application's main (GUI) thread.
struct PictureReadCounts {
    int total = 0;
    int onGuiThread = 0;
};
PictureReadCounts PictureReads();

// Draws the whole control of `size` with `painter` (device origin at the control's corner):
// white ground, a one-pixel frame (darker while `hover`), and `picture` (may be null) at
// PicturePosition, blended by its alpha channel when it has one; a picture of a device pixel
// ratio above 1 at its logical size (deviceIndependentSize).
void DrawPictureStatic(QPainter& painter, QSize size, const QImage& picture, bool hover);

} // namespace yfx
