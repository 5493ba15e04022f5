// The built program seen from outside, as a user or the menu starts it: --version and --help
// need no display, bad arguments are refused, --server points every host at one server, and
// --demo runs the bundled server, shows the main window and takes the server with it when the
// program ends, however it ends: SIGTERM and SIGINT end it as closing its window does.
#include "tests/app/ProcessWatch.h"
#include "tests/support/MarketServerProcess.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <unistd.h>

namespace {

struct Outcome {
    int exitCode = -1; // -1: crashed or did not end in time
    QString out, err;
};

// "demo server: http://127.0.0.1:PORT (PATH, process PID)"
const QRegularExpression kDemoLine(QStringLiteral("^demo server: http://127\\.0\\.0\\.1:(\\d+) \\((.+), process (\\d+)\\)$"),
                                   QRegularExpression::MultilineOption);

} // namespace

class ProgramTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void versionAndHelpNeedNoDisplay();
    void badArgumentsAreRefused_data();
    void badArgumentsAreRefused();
    void serverOptionPointsEveryHostAtIt();
    void windowComesUpWhileTheDocumentsStall();
    void pictureCacheIsSweptAtStart();
    void firstRunSaysWhatToDo();
    void usersOwnApplicationReachesTheOpenPlatform();
    void demoShowsTheMainWindowAndStopsItsServer();
    void demoServerEndsWithAKilledProgram_data();
    void demoServerEndsWithAKilledProgram();

private:
    // The test's environment without a display or any YFX_ variable, with private runtime,
    // settings and cache folders; offscreen when `offscreen`.
    QProcessEnvironment Environment(bool offscreen) const;
    Outcome Run(const QStringList& args, const QProcessEnvironment& env, int timeoutMs = 60000) const;

    QTemporaryDir m_home;
};

void ProgramTest::initTestCase()
{
    QVERIFY(m_home.isValid());
    QVERIFY(QFile::setPermissions(m_home.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

QProcessEnvironment ProgramTest::Environment(bool offscreen) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& name : env.keys()) {
        if (name.startsWith(QLatin1String("YFX_")))
            env.remove(name);
    }
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    if (offscreen)
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.path());
    env.insert(QStringLiteral("XDG_CONFIG_DIRS"), m_home.path() + QStringLiteral("/xdg"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.path() + QStringLiteral("/cache"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.path() + QStringLiteral("/data"));
    return env;
}

Outcome ProgramTest::Run(const QStringList& args, const QProcessEnvironment& env, int timeoutMs) const
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(YFX_PROGRAM_PATH), args);
    Outcome o;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
    } else if (p.exitStatus() == QProcess::NormalExit) {
        o.exitCode = p.exitCode();
    }
    o.out = QString::fromUtf8(p.readAllStandardOutput());
    o.err = QString::fromUtf8(p.readAllStandardError());
    return o;
}

void ProgramTest::versionAndHelpNeedNoDisplay()
{
    const Outcome version = Run({QStringLiteral("--version")}, Environment(false));
    QCOMPARE(version.exitCode, 0);
    QCOMPARE(version.out, QStringLiteral("yuefengxuan " YFX_VERSION "\n"));

    const Outcome help = Run({QStringLiteral("--help")}, Environment(false));
    QCOMPARE(help.exitCode, 0);
    QVERIFY(help.out.startsWith(QStringLiteral("Usage: yuefengxuan")));
    QVERIFY(help.out.contains(QStringLiteral("--demo")));
    QVERIFY(help.out.contains(QStringLiteral("--server <URL>")));
}

void ProgramTest::badArgumentsAreRefused_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("why");
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--bogus")} << QStringLiteral("bogus");
    QTest::newRow("not an address") << QStringList{QStringLiteral("--server"), QStringLiteral("nowhere")}
                                    << QStringLiteral("http or https address");
    QTest::newRow("both servers") << QStringList{QStringLiteral("--demo"), QStringLiteral("--server=http://127.0.0.1:9")}
                                  << QStringLiteral("exclude each other");
}

void ProgramTest::badArgumentsAreRefused()
{
    QFETCH(QStringList, args);
    QFETCH(QString, why);
    const Outcome o = Run(args, Environment(true));
    QCOMPARE(o.exitCode, 2);
    QVERIFY2(o.err.contains(why), qPrintable(o.err));
    QVERIFY(o.err.contains(QStringLiteral("--help")));
    QVERIFY(!o.out.contains(QStringLiteral("main window shown")));
}

