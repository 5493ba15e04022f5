#pragma once
// The bundled local marketplace server (tools/market-server) run as the program's child for
// --demo: on a free loopback port, stopped when the program ends. The server is told to end
// with its parent, so even a program that is killed leaves no server behind.
#include <QPointer>
#include <QProcess>
#include <QString>

#include <functional>

class CDemoServer {
public:
    CDemoServer() = default;
    ~CDemoServer(); // Stop()
    CDemoServer(const CDemoServer&) = delete;
    CDemoServer& operator=(const CDemoServer&) = delete;

    // The server beside a program in `programDir`: installed, <bindir>/../libexec/yuefengxuan/
    // market-server; in the build tree, <bindir>/market-server. Empty when neither is an
    // executable file.
    static QString Locate(const QString& programDir);

    // Starts `program` with "--port 0" and waits (blocking, at most `timeoutMs`) for its first
    // line, "listening on http://127.0.0.1:PORT". False, with Error() saying why, when it cannot
    // be started, ends first, says something else or says nothing in time; the process is then
    // stopped. The server's standard error goes to the program's.
    bool Start(const QString& program, int timeoutMs = 20000);

    // The same without waiting: returns at once, and `done` is called once on the GUI thread
    // with Start's result when the server said its port, failed or took longer than
    // `timeoutMs`. Nothing is called after Stop or the object's end.
    void Begin(const QString& program, std::function<void(bool)> done, int timeoutMs = 20000);
    // True between Begin and its `done`.
    bool Starting() const { return !m_waiter.isNull(); }

    // Ends the server: SIGTERM, then SIGKILL after 3 s; waits for it. Nothing when not running.
    void Stop();

    bool Running() const { return m_process.state() != QProcess::NotRunning; }
    // "http://127.0.0.1:PORT" once started, else empty.
    const QString& BaseUrl() const { return m_strBaseUrl; }
    qint64 Pid() const { return m_process.processId(); }
    const QString& Error() const { return m_strError; }

private:
    bool Fail(const QString& why);
    // Checks and starts the process; false (after Fail) when it cannot be tried.
    bool Launch(const QString& program);
    // Reads the first line into m_strBaseUrl; false (after Fail) when it is not the expected one.
    bool TakePortLine(const QString& program);

    QProcess m_process;
    QPointer<QObject> m_waiter; // while Begin waits: holds its connections and timer
    QString m_strBaseUrl;
    QString m_strError;
};
