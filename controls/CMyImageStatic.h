#pragma once
// The picture of an item tile: decodes its picture file lazily, the first time it paints
// without a picture, and draws it unscaled and centred inside a thin frame on white. Only the
// part of a picture the control can show is decoded, and files beyond the bounds of
// yfx::PictureBounds (8 MiB, 64 M pixels) are not decoded at all (controls/PictureLoad.h).
//
// The owner works on the public members: DestroyImage() and a new m_strImagePath for a new
// picture (nothing is read until the next paint); m_bHover for the frame colour. The setters
// below do the same and repaint at once. The control is transparent for the mouse: the owner
// does the hit-testing. GUI thread only.
#include <QImage>
#include <QString>
#include <QWidget>

class CMyImageStatic : public QWidget {
    Q_OBJECT
public:
    explicit CMyImageStatic(QWidget* parent = nullptr);
    ~CMyImageStatic() override;

    // Discards the decoded picture; the next paint reads m_strImagePath again.
    void DestroyImage();
    // DestroyImage, store the path, repaint at once.
    void SetImagePath(const QString& path);
    // Set m_bHover and repaint at once; the picture is not read again.
    void SetHover(bool hover);
    // A picture decoded elsewhere (off the GUI thread) from the file at `path`: taken, and
    // shown at the next paint, when the control still shows that file. Returns whether taken.
    bool SetDecodedImage(const QString& path, const QImage& image);

    // The decoded picture, as much of it as the control shows (a picture larger than the
    // inner area is cut at the control's edge); null until a load succeeded. Once loaded, the
    // file is not read again, even if it changes on disk, until DestroyImage().
    QImage m_image;
    // True while the pointer is over the picture: darker frame.
    bool m_bHover = false;
    // Full path of the picture file. A missing, unreadable, undecodable or too large file shows
    // only the white area and the frame; the next paint tries again.
    QString m_strImagePath;

protected:
    void paintEvent(QPaintEvent* event) override;
};
