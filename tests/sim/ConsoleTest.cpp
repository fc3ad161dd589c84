// Console lines and cfg files: parsing, cvars set from lines, commands and their arguments.
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestHost.h"
#include "sim/ConsoleLine.h"

namespace sim {
namespace {

TEST(ConsoleLine, CommentsQuotesAndMalformedLines)
{
    using Kind = ConsoleLine::Kind;
    struct Case {
        std::string line;
        Kind kind;
        std::string name;
        std::string rest;
    };
    const std::vector<Case> cases = {
        {"", Kind::Blank, "", ""},
        {"   \t ", Kind::Blank, "", ""},
        {"// a comment", Kind::Blank, "", ""},
        {"  name  ", Kind::Command, "name", ""},
        {"name value with  blanks  // note", Kind::Command, "name", "value with  blanks"},
        {"name \"a // b\" //desc", Kind::Command, "name", "\"a // b\""},
        {"name http://x", Kind::Command, "name", "http:"},
        {"name \"unterminated", Kind::Malformed, "", ""},
        {"name \"a\"b\" //desc", Kind::Malformed, "", ""},
        {"na\"me\" 1", Kind::Malformed, "", ""},
    };
    for (const auto& c : cases) {
        const ConsoleLine parsed = ParseConsoleLine(c.line);
        EXPECT_EQ(parsed.kind, c.kind) << c.line;
        EXPECT_EQ(parsed.name, c.name) << c.line;
        EXPECT_EQ(parsed.rest, c.rest) << c.line;
    }
}

TEST(ConsoleLine, CvarValuesAndCommandArguments)
{
    std::string value;
    EXPECT_TRUE(ReadCvarValue("\"a b\"", value));
    EXPECT_EQ(value, "a b");
    EXPECT_TRUE(ReadCvarValue("\"\"", value));
    EXPECT_EQ(value, "");
    EXPECT_TRUE(ReadCvarValue("bare \"text\"", value));
    EXPECT_EQ(value, "bare \"text\"");
    EXPECT_FALSE(ReadCvarValue("\"a\" b", value));

    EXPECT_EQ(SplitArguments("cmd", ""), std::vector<std::string>{"cmd"});
    EXPECT_EQ(SplitArguments("cmd", "a  \"b c\" \"\" d"),
              (std::vector<std::string>{"cmd", "a", "b c", "", "d"}));
}

TEST(Console, LinesSetCvarsPrintThemAndReportWhatTheyCannotRun)
{
    test::TestHost host;
    auto cvar = host->CvarManager()->registerCvar("qvx_test", "1", "A test cvar");

    host->ExecuteConsole("qvx_test \"a // b\" // comment");
    EXPECT_EQ(cvar.getStringValue(), "a // b");
    host->ExecuteConsole("qvx_test two words");
    EXPECT_EQ(cvar.getStringValue(), "two words");
    host->ExecuteConsole("qvx_test \"\"");
    EXPECT_EQ(cvar.getStringValue(), "");

    host->ExecuteConsole("qvx_test \"kept");
    host->ExecuteConsole("qvx_test \"a\" b");
    EXPECT_EQ(cvar.getStringValue(), "");
    EXPECT_TRUE(host->ConsoleContains("plexar-sim: cannot parse console line: qvx_test \"kept"));
    EXPECT_TRUE(host->ConsoleContains("plexar-sim: cannot parse console line: qvx_test \"a\" b"));

    host->ExecuteConsole("qvx_test 5");
    host->ExecuteConsole("qvx_test");
    EXPECT_EQ(host->ConsoleLines().back(), "qvx_test = \"5\"");

    host->ExecuteConsole("no_such_thing 1");
    EXPECT_EQ(host->ConsoleLines().back(), "plexar-sim: unknown command: no_such_thing");
}

// A cfg file or a typed line may hold any bytes; the host's own lines show them, not obey them.
TEST(Console, TheHostsOwnLinesShowControlCharactersAsEscapes)
{
    test::TestHost host;
    host->CvarManager()->registerCvar("qvx_test", "\x1b]0;x\x07", "A test cvar");
    for (const std::string line : {"\x1b[2Jwipe\x07 1", "qvx_test \"a\rb\" c", "qvx_test"}) {
        host->ExecuteConsole(line);
    }
    const auto lines = host->ConsoleLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
              (std::vector<std::string>{"plexar-sim: unknown command: \\x1b[2Jwipe\\x07",
                                        "plexar-sim: cannot parse console line: qvx_test \"a\\rb\" c",
                                        "qvx_test = \"\\x1b]0;x\\x07\""}));
}

TEST(Console, CvarlistAndHelpListWhatIsRegistered)
{
    test::TestHost host;
    auto console = host->CvarManager();
    console->registerCvar("qvx_stats_enable", "1", "Enable stats sync");
    console->registerCvar("qvx_inventorysync_enable", "0", "");
    console->registerCvar("other", "x", "Not ours");
    console->registerNotifier("qvx_sync", [](std::vector<std::string>) {}, "", 0);

    host->ExecuteConsole("cvarlist qvx_");
    host->ExecuteConsole("help");
    host->ExecuteConsole("cvarlist a b");
    EXPECT_EQ(host->ConsoleLines(), (std::vector<std::string>{
                                        "qvx_inventorysync_enable = \"0\"",
                                        "qvx_stats_enable = \"1\"  Enable stats sync",
                                        "2 cvars starting with qvx_",
                                        "qvx_sync",
                                        "cvarlist [PREFIX]",
                                        "help",
                                        "plexar-sim: usage: cvarlist [PREFIX]",
                                    }));
    // A plug-in's own command of the name comes first.
    std::vector<std::string> called;
    console->registerNotifier("help", [&](std::vector<std::string> args) { called = args; }, "", 0);
    host->ExecuteConsole("help me");
    EXPECT_EQ(called, (std::vector<std::string>{"help", "me"}));
}

TEST(Console, CommandsGetTheirArgumentsAndMayThrow)
{
    test::TestHost host;
    auto console = host->CvarManager();
    std::vector<std::vector<std::string>> calls;
    console->registerNotifier(
        "writeconfig", [&](std::vector<std::string> args) { calls.push_back(args); }, "", 0);
    console->registerNotifier(
        "explode", [](std::vector<std::string>) { throw std::runtime_error("kaboom"); }, "", 0);

    host->ExecuteConsole("writeconfig");
    host->ExecuteConsole("writeconfig now \"and later\" // why");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], std::vector<std::string>{"writeconfig"});
    EXPECT_EQ(calls[1], (std::vector<std::string>{"writeconfig", "now", "and later"}));

    host->ExecuteConsole("explode");
    EXPECT_TRUE(host->ConsoleContains("kaboom"));
}

