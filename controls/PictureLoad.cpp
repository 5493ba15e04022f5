#include "controls/PictureLoad.h"

#include "controls/GifWalk.h"

#include <QBuffer>
#include <QColor>
#include <QCoreApplication>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <sys/stat.h>

namespace yfx {
namespace {

const QColor kGround(255, 255, 255);
const QColor kFrame(228, 228, 228);
const QColor kFrameHover(192, 192, 192);

std::atomic<int> g_reads{0};
std::atomic<int> g_guiReads{0};

// What tells a file from the one that later took its place.
struct FileId {
    qint64 inode = 0, size = 0, mtimeSec = 0, mtimeNsec = 0;
    bool operator==(const FileId&) const = default;
};

bool IdOf(const QByteArray& path, FileId& id)
{
    struct stat st {};
    if (::stat(path.constData(), &st) != 0)
        return false;
    id = {static_cast<qint64>(st.st_ino), static_cast<qint64>(st.st_size), static_cast<qint64>(st.st_mtim.tv_sec),
          static_cast<qint64>(st.st_mtim.tv_nsec)};
    return true;
}

// Files whose decoding failed, by path, with the file each failure was of.
class Failures {
public:
    bool Has(const QByteArray& path, const FileId& id)
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_failed.find(path);
        return it != m_failed.end() && it->second == id;
    }
    void Set(const QByteArray& path, const FileId& id, bool failed)
    {
        std::lock_guard lock(m_mutex);
        if (!failed) {
            m_failed.erase(path);
            return;
        }
        if (m_failed.size() >= kMaxEntries)
            m_failed.clear(); // bounded: at worst a failed file is tried once more
        m_failed[path] = id;
    }

private:
    static constexpr std::size_t kMaxEntries = 4096;
    std::mutex m_mutex;
    std::map<QByteArray, FileId> m_failed;
};

Failures& DecodeFailures()
{
    static Failures failures;
    return failures;
}

// A PNG whose rows come in order (no interlacing): Qt's reader then reads it at a reduced size
// one row at a time.
bool PngRowByRow(const QByteArray& head)
{
    return head.size() >= 29 && head.startsWith("\x89PNG\r\n\x1a\n") && head.mid(12, 4) == "IHDR" && head[28] == 0;
}

// A JPEG whose frame is sequential (baseline or extended, Huffman or arithmetic): decoded only
// as far as the part asked for, without buffering the whole picture's coefficients as a
// progressive one needs. False when no frame header is found in `head`.
bool SequentialJpeg(const QByteArray& head)
{
    if (head.size() < 4 || quint8(head[0]) != 0xFF || quint8(head[1]) != 0xD8)
        return false;
    int at = 2;
    while (at + 4 <= head.size()) {
        if (quint8(head[at]) != 0xFF)
            return false;
        const int marker = quint8(head[at + 1]);
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            return marker == 0xC0 || marker == 0xC1 || marker == 0xC9;
        if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
            at += 2; // markers without a length
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA)
            return false; // end or scan before any frame header
        at += 2 + int((quint8(head[at + 2]) << 8) | quint8(head[at + 3]));
    }
    return false;
}

// The size a GIF may decode to: its logical screen (or what its reader says), grown to hold its
// first frame.
QSize GifExtent(const QByteArray& data, QSize reader)
{
    GifWalk walk(reinterpret_cast<const std::uint8_t*>(data.constData()), static_cast<std::size_t>(data.size()));
    if (!walk.IsGif())
        return reader;
    qint64 w = std::max<qint64>(reader.width(), walk.ScreenWidth());
    qint64 h = std::max<qint64>(reader.height(), walk.ScreenHeight());
    if (const std::optional<GifFrame> first = walk.CutFrame()) {
        w = std::max<qint64>(w, qint64{first->left} + first->width);
        h = std::max<qint64>(h, qint64{first->top} + first->height);
    }
    return QSize(int(std::min<qint64>(w, 1 << 30)), int(std::min<qint64>(h, 1 << 30)));
}

