#pragma once
// A text static that draws its text in its own colour and font, word-wrapped, over whatever
// its parent paints behind it (it never fills a background of its own).
//
// Owner-facing state is public: m_crText and m_logFont may be changed directly and take effect
// at the next paint; the setters change them and repaint at once. SetText repaints at once.
// An ampersand in the text is a mnemonic prefix ("&&" draws one '&'), as for the program's own
// labels. In literal mode (for texts that come from the marketplace: titles, prices) every
// character is drawn as it is, only whole lines are drawn, and when the text needs more lines
// than the control holds the last line shown ends in "…". The control is transparent for the
// mouse: its parent gets every mouse event over it. GUI thread only.
#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <vector>

class CMyStatic : public QWidget {
    Q_OBJECT
public:
    explicit CMyStatic(QWidget* parent = nullptr);
    explicit CMyStatic(const QString& text, QWidget* parent = nullptr);
    ~CMyStatic() override;

    const QString& Text() const { return m_strText; }
    // Stores the text and repaints at once over a fresh copy of the parent's background.
    void SetText(const QString& text);

    // Each of these updates the member and repaints at once.
    void SetTextColor(const QColor& colour);
    void SetFontDescription(const QFont& font);
    void SetBold(bool bold);
    void SetWeight(QFont::Weight weight);
    void SetPixelHeight(int pixels); // character height in pixels; a height of 0 or less is ignored
    void SetUnderline(bool underline);
    // Horizontal part: Qt::AlignLeft (default), AlignHCenter or AlignRight; add AlignVCenter
    // for a vertically centred text. The text is always word-wrapped.
    void SetAlignment(Qt::Alignment alignment);
    // Literal mode on or off (off at construction); repaints at once.
    void SetLiteral(bool literal);
    bool IsLiteral() const { return m_bLiteral; }
    // Literal mode: the text as drawn now, line by line, after wrapping and eliding for the
    // control's size and font (for tests and tooltips).
    QStringList ShownLines() const;

    // Text colour; the palette's window-text colour at construction.
    QColor m_crText;
    // Font description used to draw; the application's interface font at construction.
    QFont m_logFont;
    // Alignment inside the control; left and top at construction.
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignTop;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The lines drawn in literal mode and where each starts, in the control's coordinates.
    struct LaidOutLine {
        QString text;
        QRectF rect;
        int start = 0; // index of the line's first character in the text
    };
    std::vector<LaidOutLine> LayOutLiteral(const QFont& font) const;

    QString m_strText;
    bool m_bLiteral = false;
};
