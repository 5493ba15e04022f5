#include "app/CommandLine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QUrl>

namespace yfx {
namespace {

const QString kProgram = QStringLiteral("yuefengxuan");

// "http://host[:port]" from a base address the user typed, or empty when it is not one.
QString BaseAddress(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        url.host().isEmpty() || !url.userInfo().isEmpty() || url.hasQuery() || url.hasFragment() ||
        (!url.path().isEmpty() && url.path() != QLatin1String("/")))
        return {};
    QUrl base = url;
    base.setPath(QString());
    return base.toString();
}

} // namespace

CommandLine ParseCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "悦丰选网购助手: a shopping assistant for the Taobao marketplace and its Tmall channel.\n"
        "Without --server or --demo it uses the hosts the YFX_* variables name, else the\n"
        "marketplace's own."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this text and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption server(
        QStringLiteral("server"),
        QStringLiteral("Use the server at <URL> (for example http://127.0.0.1:8080) for every host, as the "
                       "variable YFX_SERVER does. A per-host variable (YFX_SEARCH_URL, ...) still wins."),
        QStringLiteral("URL"));
    const QCommandLineOption demo(
        QStringLiteral("demo"),
        QStringLiteral("Start the bundled local marketplace server on a free loopback port and use it; it stops "
                       "when the program ends."));
    QCommandLineOption quitWhenShown(QStringLiteral("quit-when-shown"),
                                     QStringLiteral("Leave once the main window is shown (for checks)."));
    quitWhenShown.setFlags(QCommandLineOption::HiddenFromHelp);
    QCommandLineOption searchWhenShown(QStringLiteral("search-when-shown"),
                                       QStringLiteral("Search for <KEYWORD>, say what came and leave (for checks)."),
                                       QStringLiteral("KEYWORD"));
    searchWhenShown.setFlags(QCommandLineOption::HiddenFromHelp);
    const QCommandLineOption checkWatched(
        QStringLiteral("check-watched"),
        QStringLiteral("Check the prices of the watched items once, without a window (no display needed), tell "
                       "the drops and exit."));
    const QCommandLineOption showWatched(QStringLiteral("show-watched"),
                                         QStringLiteral("Start on the page of the watched items (我的关注)."));
    parser.addOptions({help, version, server, demo, quitWhenShown, searchWhenShown, checkWatched, showWatched});
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("Accepted and ignored: opens nothing."),
                                 QStringLiteral("[file...]"));

    const bool parsed = parser.parse(arguments);
    CommandLine out;
    if (parser.isSet(help)) {
        // the parser's own usage line names the program only when an application object exists
        const QString name = arguments.isEmpty() ? QString() : QFileInfo(arguments.first()).fileName();
        const QString text = parser.helpText();
        out.action = CommandLine::Action::Help;
        out.text = QStringLiteral("Usage: %1 [options] [file...]").arg(name.isEmpty() ? kProgram : name) +
                   text.mid(text.indexOf(QLatin1Char('\n')));
        return out;
    }
    if (parser.isSet(version)) {
        out.action = CommandLine::Action::Version;
        out.text = kProgram + QLatin1Char(' ') + QStringLiteral(YFX_VERSION) + QLatin1Char('\n');
        return out;
    }
    out.action = CommandLine::Action::Error;
    if (!parsed) {
        out.text = parser.errorText();
        return out;
    }
    out.demo = parser.isSet(demo);
    if (parser.isSet(server)) {
        out.server = BaseAddress(parser.value(server));
        if (out.server.isEmpty()) {
            out.text = QStringLiteral("--server wants an http or https address such as http://127.0.0.1:8080, not \"%1\".")
                           .arg(parser.value(server));
            return out;
        }
        if (out.demo) {
            out.server.clear();
            out.demo = false;
            out.text = QStringLiteral("--server and --demo exclude each other.");
            return out;
        }
    }
    out.checkWatched = parser.isSet(checkWatched);
    out.showWatched = parser.isSet(showWatched);
    if (out.checkWatched && out.demo) {
        out.demo = false;
        out.checkWatched = false;
        out.text = QStringLiteral("--check-watched cannot use --demo: give the server with --server.");
        return out;
    }
    out.quitWhenShown = parser.isSet(quitWhenShown);
    out.searchWhenShown = parser.value(searchWhenShown);
    out.action = CommandLine::Action::Run;
    return out;
}

} // namespace yfx
