#include "tools/artwork/BmpWriter.h"

#include <QHash>
#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

void PutU16(QByteArray& out, int pos, uint16_t v)
{
    out[pos] = char(v & 0xFF);
    out[pos + 1] = char((v >> 8) & 0xFF);
}

void PutU32(QByteArray& out, int pos, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[pos + i] = char((v >> (8 * i)) & 0xFF);
}

// File header and info header for a w x h picture of `bits` per pixel with `paletteSize`
// entries; returns the zero-filled file, pixel rows to be filled from `PixelOffset`.
QByteArray Header(int w, int h, int bits, int paletteSize, int* pixelOffset, int* stride)
{
    *stride = ((w * bits + 31) / 32) * 4;
    *pixelOffset = 14 + 40 + 4 * paletteSize;
    const int imageBytes = *stride * h;
    QByteArray out(*pixelOffset + imageBytes, '\0');
    out[0] = 'B';
    out[1] = 'M';
    PutU32(out, 2, uint32_t(out.size()));
    PutU32(out, 10, uint32_t(*pixelOffset));
    PutU32(out, 14, 40);
    PutU32(out, 18, uint32_t(w));
    PutU32(out, 22, uint32_t(h)); // positive: bottom-up
    PutU16(out, 26, 1);
    PutU16(out, 28, uint16_t(bits));
    PutU32(out, 30, 0); // BI_RGB
    PutU32(out, 34, uint32_t(imageBytes));
    PutU32(out, 38, 2835); // 72 dpi
    PutU32(out, 42, 2835);
    PutU32(out, 46, uint32_t(paletteSize));
    PutU32(out, 50, 0);
    return out;
}

QImage Flat(const QImage& image)
{
    return image.convertToFormat(QImage::Format_RGB32);
}

int Distance(QRgb a, QRgb b)
{
    const int dr = qRed(a) - qRed(b), dg = qGreen(a) - qGreen(b), db = qBlue(a) - qBlue(b);
    return 3 * dr * dr + 4 * dg * dg + 2 * db * db;
}

} // namespace

QByteArray BmpWriter::Indexed8(const QImage& image)
{
    const QImage img = Flat(image);
    const int w = img.width(), h = img.height();

    QHash<QRgb, int> counts;
    for (int y = 0; y < h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < w; ++x)
            ++counts[line[x] | 0xFF000000u];
    }
    std::vector<std::pair<QRgb, int>> byCount;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        byCount.emplace_back(it.key(), it.value());
    std::sort(byCount.begin(), byCount.end(), [](const auto& a, const auto& b) {
        return a.second != b.second ? a.second > b.second : a.first < b.first;
    });
    const size_t kept = std::min<size_t>(byCount.size(), 256);
    std::vector<QRgb> palette;
    QHash<QRgb, int> index;
    for (size_t i = 0; i < kept; ++i) {
        palette.push_back(byCount[i].first);
        index.insert(byCount[i].first, int(i));
    }
    for (size_t i = kept; i < byCount.size(); ++i) {
        int best = 0;
        for (size_t p = 1; p < palette.size(); ++p)
            if (Distance(byCount[i].first, palette[p]) < Distance(byCount[i].first, palette[best]))
                best = int(p);
        index.insert(byCount[i].first, best);
    }

    int offset = 0, stride = 0;
    QByteArray out = Header(w, h, 8, int(palette.size()), &offset, &stride);
    for (size_t p = 0; p < palette.size(); ++p) {
        const int at = 54 + 4 * int(p);
        out[at] = char(qBlue(palette[p]));
        out[at + 1] = char(qGreen(palette[p]));
        out[at + 2] = char(qRed(palette[p]));
        out[at + 3] = 0;
    }
    for (int y = 0; y < h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        char* row = out.data() + offset + (h - 1 - y) * stride;
        for (int x = 0; x < w; ++x)
            row[x] = char(index.value(line[x] | 0xFF000000u));
    }
    return out;
}

QByteArray BmpWriter::Rgb24(const QImage& image)
{
    const QImage img = Flat(image);
    const int w = img.width(), h = img.height();
    int offset = 0, stride = 0;
    QByteArray out = Header(w, h, 24, 0, &offset, &stride);
    for (int y = 0; y < h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        char* row = out.data() + offset + (h - 1 - y) * stride;
        for (int x = 0; x < w; ++x) {
            row[3 * x] = char(qBlue(line[x]));
            row[3 * x + 1] = char(qGreen(line[x]));
            row[3 * x + 2] = char(qRed(line[x]));
        }
    }
    return out;
}

QByteArray BmpWriter::Rgb32(const QImage& image)
{
    const QImage img = Flat(image);
    const int w = img.width(), h = img.height();
    int offset = 0, stride = 0;
    QByteArray out = Header(w, h, 32, 0, &offset, &stride);
    for (int y = 0; y < h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        char* row = out.data() + offset + (h - 1 - y) * stride;
        for (int x = 0; x < w; ++x) {
            row[4 * x] = char(qBlue(line[x]));
            row[4 * x + 1] = char(qGreen(line[x]));
            row[4 * x + 2] = char(qRed(line[x]));
            row[4 * x + 3] = char(0xFF);
        }
    }
    return out;
}
