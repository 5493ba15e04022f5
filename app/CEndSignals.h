#pragma once
// SIGTERM (how a desktop session ends its programs) and SIGINT (Ctrl+C in a terminal) handed
// to the GUI thread, so that the program can end the way closing its main window ends it:
// destructors run, children are stopped, the exit status is 0.
//
// The signal handler only writes the signal's number to a pipe; the GUI thread reads it when
// its event loop runs (a signal that comes before the loop runs is handled as soon as it
// does) and calls `onSignal` once. Any later SIGTERM or SIGINT ends the program at once, with
// the signals' default action, in case the orderly way hangs.
//
// One object at a time (the handler has one pipe). Its destruction restores the default
// actions.
#include <QObject>

#include <functional>

class QSocketNotifier;

class CEndSignals : public QObject {
public:
    explicit CEndSignals(std::function<void(int signal)> onSignal, QObject* parent = nullptr);
    ~CEndSignals() override;

    // False when the pipe or the handlers could not be set up: the signals keep their default
    // action (the program ends at once).
    bool Active() const { return m_notifier != nullptr; }

private:
    void OnReadable();

    std::function<void(int)> m_onSignal;
    QSocketNotifier* m_notifier = nullptr;
    bool m_bSignalled = false;
};
