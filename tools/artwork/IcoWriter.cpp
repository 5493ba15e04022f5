#include "tools/artwork/IcoWriter.h"

#include <cstdint>

namespace {

void Append16(QByteArray& out, uint16_t v)
{
    out.append(char(v & 0xFF));
    out.append(char(v >> 8));
}

void Append32(QByteArray& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.append(char((v >> (8 * i)) & 0xFF));
}

QByteArray Dib(const QImage& image)
{
    const QImage img = image.convertToFormat(QImage::Format_ARGB32);
    const int w = img.width(), h = img.height();
    const int maskStride = ((w + 31) / 32) * 4;
    QByteArray out;
    Append32(out, 40);
    Append32(out, uint32_t(w));
    Append32(out, uint32_t(2 * h)); // colour rows and mask rows
    Append16(out, 1);
    Append16(out, 32);
    Append32(out, 0);
    Append32(out, uint32_t(w * h * 4 + maskStride * h));
    Append32(out, 0);
    Append32(out, 0);
    Append32(out, 0);
    Append32(out, 0);
    for (int y = h - 1; y >= 0; --y) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            out.append(char(qBlue(line[x])));
            out.append(char(qGreen(line[x])));
            out.append(char(qRed(line[x])));
            out.append(char(qAlpha(line[x])));
        }
    }
    for (int y = h - 1; y >= 0; --y) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        QByteArray row(maskStride, '\0');
        for (int x = 0; x < w; ++x)
            if (qAlpha(line[x]) == 0)
                row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        out.append(row);
    }
    return out;
}

} // namespace

QByteArray IcoWriter::Write(const std::vector<QImage>& images)
{
    QByteArray out;
    Append16(out, 0);
    Append16(out, 1); // icon
    Append16(out, uint16_t(images.size()));
    std::vector<QByteArray> dibs;
    for (const QImage& img : images)
        dibs.push_back(Dib(img));
    uint32_t offset = uint32_t(6 + 16 * images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        out.append(char(images[i].width()));
        out.append(char(images[i].height()));
        out.append(char(0)); // no palette
        out.append(char(0));
        Append16(out, 1);
        Append16(out, 32);
        Append32(out, uint32_t(dibs[i].size()));
        Append32(out, offset);
        offset += uint32_t(dibs[i].size());
    }
    for (const QByteArray& dib : dibs)
        out.append(dib);
    return out;
}
