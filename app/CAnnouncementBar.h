#pragma once
// The announcement bar at the top of the main frame: a picture at its left, the text, and a
// close button that hides the bar until the next announcement shows it again. A text longer
// than the bar is shown elided with "…"; the bar's tooltip holds the whole text.
#include <QFrame>

class QLabel;
class QToolButton;

class CAnnouncementBar : public QFrame {
    Q_OBJECT
public:
    static constexpr int kControlId = 221;

    explicit CAnnouncementBar(QWidget* parent = nullptr);

    void SetBitmap(const QPixmap& picture);
    void SetText(const QString& text);
    QString Text() const;      // the whole announcement
    QString ShownText() const; // what the bar shows of it now
    QToolButton* CloseButton() const { return m_close; }
    // A button of its own before the close button (the caller connects it).
    QToolButton* AddButton(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowFitted();

    QString m_strText;
    QLabel* m_picture;
    QLabel* m_text;
    QToolButton* m_close;
};
