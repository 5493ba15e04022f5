// The --demo server: where it is looked for, the real bundled server started and stopped, and
// every way a start can fail ending in an orderly false with no process left behind.
#include "app/CDemoServer.h"
#include "tests/app/ProcessWatch.h"
#include "tests/support/MarketServerProcess.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class DemoServerTest : public QObject {
    Q_OBJECT
private slots:
    void locatePrefersTheInstalledPlace();
    void locateFallsBackToTheBuildTree();
    void locateTakesOnlyPrograms();
    void startsTheBundledServerAndStopsIt();
    void destructorStopsTheServer();
    void startsWithoutWaiting();
    void failedStartsSayWhyAndLeaveNothing_data();
    void failedStartsSayWhyAndLeaveNothing();

private:
    static bool MakeFile(const QString& path, const QByteArray& text, bool executable);
};

bool DemoServerTest::MakeFile(const QString& path, const QByteArray& text, bool executable)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
        return false;
    f.close();
    QFile::Permissions p = QFile::ReadOwner | QFile::WriteOwner;
    if (executable)
        p |= QFile::ExeOwner;
    return f.setPermissions(p);
}

void DemoServerTest::locatePrefersTheInstalledPlace()
{
    QTemporaryDir prefix;
    QVERIFY(prefix.isValid());
    const QString installed = prefix.filePath(QStringLiteral("libexec/yuefengxuan/market-server"));
    QVERIFY(MakeFile(installed, "#!/bin/sh\n", true));
    QVERIFY(MakeFile(prefix.filePath(QStringLiteral("bin/market-server")), "#!/bin/sh\n", true));
    QCOMPARE(CDemoServer::Locate(prefix.filePath(QStringLiteral("bin"))), installed);
}

void DemoServerTest::locateFallsBackToTheBuildTree()
{
    QTemporaryDir build;
    QVERIFY(build.isValid());
    const QString beside = build.filePath(QStringLiteral("bin/market-server"));
    QVERIFY(MakeFile(beside, "#!/bin/sh\n", true));
    QCOMPARE(CDemoServer::Locate(build.filePath(QStringLiteral("bin"))), beside);
}

void DemoServerTest::locateTakesOnlyPrograms()
{
    QTemporaryDir prefix;
    QVERIFY(prefix.isValid());
    QVERIFY(MakeFile(prefix.filePath(QStringLiteral("libexec/yuefengxuan/market-server")), "not a program", false));
    QVERIFY(QDir().mkpath(prefix.filePath(QStringLiteral("bin/market-server")))); // a folder
    QCOMPARE(CDemoServer::Locate(prefix.filePath(QStringLiteral("bin"))), QString());
    QCOMPARE(CDemoServer::Locate(prefix.filePath(QStringLiteral("nowhere"))), QString());
}

void DemoServerTest::startsTheBundledServerAndStopsIt()
{
    CDemoServer server;
    QVERIFY2(server.Start(QString::fromStdString(yfx::test::MarketServerProcess::BinaryPath())),
             qPrintable(server.Error()));
    QVERIFY(server.Running());
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^http://127\\.0\\.0\\.1:(\\d+)$")).match(server.BaseUrl());
    QVERIFY2(m.hasMatch(), qPrintable(server.BaseUrl()));
    const int port = m.captured(1).toInt();
    // it is the marketplace stand-in, serving the configuration document
    QCOMPARE(yfx::test::LoopbackStatus(port, "/set/config.jpg"), 200);

    const qint64 pid = server.Pid();
    QVERIFY(!yfx::test::ProcessEnded(pid));
    server.Stop();
    QVERIFY(!server.Running());
    QVERIFY(yfx::test::ProcessEnded(pid));
    QCOMPARE(yfx::test::LoopbackStatus(port, "/set/config.jpg"), 0);
    server.Stop(); // a second stop does nothing
}

void DemoServerTest::destructorStopsTheServer()
{
    qint64 pid = 0;
    int port = 0;
    {
        CDemoServer server;
        QVERIFY2(server.Start(QString::fromStdString(yfx::test::MarketServerProcess::BinaryPath())),
                 qPrintable(server.Error()));
        pid = server.Pid();
        port = server.BaseUrl().section(QLatin1Char(':'), -1).toInt();
        QVERIFY(port > 0);
    }
    QVERIFY(yfx::test::ProcessEnded(pid));
    QCOMPARE(yfx::test::LoopbackStatus(port, "/"), 0);
}