void ProgramTest::serverOptionPointsEveryHostAtIt()
{
    yfx::test::MarketServerProcess server;
    QVERIFY2(server.Started(), server.Error().c_str());
    QProcessEnvironment env = Environment(true);
    env.insert(QStringLiteral("YFX_SERVER"), QStringLiteral("http://127.0.0.1:9")); // the option wins
    const QString base = QString::fromStdString(server.BaseUrl());
    const Outcome o = Run({QStringLiteral("--server"), base + QLatin1Char('/'), QStringLiteral("--quit-when-shown")}, env);
    QVERIFY2(o.exitCode == 0, qPrintable(o.err));
    QVERIFY2(o.out.contains(QStringLiteral("main window shown: 0 results windows, configuration from ") + base + QLatin1Char('\n')),
             qPrintable(o.out));
    // the documents are asked for once the window is painted: a search shows they came from it
    const Outcome search = Run({QStringLiteral("--server"), base, QStringLiteral("--search-when-shown"), QStringLiteral("手机")}, env);
    QVERIFY2(search.exitCode == 0 && search.out.contains(QStringLiteral("items from the list search")),
             qPrintable(search.out + search.err));
    QStringList paths;
    for (const auto& r : server.Requests())
        paths.append(QString::fromStdString(r.path));
    QVERIFY2(paths.contains(QStringLiteral("/set/config.jpg")), qPrintable(paths.join(QLatin1Char(' '))));
    QVERIFY2(paths.contains(QStringLiteral("/set/tbcat.jpg")), qPrintable(paths.join(QLatin1Char(' '))));
    QVERIFY2(paths.contains(QStringLiteral("/itemlist/default.htm")), qPrintable(paths.join(QLatin1Char(' '))));
}

void ProgramTest::pictureCacheIsSweptAtStart()
{
    // What a killed run left in the picture cache goes; a temporary file of a moment ago (a
    // transfer of another run) and the pictures within the budget stay.
    const QString folder = m_home.path() + QStringLiteral("/cache/yuefengxuan/pictures/");
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther |
                                              QFile::ExeOther));
    const auto put = [&](const QString& name, qint64 secondsAgo) {
        QFile f(folder + name);
        return f.open(QIODevice::WriteOnly) && f.write("bytes") == 5 && f.flush() &&
               f.setFileTime(QDateTime::currentDateTime().addSecs(-secondsAgo), QFileDevice::FileModificationTime);
    };
    QVERIFY(put(QStringLiteral("old.jpg_220x220.jpg.part-AbC123"), 3600));
    QVERIFY(put(QStringLiteral(".part-xYz789"), 3600));
    QVERIFY(put(QStringLiteral("young.jpg_220x220.jpg.part-Def456"), 0));
    QVERIFY(put(QStringLiteral("kept.jpg_220x220.jpg"), 3600));

    const Outcome o = Run({QStringLiteral("--server"), QStringLiteral("http://127.0.0.1:9"),
                           QStringLiteral("--quit-when-shown")},
                          Environment(true));
    QVERIFY2(o.exitCode == 0, qPrintable(o.err));
    QVERIFY(!QFileInfo::exists(folder + QStringLiteral("old.jpg_220x220.jpg.part-AbC123")));
    QVERIFY(!QFileInfo::exists(folder + QStringLiteral(".part-xYz789")));
    QVERIFY(QFileInfo::exists(folder + QStringLiteral("young.jpg_220x220.jpg.part-Def456")));
    QVERIFY(QFileInfo::exists(folder + QStringLiteral("kept.jpg_220x220.jpg")));
    // closed to others again; nothing in the runtime folder any more
    QCOMPARE(QFileInfo(folder).permissions() & (QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup), QFile::Permissions());
    QVERIFY(!QFileInfo::exists(m_home.path() + QStringLiteral("/yuefengxuan-") + QString::number(::getuid())));
}

void ProgramTest::windowComesUpWhileTheDocumentsStall()
{
    // both start-up documents are held back for 20 s: the window does not wait for them (nor
    // for any deadline of its own)
    yfx::test::MarketServerProcess server({"--fault", "/set/*=delay:20000"});
    QVERIFY2(server.Started(), server.Error().c_str());
    QElapsedTimer clock;
    clock.start();
    const Outcome o = Run({QStringLiteral("--server"), QString::fromStdString(server.BaseUrl()),
                           QStringLiteral("--quit-when-shown")},
                          Environment(true));
    const qint64 took = clock.elapsed();
    QVERIFY2(o.exitCode == 0, qPrintable(o.err));
    QVERIFY2(o.out.contains(QStringLiteral("main window shown")), qPrintable(o.out));
    QVERIFY2(took < 12000, qPrintable(QString::number(took)));
}

void ProgramTest::firstRunSaysWhatToDo()
{
    // no server anywhere and no config.json: a search says how to get a source
    const Outcome o = Run({QStringLiteral("--search-when-shown"), QStringLiteral("手机")}, Environment(true));
    QCOMPARE(o.exitCode, 1);
    QVERIFY2(o.out.startsWith(QStringLiteral("search: 还没有可用的数据源")), qPrintable(o.out + o.err));
}