PictureDecode Decode(QIODevice& device, qint64 byteCount, QSize inner, const PictureBounds& bounds)
{
    PictureDecode out;
    if (byteCount <= 0 || byteCount > bounds.maxBytes) {
        out.refusal = PictureRefusal::TooManyBytes;
        return out;
    }
    // the first bytes tell the form a picture of its format comes in (a GIF needs the whole)
    QByteArray head = device.peek(65536);
    if (GifWalk::HasGifSignature(reinterpret_cast<const std::uint8_t*>(head.constData()), std::size_t(head.size())))
        head = device.peek(byteCount);
    QImageReader reader(&device);
    reader.setAutoTransform(false);
    // the header alone: nothing is decoded for a picture that is refused
    QSize natural = reader.size();
    const QByteArray format = reader.format();
    if (format == "gif" && natural.isValid())
        natural = GifExtent(head, natural);
    if (!natural.isValid() || natural.isEmpty())
        return out;
    out.natural = natural;
    const qint64 pixels = qint64{natural.width()} * natural.height();
    if (pixels > bounds.maxPixels) {
        out.refusal = PictureRefusal::TooManyPixels;
        return out;
    }
    const QRect visible = VisiblePictureRect(natural, inner);
    if (visible.isEmpty())
        return out;
    if (visible.size() == natural) {
        // small enough to decode whole
    } else if (format == "jpeg" && reader.supportsOption(QImageIOHandler::ClipRect) && SequentialJpeg(head)) {
        reader.setClipRect(visible); // decoding stops below the visible part
    } else if (pixels <= bounds.maxWholePixels) {
        reader.setClipRect(visible); // decoded whole (or clipped where the reader can), then cut
    } else if (format == "png" && reader.supportsOption(QImageIOHandler::ScaledSize) && PngRowByRow(head)) {
        reader.setScaledSize(natural.scaled(inner, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
        out.reduced = true;
    } else {
        out.refusal = PictureRefusal::NoBoundedDecode;
        return out;
    }
    ++g_reads;
    const QCoreApplication* app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread())
        ++g_guiReads;
    QImage image;
    if (!reader.read(&image)) {
        out.refusal = PictureRefusal::DecodeFailed;
        return out;
    }
    if (!out.reduced && (image.width() > visible.width() || image.height() > visible.height()))
        image = image.copy(visible.intersected(image.rect())); // a handler that gave more than asked
    out.image = std::move(image);
    out.refusal = PictureRefusal::None;
    return out;
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

namespace {

// A picture decoded at a file's density brought to the logical size it stands for.
void ApplyScale(PictureDecode& out, PictureScale scale)
{
    if (out.image.isNull() || !(scale.density > 1))
        return;
    const qreal ratio = std::clamp(scale.screenRatio, qreal(1), scale.density);
    const QSizeF logical = QSizeF(out.image.size()) / scale.density;
    const QSize device = (logical * ratio).toSize().expandedTo(QSize(1, 1));
    if (device != out.image.size())
        out.image = out.image.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    out.image.setDevicePixelRatio(out.image.width() / logical.width());
}

} // namespace

PictureDecode DecodePictureFile(const QString& path, QSize inner, const PictureBounds& bounds,
                                PictureScale scale)
{
    PictureDecode out;
    out.refusal = PictureRefusal::NoFile;
    const QByteArray encoded = QFile::encodeName(path);
    FileId id;
    if (path.isEmpty() || !IdOf(encoded, id))
        return out;
    if (DecodeFailures().Has(encoded, id)) {
        out.refusal = PictureRefusal::FailedBefore;
        return out;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return out;
    // (the part to show measured in the file's own pixels)
    const QSize innerPixels = scale.density > 1 ? (QSizeF(inner) * scale.density).toSize() : inner;
    out = Decode(file, file.size(), innerPixels, bounds);
    // (the identity read before the decoding: a file replaced meanwhile is tried again)
    DecodeFailures().Set(encoded, id, out.refusal != PictureRefusal::None);
    ApplyScale(out, scale);
    return out;
}

PictureDecode DecodePictureBytes(const QByteArray& bytes, QSize inner, const PictureBounds& bounds)
{
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return {};
    return Decode(buffer, bytes.size(), inner, bounds);
}

QImage DecodePicture(const QString& path, QSize inner, const PictureBounds& bounds)
{
    return DecodePictureFile(path, inner, bounds).image;
}

QImage DecodePicture(const QByteArray& bytes, QSize inner, const PictureBounds& bounds)
{
    return DecodePictureBytes(bytes, inner, bounds).image;
}

PictureReadCounts PictureReads()
{
    return {g_reads.load(), g_guiReads.load()};
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
    // Natural (logical) size, blended by the picture's alpha channel when it has one.
    const QSize logical = picture.deviceIndependentSize().toSize();
    painter.drawImage(QRect(PicturePosition(logical, inner), logical), picture);
}

} // namespace yfx
