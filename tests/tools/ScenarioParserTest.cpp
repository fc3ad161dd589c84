#include <sstream>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tools/plexar-sim/ScenarioArguments.h"
#include "tools/plexar-sim/ScenarioParser.h"
#include "tools/plexar-sim/commands/Commands.h"

namespace plexarsim {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// A registry whose commands remember the argument text each line bound them with.
class RecordingCommands {
public:
    RecordingCommands()
    {
        for (const char* name : {"say", "item", "item add", "inventory load"}) {
            registry_.Add({name, "TEXT", "records its arguments",
                           [this, name](const std::string& arguments) -> StepAction {
                               bound_.push_back(std::string(name) + "|" + arguments);
                               return [](Session&) {};
                           }});
        }
    }

    std::vector<std::string> Parse(const std::string& text)
    {
        std::istringstream input(text);
        const auto steps = ScenarioParser(registry_).Parse(input, "s.scn");
        std::vector<std::string> locations;
        for (const auto& step : steps) {
            locations.push_back(step.location + " " + step.command);
        }
        return locations;
    }

    // The problems the parser reports for the text, one per faulty line.
    std::vector<std::string> Problems(const std::string& text)
    {
        try {
            Parse(text);
        } catch (const ScenarioError& error) {
            return error.Problems();
        }
        ADD_FAILURE() << "no ScenarioError for:\n" << text;
        return {};
    }

    const std::vector<std::string>& Bound() const { return bound_; }

private:
    CommandRegistry registry_;
    std::vector<std::string> bound_;
};

TEST(ScenarioParser, SkipsBlankLinesAndCommentsAndKeepsLineNumbers)
{
    RecordingCommands commands;
    const auto steps = commands.Parse("# a session\n"
                                      "\n"
                                      "   say hello   # greets\r\n"
                                      "\t\n"
                                      "    # indented comment\n"
                                      "say  two  words\n");

    EXPECT_THAT(steps, ElementsAre("s.scn:3 say", "s.scn:6 say"));
    EXPECT_THAT(commands.Bound(), ElementsAre("say|hello", "say|two  words"));
}

TEST(ScenarioParser, HashInsideDoubleQuotesIsText)
{
    RecordingCommands commands;
    commands.Parse("say \"a # b\" # comment\n"
                   "say {\"name\":\"x \\\" # y\"}#c\n");

    EXPECT_THAT(commands.Bound(),
                ElementsAre("say|\"a # b\"", "say|{\"name\":\"x \\\" # y\"}"));
}

TEST(ScenarioParser, PicksTheLongestMatchingCommandName)
{
    RecordingCommands commands;
    commands.Parse("item add {\"id\":1}\n"
                   "item remove 3\n"
                   "inventory   load  items.json\n");

    EXPECT_THAT(commands.Bound(), ElementsAre("item add|{\"id\":1}", "item|remove 3",
                                              "inventory load|items.json"));
}

TEST(ScenarioParser, ReportsEveryFaultyLineWithItsLocationAndPlaysNothing)
{
    RecordingCommands commands;
    const auto problems = commands.Problems("say ok\n"
                                            "frobnicate 3\n"
                                            "say \"open quote\n"
                                            "inventory unload\n");

    EXPECT_THAT(problems,
                ElementsAre(StartsWith("s.scn:2: unknown command 'frobnicate'; the nearest known one is '"),
                            "s.scn:3: a double quote is not closed",
                            "s.scn:4: unknown command 'inventory unload'; known: inventory load"));
}

TEST(ScenarioParser, MissingFileIsAScenarioError)
{
    CommandRegistry registry;
    try {
        ScenarioParser(registry).ParseFile("/nonexistent/dir/x.scn");
        FAIL() << "a missing file parsed";
    } catch (const ScenarioError& error) {
        EXPECT_THAT(error.what(), HasSubstr("/nonexistent/dir/x.scn: cannot be opened"));
    }
}

TEST(CommandRegistry, RefusesDuplicateAndMalformedNames)
{
    CommandRegistry registry;
    const auto none = [](const std::string&) -> StepAction { return [](Session&) {}; };
    registry.Add({"wait", "", "", none});

    EXPECT_THROW(registry.Add({"wait", "", "", none}), std::logic_error);
    EXPECT_THROW(registry.Add({"", "", "", none}), std::logic_error);
    EXPECT_THROW(registry.Add({"item  add", "", "", none}), std::logic_error);
    EXPECT_THROW(registry.Add({" item", "", "", none}), std::logic_error);
}

TEST(CommandRegistry, HelpListsEveryCommandAlignedAndWrappedTo100Columns)
{
    CommandRegistry registry;
    const auto none = [](const std::string&) -> StepAction { return [](Session&) {}; };
    std::string longSummary;
    for (int i = 0; i < 40; ++i) {
        longSummary += fmt::format("word{} ", i);
    }
    registry.Add({"wait", "SECONDS", "short", none});
    registry.Add({"inventory load", "FILE", longSummary, none});

    std::istringstream help(registry.HelpText());
    std::vector<std::string> lines;
    std::string words;
    for (std::string line; std::getline(help, line);) {
        EXPECT_LE(line.size(), 100U) << line;
        lines.push_back(line);
        std::istringstream lineWords(line);
        for (std::string word; lineWords >> word;) {
            words += word + " ";
        }
    }
    ASSERT_GE(lines.size(), 3U);
    EXPECT_EQ(words, "wait SECONDS short inventory load FILE " + longSummary);
    const auto summaryColumn = lines[0].find("short");
    EXPECT_EQ(lines[1].find("word0"), summaryColumn);
    EXPECT_EQ(lines[2].find_first_not_of(' '), summaryColumn);
}

// The built-in commands check their arguments while the file is parsed.
class BuiltInCommandsTest : public ::testing::Test {
protected:
    std::string ProblemWith(const std::string& line)
    {
        std::istringstream input(line + "\n");
        try {
            ScenarioParser(registry_).Parse(input, "demo.scn");
        } catch (const ScenarioError& error) {
            return error.what();
        }
        return "";
    }

