#pragma once
// The announcement bar at the top of the main frame: a picture at its left, the text, and a
// close button that hides the bar until the next announcement shows it again.
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
    QString Text() const;
    QToolButton* CloseButton() const { return m_close; }

private:
    QLabel* m_picture;
    QLabel* m_text;
    QToolButton* m_close;
};