TEST(Console, LoadCfgSkipsBadLinesAndLoadsTheRest)
{
    test::TestHost host;
    auto console = host->CvarManager();
    auto first = console->registerCvar("first", "default");
    auto second = console->registerCvar("second", "default");
    auto third = console->registerCvar("third", "default");
    const auto path = host->Options().hostDir / "cfg" / "test.cfg";
    {
        std::ofstream file(path, std::ios::binary);
        file << "first \"one\" //First\r\n"
             << "// a comment line\r\n"
             << "second \"bro\"ken\" //Second\r\n"
             << "\r\n"
             << "third \"3\" //Third\r\n";
    }
    console->loadCfg(path.string());
    EXPECT_EQ(first.getStringValue(), "one");
    EXPECT_EQ(second.getStringValue(), "default");
    EXPECT_EQ(third.getStringValue(), "3");
    EXPECT_TRUE(host->ConsoleContains("plexar-sim: cannot parse console line: second"));
}

TEST(Console, LoadCfgOfAMissingFileOrOfAnythingButAFileSetsNothing)
{
    test::TestHost host;
    auto cvar = host->CvarManager()->registerCvar("kept", "default");
    const auto path = host->Options().hostDir / "cfg" / "missing.cfg";
    host->CvarManager()->loadCfg(path.string());
    EXPECT_EQ(cvar.getStringValue(), "default");
    EXPECT_EQ(host->ConsoleLines().back(),
              "plexar-sim: config file not found: " + path.string());

    std::filesystem::create_directories(path);
    host->CvarManager()->loadCfg(path.string());
    EXPECT_EQ(host->ConsoleLines().back(), "plexar-sim: config file is not a regular file, not read: " + path.string());
}

}  // namespace
}  // namespace sim