void DemoServerTest::startsWithoutWaiting()
{
    const QString program = QString::fromStdString(yfx::test::MarketServerProcess::BinaryPath());
    CDemoServer server;
    int calls = 0;
    bool started = false;
    server.Begin(program, [&](bool ok) {
        ++calls;
        started = ok;
    });
    QVERIFY(server.Starting()); // returned before the server said its port
    QVERIFY(server.BaseUrl().isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(calls, 1, 20000);
    QVERIFY2(started, qPrintable(server.Error()));
    QVERIFY(!server.Starting());
    const int port = server.BaseUrl().section(QLatin1Char(':'), -1).toInt();
    QCOMPARE(yfx::test::LoopbackStatus(port, "/set/config.jpg"), 200);
    // a second start while it runs is refused without touching it
    bool again = true;
    server.Begin(program, [&](bool ok) { again = ok; });
    QTRY_VERIFY(!again);
    QCOMPARE(yfx::test::LoopbackStatus(port, "/set/config.jpg"), 200);
    server.Stop();
    // stopped while it starts: no call afterwards, nothing left running
    int late = 0;
    server.Begin(program, [&](bool) { ++late; });
    const qint64 pid = server.Pid();
    server.Stop();
    QVERIFY(!server.Starting() && !server.Running());
    QVERIFY(pid <= 0 || yfx::test::ProcessEnded(pid));
    QCoreApplication::processEvents(); // whatever the ended process left queued is handled now
    QCOMPARE(late, 0);
}

void DemoServerTest::failedStartsSayWhyAndLeaveNothing_data()
{
    QTest::addColumn<QByteArray>("script"); // empty: no program at all; "-": a path that does not exist
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<QString>("why");
    QTest::newRow("not installed") << QByteArray() << 2000 << QStringLiteral("not installed");
    QTest::newRow("missing file") << QByteArray("-") << 2000 << QStringLiteral("cannot start");
    QTest::newRow("ends at once") << QByteArray("#!/bin/sh\nexit 3\n") << 5000 << QStringLiteral("ended before");
    QTest::newRow("says something else") << QByteArray("#!/bin/sh\necho 'listening on http://10.0.0.1:80'\nexec sleep 30\n")
                                         << 5000 << QStringLiteral("unexpected first line");
    QTest::newRow("says a bad port") << QByteArray("#!/bin/sh\necho 'listening on http://127.0.0.1:0'\nexec sleep 30\n")
                                     << 5000 << QStringLiteral("unexpected first line");
    QTest::newRow("half a line, then silence") << QByteArray("#!/bin/sh\nprintf 'listening on'\nexec sleep 30\n")
                                               << 400 << QStringLiteral("did not say its port");
}

void DemoServerTest::failedStartsSayWhyAndLeaveNothing()
{
    QFETCH(QByteArray, script);
    QFETCH(int, timeoutMs);
    QFETCH(QString, why);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString program;
    if (script == "-") {
        program = dir.filePath(QStringLiteral("absent/market-server"));
    } else if (!script.isEmpty()) {
        program = dir.filePath(QStringLiteral("market-server"));
        QVERIFY(MakeFile(program, script, true));
    }

    CDemoServer server;
    QVERIFY(!server.Start(program, timeoutMs));
    QVERIFY2(server.Error().contains(why), qPrintable(server.Error()));
    QVERIFY(!server.Running());
    QVERIFY(server.BaseUrl().isEmpty());

    // the same without waiting: one call, with the same reason
    CDemoServer later;
    int calls = 0;
    later.Begin(program, [&](bool ok) { calls += ok ? 100 : 1; }, timeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(calls, 1, timeoutMs + 10000);
    QVERIFY2(later.Error().contains(why), qPrintable(later.Error()));
    QVERIFY(!later.Running() && !later.Starting());
    QVERIFY(later.BaseUrl().isEmpty());
}

QTEST_MAIN(DemoServerTest)
#include "DemoServerTest.moc"