    CommandRegistry registry_ = BuiltInCommands();
};

TEST_F(BuiltInCommandsTest, WaitTakesADurationWithAUnitOrPlainSeconds)
{
    for (const char* good : {"wait 0", "wait 6", "wait 0.25", "wait 86400", "wait 24h", "wait 1440m"}) {
        EXPECT_EQ(ProblemWith(good), "") << good;
    }
    for (const char* bad : {"wait", "wait -1", "wait abc", "wait 1e3", "wait nan", "wait inf", "wait 5 s",
                            "wait 5d", "wait ms", "wait 1.2.3", "wait 86400.5", "wait 24.1h", "wait 1 2",
                            "wait .", "wait 5sm"}) {
        EXPECT_THAT(ProblemWith(bad), HasSubstr("demo.scn:1: wait: expected a duration from 0 to 86400 s"))
            << bad;
    }
}

TEST(ParseDuration, ReadsMillisecondsSecondsMinutesAndHours)
{
    EXPECT_DOUBLE_EQ(ParseDuration("500ms").count(), 0.5);
    EXPECT_DOUBLE_EQ(ParseDuration("5s").count(), 5);
    EXPECT_DOUBLE_EQ(ParseDuration("2m").count(), 120);
    EXPECT_DOUBLE_EQ(ParseDuration("1h").count(), 3600);
    EXPECT_DOUBLE_EQ(ParseDuration("1.5").count(), 1.5);
}

TEST_F(BuiltInCommandsTest, ArgumentsAreCheckedPerCommand)
{
    EXPECT_EQ(ProblemWith("console"), "demo.scn:1: console: expected a console line");
    EXPECT_EQ(ProblemWith("unload now"), "demo.scn:1: unload: takes no arguments, got 'now'");
    EXPECT_EQ(ProblemWith("delete  # comment"), "");
    EXPECT_EQ(ProblemWith("expect-log"), "demo.scn:1: expect-log: expected a text");
    EXPECT_EQ(ProblemWith("expect-log \"\""), "demo.scn:1: expect-log: expected a text, got \"\"");
    EXPECT_EQ(ProblemWith("expect-log \"a\" b"),
              "demo.scn:1: expect-log: unexpected ' b' after the closing quote");
    EXPECT_EQ(ProblemWith("expect-log Plugin loaded!"), "");
}

TEST_F(BuiltInCommandsTest, AnUnknownCommandSuggestsTheNearestKnownOne)
{
    EXPECT_EQ(ProblemWith("expect-logs Plugin loaded!"),
              "demo.scn:1: unknown command 'expect-logs'; did you mean 'expect-log'?");
    EXPECT_EQ(ProblemWith("inventroy load x.json"), "demo.scn:1: unknown command 'inventroy'; did you mean 'inventory'?");
    EXPECT_EQ(ProblemWith("wiat 5"), "demo.scn:1: unknown command 'wiat'; did you mean 'wait'?");
    EXPECT_THAT(ProblemWith("frobnicate"), HasSubstr("unknown command 'frobnicate'; the nearest known one is '"));
    EXPECT_EQ(ProblemWith("qvx_stats_enable 0"),
              "demo.scn:1: unknown command 'qvx_stats_enable'; did you mean 'console qvx_stats_enable 0'? (console "
              "lines need 'console')");
    EXPECT_THAT(ProblemWith("cvarlist qvx_"), HasSubstr("did you mean 'console cvarlist qvx_'?"));
}

TEST_F(BuiltInCommandsTest, AssertionsCheckTheirArgumentsWhenRead)
{
    for (const char* good : {"expect-request /api", "expect-request GET /api/v2/x.php", "expect-request /a 200",
                             "expect-request POST /a 0", "expect-requests 0 /a", "expect-requests 2 GET /a 401",
                             "expect-toast synced", "expect-no-log \"a # b\"", "expect-modal Scammer",
                             "ws-send --expect OK {\"UserCode\":\"a\"}", "ws-send --expect-none --origin http://x hi",
                             "ws-send --expect 'two words' hi", "expect-request /a?lastRequest= 200",
                             "mark m1", "mark m1\nexpect-log --since m1 text",
                             "mark m1\nexpect-requests --since m1 1 /a"}) {
        EXPECT_EQ(ProblemWith(good), "") << good;
    }
    EXPECT_THAT(ProblemWith("expect-request get /a"), HasSubstr("VERB in capitals, got 'get'"));
    EXPECT_THAT(ProblemWith("expect-request GET"), HasSubstr("PATH starting with '/'"));
    EXPECT_THAT(ProblemWith("expect-request /a 700"), HasSubstr("an HTTP status from 0 to 599, got '700'"));
    EXPECT_THAT(ProblemWith("expect-request /a 200 more"), HasSubstr("takes no arguments, got 'more'"));
    EXPECT_THAT(ProblemWith("expect-requests x /a"), HasSubstr("expected a count"));
    EXPECT_THAT(ProblemWith("expect-toast"), HasSubstr("expect-toast: expected a text"));
    EXPECT_THAT(ProblemWith("ws-send --expect OK --expect-none hi"), HasSubstr("exclude each other"));
    EXPECT_THAT(ProblemWith("ws-send --expect"), HasSubstr("--expect needs a value"));
    EXPECT_THAT(ProblemWith("ws-send --expect-none"), HasSubstr("expected [--origin ORIGIN]"));
    EXPECT_THAT(ProblemWith("expect-no-log --since"), HasSubstr("--since needs the name of a mark"));
    EXPECT_THAT(ProblemWith("mark"), HasSubstr("mark: expected a NAME"));
    EXPECT_THAT(ProblemWith("mark a b"), HasSubstr("takes no arguments, got 'b'"));
    EXPECT_EQ(ProblemWith("expect-log --since m1 text"),
              "demo.scn:1: expect-log: --since m1: no `mark m1` on an earlier line");
}

TEST(TakeWord, TakesQuotedAndPlainWordsOffTheFront)
{
    std::string_view text = "  \"a b\" 'c \"d' e  f";
    EXPECT_EQ(TakeWord(text), "a b");
    EXPECT_EQ(TakeWord(text), "c \"d");
    EXPECT_EQ(TakeWord(text), "e");
    EXPECT_EQ(text, "f");
    std::string_view open = "'never closed";
    EXPECT_THROW(TakeWord(open), std::invalid_argument);
    EXPECT_EQ(UrlPath("https://api.quorvex.com/api/v2/x.php?lastRequest=g#f"), "/api/v2/x.php");
    EXPECT_EQ(UrlPath("http://127.0.0.1:9"), "/");
}

TEST(ParseText, UnquotesOneQuotedTextAndKeepsOtherTextAsWritten)
{
    EXPECT_EQ(ParseText("Plugin loaded!"), "Plugin loaded!");
    EXPECT_EQ(ParseText("say \"hi\""), "say \"hi\"");
    EXPECT_EQ(ParseText("\"  Plugin unloaded! \""), "  Plugin unloaded! ");
    EXPECT_EQ(ParseText("\"a \\\"b\\\" \\\\ # c\""), "a \"b\" \\ # c");
    EXPECT_THROW(ParseText("\"open"), std::invalid_argument);
}

}  // namespace
}  // namespace plexarsim
