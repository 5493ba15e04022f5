#include "app/CDemoServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

constexpr int kStopTimeoutMs = 3000;

} // namespace

CDemoServer::~CDemoServer()
{
    Stop();
}

QString CDemoServer::Locate(const QString& programDir)
{
    for (const QString& relative : {QStringLiteral(YFX_DEMO_SERVER_RELATIVE), QStringLiteral("market-server")}) {
        const QFileInfo candidate(QDir::cleanPath(programDir + QLatin1Char('/') + relative));
        if (candidate.isFile() && candidate.isExecutable())
            return candidate.filePath();
    }
    return {};
}

bool CDemoServer::Fail(const QString& why)
{
    m_strError = why;
    Stop();
    return false;
}

bool CDemoServer::Launch(const QString& program)
{
    m_strBaseUrl.clear();
    m_strError.clear();
    if (program.isEmpty())
        return Fail(QStringLiteral("the bundled marketplace server (market-server) is not installed beside the program"));
    if (Running() || Starting()) {
        m_strError = QStringLiteral("the marketplace server is already running"); // and stays so
        return false;
    }

    m_process.setProgram(program);
    m_process.setArguments({QStringLiteral("--port"), QStringLiteral("0")});
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.setStandardInputFile(QProcess::nullDevice());
    const pid_t parent = getpid();
    m_process.setChildProcessModifier([parent] {
        // in the child, before exec: end with the program, however the program ends
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(127); // the program is already gone
    });
    m_process.start();
    return true;
}

bool CDemoServer::TakePortLine(const QString& program)
{
    const QString line = QString::fromLatin1(m_process.readLine()).trimmed();
    static const QString kPrefix = QStringLiteral("listening on http://127.0.0.1:");
    bool ok = false;
    const int port = line.startsWith(kPrefix) ? line.mid(kPrefix.size()).toInt(&ok) : 0;
    if (!ok || port <= 0 || port > 65535)
        return Fail(QStringLiteral("unexpected first line from %1: %2").arg(program, line.left(200)));
    m_strBaseUrl = QStringLiteral("http://127.0.0.1:%1").arg(port);
    return true;
}

bool CDemoServer::Start(const QString& program, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    if (!Launch(program))
        return false;
    if (!m_process.waitForStarted(timeoutMs))
        return Fail(QStringLiteral("cannot start %1: %2").arg(program, m_process.errorString()));
    while (!m_process.canReadLine() && m_process.state() == QProcess::Running) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0)
            break;
        m_process.waitForReadyRead(static_cast<int>(left));
    }
    if (!m_process.canReadLine()) {
        return Fail(m_process.state() == QProcess::Running
                        ? QStringLiteral("%1 did not say its port within %2 s").arg(program).arg(timeoutMs / 1000.0)
                        : QStringLiteral("%1 ended before it said its port").arg(program));
    }
    return TakePortLine(program);
}

void CDemoServer::Begin(const QString& program, std::function<void(bool)> done, int timeoutMs)
{
    if (!Launch(program)) {
        QTimer::singleShot(0, &m_process, [done = std::move(done)] { done(false); });
        return;
    }
    auto* waiter = new QObject(&m_process);
    m_waiter = waiter;
    // Exactly one end: the first of the port line, the process failing or ending, the timer.
    auto finish = [this, waiter, program, timeoutMs, done = std::move(done)](int how) {
        if (m_waiter != waiter)
            return;
        m_waiter = nullptr;
        waiter->deleteLater();
        bool ok = false;
        if (how == 0)
            ok = TakePortLine(program);
        else if (how == 1)
            Fail(QStringLiteral("cannot start %1: %2").arg(program, m_process.errorString()));
        else if (how == 2)
            Fail(QStringLiteral("%1 ended before it said its port").arg(program));
        else
            Fail(QStringLiteral("%1 did not say its port within %2 s").arg(program).arg(timeoutMs / 1000.0));
        done(ok);
    };
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, waiter, [this, finish] {
        if (m_process.canReadLine())
            finish(0);
    });
    QObject::connect(&m_process, &QProcess::errorOccurred, waiter, [finish](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            finish(1);
    });
    QObject::connect(&m_process, &QProcess::finished, waiter, [finish] { finish(2); });
    QTimer::singleShot(timeoutMs, waiter, [finish] { finish(3); });
}

void CDemoServer::Stop()
{
    delete m_waiter; // a Begin that waits ends without its call
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(kStopTimeoutMs)) {
        m_process.kill();
        m_process.waitForFinished(kStopTimeoutMs);
    }
}
