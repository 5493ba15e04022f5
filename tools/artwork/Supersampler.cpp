#include "tools/artwork/Supersampler.h"

#include <QPainter>

QImage Supersampler::Render(QSize logical, const Painting& paint, int factor, int scale)
{
    const QSize size = logical * scale;
    QImage big(size * factor, QImage::Format_ARGB32_Premultiplied);
    big.fill(Qt::transparent);
    {
        QPainter p(&big);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.scale(factor * scale, factor * scale);
        paint(p);
    }
    QImage out(size, QImage::Format_ARGB32_Premultiplied);
    const int n = factor * factor;
    for (int y = 0; y < size.height(); ++y) {
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            int a = 0, r = 0, g = 0, b = 0;
            for (int sy = 0; sy < factor; ++sy) {
                const auto* src = reinterpret_cast<const QRgb*>(big.constScanLine(y * factor + sy));
                for (int sx = 0; sx < factor; ++sx) {
                    const QRgb c = src[x * factor + sx];
                    a += qAlpha(c);
                    r += qRed(c);
                    g += qGreen(c);
                    b += qBlue(c);
                }
            }
            dst[x] = qRgba((r + n / 2) / n, (g + n / 2) / n, (b + n / 2) / n, (a + n / 2) / n);
        }
    }
    return out;
}

QImage Supersampler::Over(const QImage& argb, QColor background)
{
    const QImage src = argb.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage out(src.size(), QImage::Format_RGB32);
    const int br = background.red(), bg = background.green(), bb = background.blue();
    for (int y = 0; y < src.height(); ++y) {
        const auto* s = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        auto* d = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < src.width(); ++x) {
            const int inv = 255 - qAlpha(s[x]);
            d[x] = qRgb(qMin(255, qRed(s[x]) + (br * inv + 127) / 255),
                        qMin(255, qGreen(s[x]) + (bg * inv + 127) / 255),
                        qMin(255, qBlue(s[x]) + (bb * inv + 127) / 255));
        }
    }
    return out;
}

QImage Supersampler::Keyed(const QImage& argb, QColor key, QColor edge, int threshold)
{
    const QImage src = argb.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage out = Over(src, edge);
    const QRgb keyRgb = key.rgb();
    for (int y = 0; y < src.height(); ++y) {
        const auto* s = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        auto* d = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < src.width(); ++x) {
            if (qAlpha(s[x]) < threshold)
                d[x] = keyRgb;
            else if (d[x] == keyRgb) // a drawn pixel must never read as the key colour
                d[x] = qRgb(qRed(keyRgb) == 255 ? 254 : qRed(keyRgb) + 1, qGreen(keyRgb), qBlue(keyRgb));
        }
    }
    return out;
}
