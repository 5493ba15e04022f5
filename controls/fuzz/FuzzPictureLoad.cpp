// libFuzzer target for the picture static's loading path: any bytes of a picture file, decoded
// within the bounds as the control decodes them and drawn as the control draws them. What
// comes out is never larger than the part the control can show, and the picture never covers
// the frame's top-left corner or the white ring inside it.
//
// The image decoders themselves are not instrumented, so the fuzzer could not find its way
// into the picture formats by itself: each input is decoded as it is and, once more, patched
// into one of a few small valid pictures (JPEG, PNG, GIF, BMP, ICO of sizes below, at and above
// the control's inner area): the first byte picks the picture, the next two the offset, the
// rest overwrites the bytes from there.
#include "controls/PictureLoad.h"
#include "tests/controls/GifBuilder.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

QByteArray Encoded(int w, int h, const char* format)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb(x * 7 % 256, y * 5 % 256, (x + y) % 256));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, format);
    return bytes;
}

QByteArray Gif(int w, int h)
{
    GifBuilder gif(w, h, {{255, 0, 0}, {0, 0, 255}});
    gif.Control(10, 1).Solid(0, 0, w, h, 1).Trailer(); // Qt writes no GIF
    return QByteArray::fromStdString(gif.str());
}

const std::vector<QByteArray>& Seeds()
{
    static const std::vector<QByteArray> seeds = [] {
        std::vector<QByteArray> all = {
            Encoded(300, 240, "JPEG"), Encoded(40, 30, "JPEG"), Encoded(230, 20, "PNG"), Gif(16, 240),
            Encoded(226, 227, "BMP"),  Encoded(32, 32, "ICO"),
        };
        for (const QByteArray& seed : all)
            if (seed.isEmpty())
                __builtin_trap(); // a format this Qt cannot write: the seeds are wrong
        return all;
    }();
    return seeds;
}

void Check(const QByteArray& bytes)
{
    static const QImage blank = [] {
        QImage img(228, 228, QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::black);
        return img;
    }();
    const QImage picture = yfx::DecodePicture(bytes, QSize(224, 224));
    if (!picture.isNull() && (picture.width() > 226 || picture.height() > 226))
        __builtin_trap();

    QImage control = blank;
    QPainter painter(&control);
    yfx::DrawPictureStatic(painter, control.size(), picture, false);
    painter.end();
    if (control.pixel(0, 0) != qRgb(228, 228, 228) || control.pixel(1, 1) != qRgb(255, 255, 255))
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The decoders' complaints about broken pictures are expected here, and printing them
    // would cost more than the decoding.
    static const bool quiet = [] {
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        return true;
    }();
    (void)quiet;
    Check(QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    if (size < 3)
        return 0;
    QByteArray patched = Seeds()[data[0] % Seeds().size()];
    const qsizetype at = (data[1] << 8 | data[2]) % patched.size();
    for (std::size_t i = 3; i < size; ++i) {
        const qsizetype pos = at + static_cast<qsizetype>(i - 3);
        if (pos < patched.size())
            patched[pos] = static_cast<char>(data[i]);
        else
            patched.append(static_cast<char>(data[i]));
    }
    Check(patched);
    return 0;
}
