#pragma once
// The running program on the session bus, for the notices of a check that ran without it:
// the program owns "org.yuefengxuan.Assistant" and answers at object "/" (interface
// "org.yuefengxuan.Assistant") two calls, ShowWatchList() and OpenItem(page), which it turns
// into signals for its main window (which opens what was asked and comes to the front).
//
// The client side (AskShowWatchList, AskOpenItem) is asynchronous: `done(true)` when a program
// answered, `done(false)` when none runs (or it failed), never when `context` went first.
// Qt Core and D-Bus only.
#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <functional>

class CDesktopNotifier;

class CAssistantBus : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.yuefengxuan.Assistant")
public:
    static const QString kService; // "org.yuefengxuan.Assistant"

    explicit CAssistantBus(QObject* parent = nullptr);
    ~CAssistantBus() override;

    // Takes the name and exports this object as "/" on `bus`. False when there is no bus or
    // another process has the name (a second copy of the program leaves it to the first).
    bool Register(QDBusConnection bus = QDBusConnection::sessionBus());

    static void AskShowWatchList(QObject* context, std::function<void(bool)> done,
                                 QDBusConnection bus = QDBusConnection::sessionBus());
    static void AskOpenItem(const QString& page, QObject* context, std::function<void(bool)> done,
                            QDBusConnection bus = QDBusConnection::sessionBus());

public slots:
    Q_SCRIPTABLE void ShowWatchList();
    Q_SCRIPTABLE void OpenItem(const QString& page);

signals:
    void showWatchListRequested();
    void openItemRequested(const QString& page);

private:
    QString m_strConnection; // the connection this object is registered on ("" none)
};

// What "查看" on a notice does in a process without a window (the headless check): it asks the
// running program (CAssistantBus); when none runs, an item opens in the browser (xdg-open) and
// the watch list starts `program`. The notifier is held until that is done, so that a
// WaitUntilSettled covers it.
class CHeadlessOpener : public QObject {
    Q_OBJECT
public:
    CHeadlessOpener(CDesktopNotifier* notifier, QString program, QObject* parent = nullptr);

signals:
    // How an action was carried out: "program" (the running program took it), "browser" or
    // "started"; "failed" when nothing could be started.
    void opened(const QString& how);

private:
    void Answered(bool taken, const QString& program, const QStringList& arguments);

    CDesktopNotifier* m_notifier;
    QString m_strProgram;
};
