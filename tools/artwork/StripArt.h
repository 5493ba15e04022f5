#pragma once
// The navigation bar's image strips on magenta (255, 0, 255), the transparent colour:
// bitmap 189 (96 x 24: search, hot ranking, home and the watch list's star at 24 pixels) and
// bitmap 191 (64 x 16: the same four at 16 pixels).
#include <QColor>
#include <QImage>

class StripArt {
public:
    // With a `scale` above 1, `scale` times the pixels each way (the "@2x" files).
    static QImage Large(int scale = 1); // 189
    static QImage Small(int scale = 1); // 191
    static QColor Key() { return QColor(255, 0, 255); }
};
