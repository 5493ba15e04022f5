#pragma once
// The home page's two channel pictures (bitmaps 336 and 337) and the announcement bar's
// picture (bitmap 335). Our own designs: a shopping-bag mark with the channel's name.
#include <QImage>

class LinkArt {
public:
    // Bitmap 336, 146 x 58: the marketplace channel (orange).
    static QImage MarketLogo(int scale = 1);
    // Bitmap 337, 220 x 65: the mall channel (red).
    static QImage MallLogo(int scale = 1);
    // Bitmap 335, 20 x 20: a megaphone on white (white is its transparent colour).
    static QImage Announcement(int scale = 1);
    // (With a `scale` above 1, each has `scale` times the pixels each way: its "@2x" file.)
    // The family the texts are drawn in; empty when it is not installed.
    static QString FontFamily();
};
