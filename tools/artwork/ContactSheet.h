#pragma once
// One PNG that shows every stored picture, decoded from the files as the program stores them:
// the twenty badges labelled with their level, the link bitmaps, the strips (as stored and
// with magenta made transparent) and the icons at every size, enlarged 2x pixel for pixel.
#include <QImage>
#include <QString>

class ContactSheet {
public:
    // `pictures`: the folder written by the generator. A null image when a file is missing
    // or does not decode; `error` then names it.
    static QImage Render(const QString& pictures, QString* error);
};
