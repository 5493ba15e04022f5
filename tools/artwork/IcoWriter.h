#pragma once
// Writes a Windows icon file holding several sizes of one picture, each as a 32-bit DIB with
// straight alpha and its AND mask (the layout every icon reader understands).
#include <QByteArray>
#include <QImage>
#include <vector>

class IcoWriter {
public:
    // `images`: square ARGB pictures of at most 255 pixels, written in the given order.
    static QByteArray Write(const std::vector<QImage>& images);
};
