#pragma once
// Writes Windows bitmap files (BITMAPFILEHEADER + BITMAPINFOHEADER, BI_RGB, bottom-up rows
// padded to four bytes) byte for byte, with no timestamps or resolution guesses, so the same
// picture always gives the same file.
#include <QByteArray>
#include <QImage>

class BmpWriter {
public:
    // 8 bits per pixel with a palette. The picture is flattened (alpha ignored); when it has
    // more than 256 colours the rarest ones are mapped to their nearest kept colour. The
    // palette is sorted by frequency (ties by colour value), so it is stable.
    static QByteArray Indexed8(const QImage& image);
    // 24 bits per pixel (alpha ignored).
    static QByteArray Rgb24(const QImage& image);
    // 32 bits per pixel, BI_RGB; the fourth byte of each pixel is written as 0xFF (opaque) so
    // readers that honour it agree with readers that ignore it.
    static QByteArray Rgb32(const QImage& image);
};
