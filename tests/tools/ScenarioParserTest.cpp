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
                ElementsAre("s.scn:2: unknown command 'frobnicate'",
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

TEST_F(BuiltInCommandsTest, WaitTakesAPlainNonNegativeNumberOfSeconds)
{
    for (const char* good : {"wait 0", "wait 6", "wait 0.25", "wait 86400"}) {
        EXPECT_EQ(ProblemWith(good), "") << good;
    }
    for (const char* bad : {"wait", "wait -1", "wait abc", "wait 1e3", "wait nan", "wait inf",
                            "wait 5s", "wait 1.2.3", "wait 86400.5", "wait 1 2", "wait ."}) {
        EXPECT_THAT(ProblemWith(bad),
                    HasSubstr("demo.scn:1: wait: expected a number of seconds from 0 to 86400"))
            << bad;
    }
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
