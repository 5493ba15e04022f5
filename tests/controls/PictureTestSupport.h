#pragma once
// Shared by the animated-picture tests: small GIFs and bitmaps built in memory.
#include "tests/controls/GifBuilder.h"

#include <QByteArray>
#include <QColor>
#include <QImage>

// The four colours of the test GIFs' global table.
inline const std::vector<GifRgb>& TestPalette()
{
    static const std::vector<GifRgb> p{{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    return p;
}
inline QColor TestColour(int index)
{
    const GifRgb c = TestPalette().at(static_cast<std::size_t>(index));
    return QColor(c.r, c.g, c.b);
}

inline QByteArray ToBytes(const GifBuilder& b)
{
    return QByteArray(reinterpret_cast<const char*>(b.bytes().data()), static_cast<qsizetype>(b.bytes().size()));
}

// A Windows bitmap file: 8 bits per pixel with a palette, or 32 bits per pixel (BI_RGB),
// bottom-up, every pixel of the given colour with a marker colour at the top-left pixel.
QByteArray WindowsBitmap(int width, int height, int bitsPerPixel, const QColor& fill, const QColor& marker);
