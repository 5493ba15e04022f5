#include "app/CDemoServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

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

bool CDemoServer::Start(const QString& program, int timeoutMs)
{
    m_strBaseUrl.clear();
    m_strError.clear();
    if (program.isEmpty())
        return Fail(QStringLiteral("the bundled marketplace server (market-server) is not installed beside the program"));
    if (Running())
        return Fail(QStringLiteral("the marketplace server is already running"));

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

    QElapsedTimer clock;
    clock.start();
    m_process.start();
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

    const QString line = QString::fromLatin1(m_process.readLine()).trimmed();
    static const QString kPrefix = QStringLiteral("listening on http://127.0.0.1:");
    bool ok = false;
    const int port = line.startsWith(kPrefix) ? line.mid(kPrefix.size()).toInt(&ok) : 0;
    if (!ok || port <= 0 || port > 65535)
        return Fail(QStringLiteral("unexpected first line from %1: %2").arg(program, line.left(200)));
    m_strBaseUrl = QStringLiteral("http://127.0.0.1:%1").arg(port);
    return true;
}

void CDemoServer::Stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(kStopTimeoutMs)) {
        m_process.kill();
        m_process.waitForFinished(kStopTimeoutMs);
    }
}
