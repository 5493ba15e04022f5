#pragma once
// The twenty seller-credit badges: one to five hearts (levels 1-5), blue diamonds (6-10),
// blue crowns (11-15) and gold crowns (16-20), 16 pixels high on white.
#include <QImage>

class BadgeArt {
public:
    enum class Symbol { Heart, Diamond, BlueCrown, GoldCrown };

    // Width in pixels of the badge of `level` (1..20); 0 outside that range.
    static int Width(int level);
    // One symbol, transparent around it (ARGB32 premultiplied, 16 pixels high, times `scale`).
    static QImage Sprite(Symbol symbol, int scale = 1);
    // The badge of `level` (1..20) on white (RGB32); a null image outside that range. The
    // symbols sit at whole-pixel positions spread evenly over the exact width. With a `scale`
    // above 1, the same badge with `scale` times the pixels each way (its "@2x" file).
    static QImage Badge(int level, int scale = 1);
};
