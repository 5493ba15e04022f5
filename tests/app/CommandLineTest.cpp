// The command line as plain code: one table of argument lists and what they ask for.
#include "app/CommandLine.h"

#include <QTest>

using Action = yfx::CommandLine::Action;
Q_DECLARE_METATYPE(yfx::CommandLine::Action)

class CommandLineTest : public QObject {
    Q_OBJECT
private slots:
    void parses_data();
    void parses();
    void helpListsTheOptionsButNotTheCheckOption();
};

void CommandLineTest::parses_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<Action>("action");
    QTest::addColumn<QString>("server");
    QTest::addColumn<bool>("demo");
    QTest::addColumn<bool>("quitWhenShown");
    QTest::addColumn<QString>("textHas"); // part of the help, version or error text

    const QString none;
    auto row = [](const char* name, QStringList args) -> QTestData& {
        args.prepend(QStringLiteral("/usr/bin/yuefengxuan"));
        return QTest::newRow(name) << args;
    };
    row("nothing", {}) << Action::Run << none << false << false << none;
    row("a file name opens nothing", {QStringLiteral("list.txt"), QStringLiteral("b.htm")})
        << Action::Run << none << false << false << none;
    row("--help", {QStringLiteral("--help")}) << Action::Help << none << false << false << QStringLiteral("--demo");
    row("-h", {QStringLiteral("-h")}) << Action::Help << none << false << false << QStringLiteral("--server <URL>");
    row("--help wins over an unknown option", {QStringLiteral("-platform"), QStringLiteral("xcb"), QStringLiteral("--help")})
        << Action::Help << none << false << false << QStringLiteral("Usage: yuefengxuan");
    row("--version", {QStringLiteral("--version")}) << Action::Version << none << false << false
                                                    << QStringLiteral("yuefengxuan " YFX_VERSION "\n");
    row("-v beside --demo", {QStringLiteral("--demo"), QStringLiteral("-v")})
        << Action::Version << none << false << false << QStringLiteral(YFX_VERSION);
    row("--help wins over --version", {QStringLiteral("--version"), QStringLiteral("--help")})
        << Action::Help << none << false << false << QStringLiteral("Options:");
    row("unknown option", {QStringLiteral("--bogus")}) << Action::Error << none << false << false << QStringLiteral("bogus");
    row("--server", {QStringLiteral("--server"), QStringLiteral("http://127.0.0.1:8080")})
        << Action::Run << QStringLiteral("http://127.0.0.1:8080") << false << false << none;
    row("--server= with a trailing slash", {QStringLiteral("--server=https://Mirror.example.org/")})
        << Action::Run << QStringLiteral("https://mirror.example.org") << false << false << none;
    row("--server twice: the last", {QStringLiteral("--server=http://a.example"), QStringLiteral("--server=http://b.example:81")})
        << Action::Run << QStringLiteral("http://b.example:81") << false << false << none;
    row("--server without its address", {QStringLiteral("--server")})
        << Action::Error << none << false << false << QStringLiteral("--server");
    row("--server ftp", {QStringLiteral("--server"), QStringLiteral("ftp://127.0.0.1")})
        << Action::Error << none << false << false << QStringLiteral("ftp://127.0.0.1");
    row("--server with a path", {QStringLiteral("--server=http://127.0.0.1/list")})
        << Action::Error << none << false << false << QStringLiteral("http or https address");
    row("--server with a query", {QStringLiteral("--server=http://127.0.0.1?x=1")})
        << Action::Error << none << false << false << QStringLiteral("http or https address");
    row("--server with a user", {QStringLiteral("--server=http://me@127.0.0.1")})
        << Action::Error << none << false << false << QStringLiteral("http or https address");
    row("--server without a host", {QStringLiteral("--server=127.0.0.1:8080")})
        << Action::Error << none << false << false << QStringLiteral("http or https address");
    row("--server with a bad port", {QStringLiteral("--server=http://127.0.0.1:99999")})
        << Action::Error << none << false << false << QStringLiteral("http or https address");
    row("--demo", {QStringLiteral("--demo")}) << Action::Run << none << true << false << none;
    row("--demo, a file name and the check option",
        {QStringLiteral("--demo"), QStringLiteral("x.txt"), QStringLiteral("--quit-when-shown")})
        << Action::Run << none << true << true << none;
    row("--server and --demo", {QStringLiteral("--demo"), QStringLiteral("--server=http://127.0.0.1:1")})
        << Action::Error << none << false << false << QStringLiteral("exclude each other");
}

void CommandLineTest::parses()
{
    QFETCH(QStringList, arguments);
    QFETCH(Action, action);
    QFETCH(QString, server);
    QFETCH(bool, demo);
    QFETCH(bool, quitWhenShown);
    QFETCH(QString, textHas);

    const yfx::CommandLine got = yfx::ParseCommandLine(arguments);
    QCOMPARE(got.action, action);
    QCOMPARE(got.server, server);
    QCOMPARE(got.demo, demo);
    QCOMPARE(got.quitWhenShown, quitWhenShown);
    if (textHas.isEmpty())
        QVERIFY2(got.text.isEmpty(), qPrintable(got.text));
    else
        QVERIFY2(got.text.contains(textHas), qPrintable(got.text));
}

void CommandLineTest::helpListsTheOptionsButNotTheCheckOption()
{
    const QString help = yfx::ParseCommandLine({QStringLiteral("./build/bin/yuefengxuan"), QStringLiteral("-h")}).text;
    QVERIFY(help.startsWith(QStringLiteral("Usage: yuefengxuan [options] [file...]\n")));
    for (const char* option : {"--help", "--version", "--server <URL>", "--demo", "YFX_SERVER"})
        QVERIFY2(help.contains(QLatin1String(option)), option);
    QVERIFY(!help.contains(QStringLiteral("quit-when-shown")));
}

QTEST_MAIN(CommandLineTest)
#include "CommandLineTest.moc"
