#include "core/SafeText.h"

#include <string>

#include <gtest/gtest.h>

#include "core/Log.h"
#include "tests/support/TestHost.h"

namespace quorvex {
namespace {

TEST(SafeTextTest, OrdinaryTextIsUnchanged)
{
    const std::string answer = R"({"guid":"g-1","message":"caf\u00e9 \\ {0} ok","full":false})";
    EXPECT_EQ(ConsoleText(answer), answer);
    EXPECT_EQ(ToastText("Failed: caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"), "Failed: caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80");
    EXPECT_EQ(EscapeControls("two\nlines", true), "two\nlines");
}

TEST(SafeTextTest, ControlCharactersAndBytesThatAreNotUtf8BecomeVisible)
{
    EXPECT_EQ(EscapeControls(std::string("a\nb\rc\td\x1b[2Je\0f\x7f", 15)), "a\\nb\\rc\\td\\x1b[2Je\\x00f\\x7f");
    EXPECT_EQ(EscapeControls("csi \xc2\x9b and nel \xc2\x85"), "csi \\u009b and nel \\u0085");
    // A lone continuation byte, a cut sequence, an overlong form and a surrogate.
    EXPECT_EQ(EscapeControls("\x80 \xe2\x82 \xc0\xaf \xed\xa0\x80"), "\\x80 \\xe2\\x82 \\xc0\\xaf \\xed\\xa0\\x80");
    EXPECT_EQ(EscapeControls("forged\nPlugin loaded!", true), "forged\nPlugin loaded!");
}

TEST(SafeTextTest, LongTextsAreCutWithTheirSizeAndNeverInsideACharacterOrAnEscape)
{
    const std::string body(5000, 'x');
    EXPECT_EQ(ConsoleText(body), std::string(4096, 'x') + "\u2026 (5000 bytes)");
    EXPECT_EQ(ToastText(body), std::string(512, 'x') + "\u2026 (5000 bytes)");
    EXPECT_EQ(ConsoleText(std::string(4096, 'x')), std::string(4096, 'x'));

    // 511 bytes, then a character of two bytes or an escape of four: neither fits whole.
    EXPECT_EQ(ToastText(std::string(511, 'a') + "\xc3\xa9"), std::string(511, 'a') + "\u2026 (513 bytes)");
    EXPECT_EQ(ToastText(std::string(510, 'a') + "\x01"), std::string(510, 'a') + "\u2026 (511 bytes)");
    EXPECT_EQ(SafeText(std::string(300, '\x01'), 8), "\\x01\\x01\u2026 (300 bytes)");
}

TEST(SafeTextTest, OnlyBodiesUpTo16MiBAreKept)
{
    const std::string limit(MaxKeptBodyBytes, 'b');
    EXPECT_EQ(&KeptBody(limit), &limit);
    EXPECT_EQ(KeptBody(limit + "b"), "");
}

TEST(SafeTextTest, EveryConsoleLineShowsControlCharactersButKeepsItsLineBreaks)
{
    testing::TestHost host;
    LogText("Refused a connection from origin http://x\x1b[1A\rPlugin loaded!\nnext");
    ASSERT_FALSE(host->ConsoleLines().empty());
    EXPECT_TRUE(host->ConsoleContains("Refused a connection from origin http://x\\x1b[1A\\rPlugin loaded!"));
    EXPECT_EQ(host.CountConsoleLines("\x1b"), 0);
}

}  // namespace
}  // namespace quorvex
