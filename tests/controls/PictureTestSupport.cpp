#include "tests/controls/PictureTestSupport.h"

#include <QtEndian>

namespace {

void Put16(QByteArray& b, int v)
{
    b.append(char(v & 0xFF));
    b.append(char((v >> 8) & 0xFF));
}

void Put32(QByteArray& b, qint64 v)
{
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
}

} // namespace

QByteArray WindowsBitmap(int width, int height, int bitsPerPixel, const QColor& fill, const QColor& marker)
{
    const int paletteEntries = bitsPerPixel == 8 ? 256 : 0;
    const int stride = ((width * bitsPerPixel + 31) / 32) * 4;
    const int offset = 14 + 40 + paletteEntries * 4;
    QByteArray b;
    b.append("BM");
    Put32(b, offset + stride * height);
    Put32(b, 0);
    Put32(b, offset);
    Put32(b, 40);
    Put32(b, width);
    Put32(b, height); // bottom-up
    Put16(b, 1);
    Put16(b, bitsPerPixel);
    Put32(b, 0); // BI_RGB
    Put32(b, stride * height);
    Put32(b, 2835);
    Put32(b, 2835);
    Put32(b, paletteEntries);
    Put32(b, 0);
    for (int i = 0; i < paletteEntries; ++i) {
        const QColor c = i == 1 ? fill : i == 2 ? marker : QColor(0, 0, 0);
        b.append(char(c.blue()));
        b.append(char(c.green()));
        b.append(char(c.red()));
        b.append(char(0));
    }
    for (int row = height - 1; row >= 0; --row) {
        QByteArray line;
        for (int x = 0; x < width; ++x) {
            const bool isMarker = row == 0 && x == 0;
            if (bitsPerPixel == 8) {
                line.append(char(isMarker ? 2 : 1));
            } else {
                const QColor c = isMarker ? marker : fill;
                line.append(char(c.blue()));
                line.append(char(c.green()));
                line.append(char(c.red()));
                line.append(char(0));
            }
        }
        line.append(QByteArray(stride - line.size(), '\0'));
        b.append(line);
    }
    return b;
}
