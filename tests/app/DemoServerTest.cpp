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
}

QTEST_MAIN(DemoServerTest)
#include "DemoServerTest.moc"
