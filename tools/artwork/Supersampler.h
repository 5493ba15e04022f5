#pragma once
// Anti-aliased drawing at exact pixel sizes: a picture is painted at several times its size
// and each block of pixels is averaged (a box filter), which gives smooth edges with the
// shapes still placed on the pixel grid. Deterministic: integer averaging, fixed order.
#include <QColor>
#include <QImage>
#include <QSize>
#include <functional>

class QPainter;

class Supersampler {
public:
    using Painting = std::function<void(QPainter&)>;

    // Paints `paint` (in the pixel coordinates of a picture of `size`) at `factor` times the
    // size and averages it down: ARGB32 premultiplied, transparent where nothing was painted.
    // With a `scale` above 1 the picture has `scale` times the pixels of `size` (the same
    // drawing for a screen of that many device pixels per logical pixel, an "@2x" file).
    static QImage Render(QSize size, const Painting& paint, int factor = 8, int scale = 1);

    // `argb` composited over an opaque colour (RGB32).
    static QImage Over(const QImage& argb, QColor background);

    // For colour-keyed bitmaps: pixels with alpha below `threshold` become exactly `key`; the
    // others are composited over `edge`, so the anti-aliased rims blend into a colour close
    // to the background the picture will be shown on instead of into the key colour.
    static QImage Keyed(const QImage& argb, QColor key, QColor edge, int threshold);
};
