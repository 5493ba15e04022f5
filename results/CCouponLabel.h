#pragma once
// The coupon label of an item tile: a small red tag ("券 ¥10") over the top-left corner of the
// tile's picture. It is drawn as a filled rectangle on whole logical pixels with its text over
// it, so its edges stay sharp at any device pixel ratio. Transparent for the mouse: the tile
// does the hit-testing. GUI thread only.
#include <QColor>
#include <QFont>
#include <QString>
#include <QWidget>

class CCouponLabel : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPixelHeight = 14; // character height
    static constexpr int kPadding = 6;      // left and right of the text
    static constexpr int kVPadding = 4;     // above and below it
    static const QColor kGround;            // the tag's red
    static const QColor kText;              // white

    explicit CCouponLabel(QWidget* parent = nullptr);

    // The font the text is drawn in, made bold and kPixelHeight high; resizes the label.
    void SetFontDescription(const QFont& font);
    // The tag's ground (kGround unless set): other tags of the tile share the shape.
    void SetGround(const QColor& ground);
    const QColor& Ground() const { return m_crGround; }
    // The widest the label may grow; a longer text ends in "…". 0: no limit.
    void SetMaxWidth(int pixels);
    // Shows the text (hidden when it is empty), sized to fit it.
    void SetText(const QString& text);
    const QString& Text() const { return m_strText; }
    // The text as drawn, after eliding.
    QString ShownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Fit();

    QString m_strText;
    QFont m_font;
    QColor m_crGround = kGround;
    int m_nMaxWidth = 0;
};
