#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tools/plexar-sim/PromptCompleter.h"
#include "tools/plexar-sim/ScenarioParser.h"

namespace plexarsim {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Completes = CommandDefinition::Completes;

class PromptCompleterTest : public ::testing::Test {
protected:
    PromptCompleterTest()
    {
        const auto add = [this](const char* name, Completes completes) {
            commands_.Add({name, "", "", [](const std::string&) -> StepAction { return [](Session&) {}; }, completes});
        };
        add("wait", Completes::Nothing);
        add("console", Completes::ConsoleName);
        add("item add", Completes::Nothing);
        add("item add-silent", Completes::Nothing);
        add("settings text", Completes::Nothing);
        add("settings click", Completes::SettingsLabel);
    }

    CompletionCandidates Complete(const std::string& line) const
    {
        const PromptCompleter completer(
            commands_, [] { return std::vector<std::string>{"cvarlist", "qvx_stats_enable", "qvx_toasts_enabled"}; },
            [] { return std::vector<std::string>{"Enable toasts", "Sync Inventory", "Sync Loadout"}; });
        return completer.Complete(line);
    }

    CommandRegistry commands_;
};

TEST_F(PromptCompleterTest, CompletesCommandNamesOfOneOrSeveralWordsFromTheLineStart)
{
    EXPECT_THAT(Complete("").texts, ElementsAre("wait", "console", "item add", "item add-silent", "settings text",
                                                "settings click", "cvarlist", "qvx_stats_enable",
                                                "qvx_toasts_enabled"));
    EXPECT_THAT(Complete("se").texts, ElementsAre("settings text", "settings click"));
    const auto typedAfterBlanks = Complete("  settings c");
    EXPECT_EQ(typedAfterBlanks.start, 2u);
    EXPECT_THAT(typedAfterBlanks.texts, ElementsAre("settings click"));
    // A whole name that is also the start of a longer one offers both.
    EXPECT_THAT(Complete("item add").texts, ElementsAre("item add", "item add-silent"));
    EXPECT_THAT(Complete("wait").texts, ElementsAre("wait"));
    EXPECT_THAT(Complete("nothing").texts, IsEmpty());
    // A console line may be typed without `console`.
    EXPECT_THAT(Complete("qvx_s").texts, ElementsAre("qvx_stats_enable"));
}

TEST_F(PromptCompleterTest, CompletesTheConsoleNameAfterConsoleButNotItsValue)
{
    const auto name = Complete("console qvx_t");
    EXPECT_EQ(name.start, 8u);
    EXPECT_THAT(name.texts, ElementsAre("qvx_toasts_enabled"));
    EXPECT_THAT(Complete("console ").texts, ElementsAre("cvarlist", "qvx_stats_enable", "qvx_toasts_enabled"));
    EXPECT_THAT(Complete("console qvx_toasts_enabled ").texts, IsEmpty());
}

TEST_F(PromptCompleterTest, CompletesWholeSettingsLabelsWithTheirSpaces)
{
    const auto labels = Complete("settings  click Sync ");
    EXPECT_EQ(labels.start, 16u);
    EXPECT_THAT(labels.texts, ElementsAre("Sync Inventory", "Sync Loadout"));
    EXPECT_THAT(Complete("settings click Sync L").texts, ElementsAre("Sync Loadout"));
}

TEST_F(PromptCompleterTest, OffersNothingForArgumentsOfOtherCommands)
{
    EXPECT_THAT(Complete("wait ").texts, IsEmpty());
    EXPECT_THAT(Complete("settings text ").texts, IsEmpty());
}

TEST(ScenarioParserLineTest, ParsesOneTypedLineWithTheFilesMessages)
{
    CommandRegistry commands;
    commands.Add({"expect-log", "TEXT", "", [](const std::string&) -> StepAction { return [](Session&) {}; }});
    const ScenarioParser parser(commands);
    EXPECT_FALSE(parser.ParseLine("   # only a comment", "prompt:1"));
    const auto step = parser.ParseLine("expect-log Plugin loaded! # comment\r", "prompt:2");
    ASSERT_TRUE(step);
    EXPECT_EQ(step->location, "prompt:2");
    try {
        parser.ParseLine("expect-logs x", "prompt:3");
        FAIL() << "no ScenarioError";
    } catch (const ScenarioError& error) {
        EXPECT_THAT(error.Problems(), ElementsAre("prompt:3: unknown command 'expect-logs'; did you mean 'expect-log'?"));
    }
}

}  // namespace
}  // namespace plexarsim
