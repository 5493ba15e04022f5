// The command line as plain code: one table of argument lists and what they ask for. No
// application object exists here, as none does when main() first reads the command line.
#include "app/CommandLine.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <ostream>

namespace {

using Action = yfx::CommandLine::Action;

struct Case {
    const char* name;
    QStringList args; // after the program's name
    Action action;
    const char* server = "";
    bool demo = false;
    bool quitWhenShown = false;
    const char* textHas = ""; // part of the help, version or error text; "" wants no text
    const char* search = "";  // --search-when-shown's keyword
    bool checkWatched = false;
    bool showWatched = false;
};

void PrintTo(const Case& c, std::ostream* out)
{
    *out << c.name;
}

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

const Case kCases[] = {
    {"nothing", {}, Action::Run},
    {"a file name opens nothing", {S("list.txt"), S("b.htm")}, Action::Run},
    {"--help", {S("--help")}, Action::Help, "", false, false, "--demo"},
    {"-h", {S("-h")}, Action::Help, "", false, false, "--server <URL>"},
    {"--help wins over an unknown option", {S("-platform"), S("xcb"), S("--help")}, Action::Help, "", false, false,
     "Usage: yuefengxuan"},
    {"--help wins over --version", {S("--version"), S("--help")}, Action::Help, "", false, false, "Options:"},
    {"--version", {S("--version")}, Action::Version, "", false, false, "yuefengxuan " YFX_VERSION "\n"},
    {"-v beside --demo", {S("--demo"), S("-v")}, Action::Version, "", false, false, YFX_VERSION},
    {"unknown option", {S("--bogus")}, Action::Error, "", false, false, "bogus"},
    {"--server", {S("--server"), S("http://127.0.0.1:8080")}, Action::Run, "http://127.0.0.1:8080"},
    {"--server= with a trailing slash", {S("--server=https://Mirror.example.org/")}, Action::Run,
     "https://mirror.example.org"},
    {"--server twice: the last", {S("--server=http://a.example"), S("--server=http://b.example:81")}, Action::Run,
     "http://b.example:81"},
    {"--server without its address", {S("--server")}, Action::Error, "", false, false, "--server"},
    {"--server ftp", {S("--server"), S("ftp://127.0.0.1")}, Action::Error, "", false, false, "ftp://127.0.0.1"},
    {"--server with a path", {S("--server=http://127.0.0.1/list")}, Action::Error, "", false, false,
     "http or https address"},
    {"--server with a query", {S("--server=http://127.0.0.1?x=1")}, Action::Error, "", false, false,
     "http or https address"},
    {"--server with a user", {S("--server=http://me@127.0.0.1")}, Action::Error, "", false, false,
     "http or https address"},
    {"--server without a scheme", {S("--server=127.0.0.1:8080")}, Action::Error, "", false, false,
     "http or https address"},
    {"--server with a bad port", {S("--server=http://127.0.0.1:99999")}, Action::Error, "", false, false,
     "http or https address"},
    {"--server empty", {S("--server=")}, Action::Error, "", false, false, "http or https address"},
    {"--demo", {S("--demo")}, Action::Run, "", true},
    {"--demo, a file name and the check option", {S("--demo"), S("x.txt"), S("--quit-when-shown")}, Action::Run, "",
     true, true},
    {"--server and --demo", {S("--demo"), S("--server=http://127.0.0.1:1")}, Action::Error, "", false, false,
     "exclude each other"},
    {"the search check", {S("--search-when-shown"), S("手机")}, Action::Run, "", false, false, "", "手机"},
    {"the search check without its keyword", {S("--search-when-shown")}, Action::Error, "", false, false,
     "search-when-shown"},
    {"the headless check with a server", {S("--check-watched"), S("--server=http://127.0.0.1:8080")}, Action::Run,
     "http://127.0.0.1:8080", false, false, "", "", true},
    {"the headless check cannot use the demo", {S("--check-watched"), S("--demo")}, Action::Error, "", false, false,
     "--check-watched"},
    {"starting on the watch list", {S("--show-watched")}, Action::Run, "", false, false, "", "", false, true},
};

class CommandLineTest : public ::testing::TestWithParam<Case> {};

TEST_P(CommandLineTest, Parses)
{
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    const Case& c = GetParam();
    const yfx::CommandLine got = yfx::ParseCommandLine(QStringList{S("/usr/bin/yuefengxuan")} + c.args);
    EXPECT_EQ(got.action, c.action);
    EXPECT_EQ(got.server.toStdString(), c.server);
    EXPECT_EQ(got.demo, c.demo);
    EXPECT_EQ(got.quitWhenShown, c.quitWhenShown);
    EXPECT_EQ(got.searchWhenShown.toStdString(), c.search);
    EXPECT_EQ(got.checkWatched, c.checkWatched);
    EXPECT_EQ(got.showWatched, c.showWatched);
    if (*c.textHas)
        EXPECT_TRUE(got.text.contains(S(c.textHas))) << got.text.toStdString();
    else
        EXPECT_TRUE(got.text.isEmpty()) << got.text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Table, CommandLineTest, ::testing::ValuesIn(kCases));

TEST(CommandLineHelp, ListsTheOptionsButNotTheCheckOptions)
{
    const QString help = yfx::ParseCommandLine({S("./build/bin/yuefengxuan"), S("-h")}).text;
    EXPECT_TRUE(help.startsWith(S("Usage: yuefengxuan [options] [file...]\n"))) << help.toStdString();
    for (const char* option : {"--help", "--version", "--server <URL>", "--demo", "--check-watched", "--show-watched", "YFX_SERVER", "file"})
        EXPECT_TRUE(help.contains(S(option))) << option;
    EXPECT_FALSE(help.contains(S("quit-when-shown")));
    EXPECT_FALSE(help.contains(S("search-when-shown")));
}

} // namespace
