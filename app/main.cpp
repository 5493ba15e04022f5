// 悦丰选网购助手: start-up. The command line (app/CommandLine.h) is read twice: once before the
// application object exists, so that --help and --version work without a display, and once
// after it has taken out the window system's own options (-platform and the like).
#include "app/CAssistantBus.h"
#include "app/CDemoServer.h"
#include "app/CEndSignals.h"
#include "app/CHeadlessCheck.h"
#include "app/CLumbra2App.h"
#include "app/CMainFrame.h"
#include "app/CSearchProbe.h"
#include "app/CShownProbe.h"
#include "app/CommandLine.h"
#include "market/Endpoints.h"

#include <QMdiArea>
#include <QMessageBox>

#include <cstdio>

namespace {

QStringList ArgumentsOf(int argc, char** argv)
{
    QStringList out;
    for (int i = 0; i < argc; ++i)
        out.append(QString::fromLocal8Bit(argv[i]));
    return out;
}

void Print(std::FILE* to, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), to);
    std::fflush(to);
}

} // namespace

int main(int argc, char** argv)
{
    using Action = yfx::CommandLine::Action;
    const yfx::CommandLine early = yfx::ParseCommandLine(ArgumentsOf(argc, argv));
    if (early.action == Action::Help || early.action == Action::Version) {
        Print(stdout, early.text);
        return 0;
    }

    if (early.action == Action::Run && early.checkWatched) {
        // no window and no display: the core application object only
        QCoreApplication core(argc, argv);
        QCoreApplication::setOrganizationName(QStringLiteral("应用程序向导生成的本地应用程序"));
        QCoreApplication::setApplicationName(QStringLiteral("悦丰选网购助手"));
        if (!early.server.isEmpty())
            yfx::SetEndpointServer(early.server.toStdString());
        return yfx::RunHeadlessCheck();
    }

    CLumbra2App app(argc, argv);
    const yfx::CommandLine options = yfx::ParseCommandLine(QCoreApplication::arguments());
    if (options.action != Action::Run) {
        Print(stderr, QStringLiteral("yuefengxuan: %1\nTry 'yuefengxuan --help'.\n").arg(options.text));
        return 2;
    }

    // SIGTERM and SIGINT close the main window and leave the event loop: main returns as after
    // a close by the user (the demo server is stopped on the way out)
    CEndSignals endSignals([&app](int) {
        if (CMainFrame* frame = app.MainFrame())
            frame->close();
        QCoreApplication::quit();
    });

    CDemoServer demo; // declared after the application: stopped before it goes
    if (options.demo) {
        const QString program = CDemoServer::Locate(QCoreApplication::applicationDirPath());
        if (!demo.Start(program)) {
            Print(stderr, QStringLiteral("yuefengxuan: --demo: %1\n").arg(demo.Error()));
            if (!options.quitWhenShown)
                QMessageBox::critical(nullptr, QApplication::applicationDisplayName(),
                                      QStringLiteral("演示服务器未能启动：%1").arg(demo.Error()));
            return 1;
        }
        Print(stdout, QStringLiteral("demo server: %1 (%2, process %3)\n").arg(demo.BaseUrl(), program).arg(demo.Pid()));
        yfx::SetEndpointServer(demo.BaseUrl().toStdString());
        app.SetDemoRunning(true);
    } else if (!options.server.isEmpty()) {
        yfx::SetEndpointServer(options.server.toStdString());
    }

    if (!app.InitInstance())
        return 1;
    // The program's name on the session bus: a headless check's notices reach this window. A
    // second copy of the program leaves the name to the first.
    CAssistantBus bus;
    if (options.showWatched && app.MainFrame())
        app.MainFrame()->ShowWatchList();
    if (CMainFrame* frame = app.MainFrame(); frame && bus.Register()) {
        QObject::connect(&bus, &CAssistantBus::showWatchListRequested, frame, &CMainFrame::ShowWatchList);
        QObject::connect(&bus, &CAssistantBus::openItemRequested, frame, &CMainFrame::OpenWatchedItem);
    }
    if (options.quitWhenShown) {
        new CShownProbe(app.MainFrame(), [&app] {
            const CMainFrame* frame = app.MainFrame();
            return QStringLiteral("%1 results windows, configuration from %2")
                .arg(frame ? frame->MdiArea()->subWindowList().size() : -1)
                .arg(QString::fromStdString(yfx::EndpointBase(yfx::Endpoint::Config)));
        }, &app);
    }
    if (!options.searchWhenShown.isEmpty())
        new CSearchProbe(app.MainFrame(), options.searchWhenShown, &app);
    return app.exec();
}
