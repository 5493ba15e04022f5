#pragma once
// A picture link: shows a bitmap unscaled and centred (clipped by the control when larger)
// and holds the address its parent opens. It never draws its text. The parent does the
// hit-testing with PtInLinkImage, the cursor and the opening; the control is transparent for
// the mouse. From the keyboard it takes the focus with Tab (a focus rectangle around the
// picture) and Enter or Space activates it: the parent opens the address. Its accessible name is
// the owner's description of the picture (setAccessibleName), with the role of a link and the
// action Press. GUI thread only.
#include <QPixmap>
#include <QRect>
#include <QString>
#include <QWidget>

class CMyUrlStatic : public QWidget {
    Q_OBJECT
public:
    explicit CMyUrlStatic(QWidget* parent = nullptr);
    ~CMyUrlStatic() override;

    // Replaces the picture with bitmap resource `id`. True on success, with the size recorded
    // in m_nBitmapWidth/m_nBitmapHeight. False when there is no such bitmap: the control then
    // has no picture and a size of 0 x 0 (draws nothing, PtInLinkImage always false).
    // Does not repaint.
    bool LoadLinkBitmap(int id);
    // The same with a given picture; a null pixmap behaves like a missing resource.
    bool SetLinkPixmap(const QPixmap& pixmap);

    // True when (x, y), in the parent's coordinates, lies in the picture rectangle (right and
    // bottom edges excluded). The rectangle keeps the full picture size, so with a picture
    // larger than the control the hit area reaches beyond the control's right or bottom edge.
    bool PtInLinkImage(int x, int y) const;
    // The picture rectangle in the control's own coordinates.
    QRect LinkImageRect() const;

    // What Enter, Space and the accessible Press do: emits activated() when there is a picture.
    void Activate();

    QString m_strUrl;            // the address the parent opens
    QPixmap m_bitmap;            // null without a picture
    int m_nBitmapWidth = 0;      // picture size in (device-independent) pixels
    int m_nBitmapHeight = 0;

signals:
    // The keyboard or assistive technology asked to follow the link.
    void activated();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};
