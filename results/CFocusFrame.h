#pragma once
// The visible focus of a results view: a frame kWidth logical pixels wide in the palette's
// highlight (selection) colour, laid over the focused tile's cell. It is whole device pixels
// at every device pixel ratio: the band is rounded to device pixels, never blended into the
// tile's edge. Transparent for the mouse. GUI thread only.
#include <QColor>
#include <QWidget>

class QPainter;

class CFocusFrame : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 2;

    explicit CFocusFrame(QWidget* parent = nullptr);

    // Paints the frame on the edge of `rect` (logical pixels of `painter`'s device, whose device
    // pixel ratio is `ratio`): a band of round(kWidth × ratio) device pixels, at least one,
    // inside the rectangle.
    static void Paint(QPainter& painter, const QRect& rect, const QColor& colour, qreal ratio);

protected:
    void paintEvent(QPaintEvent* event) override;
};
