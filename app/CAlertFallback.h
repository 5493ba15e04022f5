#pragma once
// Where a price-drop notice goes when the desktop's notification service does not answer
// (CDesktopNotifier::unanswered): a message from the system tray when there is one, otherwise
// a bar in the window with the text, "查看" and a close button. Nothing louder: no dialog, no
// sound. GUI thread only.
#include <QObject>
#include <QString>

class CAnnouncementBar;
class QSystemTrayIcon;
class QTimer;
class QWidget;

class CAlertFallback : public QObject {
    Q_OBJECT
public:
    static constexpr int kTrayMessageMs = 10000;

    // `window` gives the tray icon its picture; the bar is made hidden for the caller to put
    // into the window's layout (Bar()).
    explicit CAlertFallback(QWidget* window);
    ~CAlertFallback() override;

    CAnnouncementBar* Bar() const { return m_bar; }
    // Shows `text` under the title "降价提醒": the tray's message when the desktop has a tray,
    // else the bar (a later text replaces an earlier one).
    void Show(const QString& text);
    // Where the last text went.
    bool ShownInTray() const { return m_bInTray; }

signals:
    // The message or the bar's "查看" was clicked: the program shows the watch list.
    void viewRequested();

private:
    QWidget* m_window;
    CAnnouncementBar* m_bar;
    QSystemTrayIcon* m_tray = nullptr; // made when first needed
    QTimer* m_trayHide = nullptr;      // the icon goes a while after its message
    bool m_bInTray = false;
};
