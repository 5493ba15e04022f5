#pragma once
// The program's command line, read with QCommandLineParser:
//   -h, --help          what follows, then exit
//   -v, --version       "yuefengxuan 1.0.0", then exit
//   --server URL        point every host at one server (what YFX_SERVER does; wins over it)
//   --demo              start the bundled local marketplace server and use it (CDemoServer)
//   --quit-when-shown   (for checks, not listed by --help) once the main window is on screen,
//                       say so on standard output and leave (CShownProbe); a --demo server
//                       that cannot start is then reported on standard error only
//   --search-when-shown KEYWORD  (for checks, not listed) search for KEYWORD once the window
//                       is up, say what came on standard output and leave (CSearchProbe)
//   --check-watched     one check of the watch list without a window or display (CHeadlessCheck),
//                       then exit; not with --demo
//   --show-watched      start on the "我的关注" page (a notice's "查看" when the program was closed)
// A file name, or anything else that is not an option, is accepted and opens nothing.
#include <QString>
#include <QStringList>

namespace yfx {

struct CommandLine {
    enum class Action {
        Run,     // start the program
        Help,    // print `text` (the help) on standard output and leave with 0
        Version, // print `text` (the version line) on standard output and leave with 0
        Error,   // print `text` (what is wrong) on standard error and leave with 2
    };
    Action action = Action::Run;
    QString server;             // --server's address, "http://host[:port]" without a trailing slash
    bool demo = false;          // --demo
    bool quitWhenShown = false; // --quit-when-shown
    QString searchWhenShown;    // --search-when-shown's keyword
    bool checkWatched = false;  // --check-watched
    bool showWatched = false;   // --show-watched
    QString text;               // see Action
};

// Reads `arguments` (the program's name first, as QCoreApplication::arguments() gives them).
// --help wins over everything, --version over everything else, so both work even beside
// options that only the window system's layer understands. Never throws. --server takes an
// http or https address with a host and nothing after it but an optional "/"; --server and
// --demo exclude each other. Needs no application object.
CommandLine ParseCommandLine(const QStringList& arguments);

} // namespace yfx
