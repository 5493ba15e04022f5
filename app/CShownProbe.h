#pragma once
// For --quit-when-shown: waits until a top-level window is on screen (its native window is
// exposed), then writes one line to standard output, "main window shown: " followed by what
// `describe` returns, and asks the application to quit. Only once.
#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;
class QWindow;

class CShownProbe : public QObject {
    Q_OBJECT
public:
    // `window` may be shown already or later.
    CShownProbe(QWidget* window, std::function<QString()> describe, QObject* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Report();
    // Starts watching the native window once there is one.
    void Watch();

    QPointer<QWidget> m_widget;
    QPointer<QWindow> m_window;
    std::function<QString()> m_describe;
    bool m_bReported = false;
};