void ProgramTest::usersOwnApplicationReachesTheOpenPlatform()
{
    // the user's config.json names the bundled server's application; no configuration server
    yfx::test::MarketServerProcess gateway;
    QVERIFY2(gateway.Started(), gateway.Error().c_str());
    QTemporaryDir config;
    QVERIFY(QDir().mkpath(config.path() + QStringLiteral("/yuefengxuan")));
    QFile file(config.path() + QStringLiteral("/yuefengxuan/config.json"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"({"appkey": "12345678", "secret": "yfx-local-secret", "pid": "mm_10000001_2000002_30000003",
                   "search": "material"})");
    file.close();
    QProcessEnvironment env = Environment(true);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    env.insert(QStringLiteral("YFX_OPEN_GATEWAY_URL"), QString::fromStdString(gateway.BaseUrl()));
    const Outcome o = Run({QStringLiteral("--search-when-shown"), QStringLiteral("手机")}, env);
    QVERIFY2(o.exitCode == 0, qPrintable(o.out + o.err));
    QVERIFY2(QRegularExpression(QStringLiteral("^search: [1-9][0-9]* items from the open platform$"),
                                QRegularExpression::MultilineOption)
                 .match(o.out)
                 .hasMatch(),
             qPrintable(o.out));
    int searches = 0;
    for (const auto& r : gateway.Requests())
        searches += r.path == "/router/rest" && r.query.count("q") && r.query.at("q") == "手机";
    QCOMPARE(searches, 1);
}

void ProgramTest::demoShowsTheMainWindowAndStopsItsServer()
{
    // a file name beside it opens nothing
    const Outcome o = Run({QStringLiteral("--demo"), QStringLiteral("--quit-when-shown"), QStringLiteral("list.txt")},
                          Environment(true));
    QVERIFY2(o.exitCode == 0, qPrintable(o.err));
    const QRegularExpressionMatch demo = kDemoLine.match(o.out);
    QVERIFY2(demo.hasMatch(), qPrintable(o.out));
    const int port = demo.captured(1).toInt();
    const qint64 pid = demo.captured(3).toLongLong();
    // in the build tree the server is found beside the program
    QCOMPARE(QFileInfo(demo.captured(2)).canonicalFilePath(),
             QFileInfo(QFileInfo(QStringLiteral(YFX_PROGRAM_PATH)).dir(), QStringLiteral("market-server")).canonicalFilePath());
    QVERIFY2(o.out.contains(QStringLiteral("main window shown: 0 results windows, configuration from http://127.0.0.1:%1\n")
                                .arg(port)),
             qPrintable(o.out));
    // the program waited for its server: gone the moment the program is
    QVERIFY(yfx::test::ProcessEnded(pid));
    QCOMPARE(yfx::test::LoopbackStatus(port, "/set/config.jpg"), 0);
}

void ProgramTest::demoServerEndsWithAKilledProgram_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("orderly"); // the program ends as closing its window ends it
    QTest::newRow("SIGKILL") << int(SIGKILL) << false; // the program runs no code of its own on the way out
    QTest::newRow("SIGTERM") << int(SIGTERM) << true;  // how a desktop session ends its programs
    QTest::newRow("SIGINT") << int(SIGINT) << true;    // Ctrl+C in a terminal
}

void ProgramTest::demoServerEndsWithAKilledProgram()
{
    QFETCH(int, signal);
    QFETCH(bool, orderly);
    QProcess program;
    program.setProcessEnvironment(Environment(true));
    program.start(QStringLiteral(YFX_PROGRAM_PATH), {QStringLiteral("--demo")});
    QRegularExpressionMatch demo;
    QString out;
    while (!demo.hasMatch() && program.waitForReadyRead(30000)) {
        out += QString::fromUtf8(program.readAllStandardOutput());
        demo = kDemoLine.match(out);
    }
    QVERIFY2(demo.hasMatch(), qPrintable(out + QString::fromUtf8(program.readAllStandardError())));
    const int port = demo.captured(1).toInt();
    const qint64 pid = demo.captured(3).toLongLong();
    auto cleanup = qScopeGuard([pid] {
        if (!yfx::test::ProcessEnded(pid))
            ::kill(static_cast<pid_t>(pid), SIGKILL);
    });
    QCOMPARE(yfx::test::LoopbackStatus(port, "/set/config.jpg"), 200);

    ::kill(static_cast<pid_t>(program.processId()), signal);
    QVERIFY(program.waitForFinished(10000));
    if (orderly) {
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(yfx::test::ProcessEnded(pid)); // the program stopped its server before it ended
    } else {
        QCOMPARE(program.exitStatus(), QProcess::CrashExit);
        QTRY_VERIFY_WITH_TIMEOUT(yfx::test::ProcessEnded(pid), 10000);
    }
    QCOMPARE(yfx::test::LoopbackStatus(port, "/set/config.jpg"), 0);
}

QTEST_MAIN(ProgramTest)
#include "ProgramTest.moc"
