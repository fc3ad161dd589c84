// The shortened input the snapshot reader parses: the JSON library must see the same document in
// it, across chunk boundaries that fall inside strings, escapes and runs of white space.
#include "inventory/CompactedJsonInput.h"

#include <random>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace quorvex {
namespace {

using Json = nlohmann::json;

std::string Compacted(const std::string& text)
{
    std::stringbuf buffer(text);
    CompactedJsonInput input(buffer);
    return std::string(input.begin(), input.end());
}

// The document's value as the library reads it, or "refused".
std::string Parsed(const std::string& text)
{
    const Json value = Json::parse(text, nullptr, false);
    return value.is_discarded() ? "refused" : value.dump();
}

TEST(CompactedJsonInputTest, LeavesOutWhiteSpaceBetweenTokensButNotInStrings)
{
    EXPECT_EQ(Compacted("{\n    \"a b\": [ 1 ,\t2 ],\r\n    \"c\\\" \\\\\": \" x \"\n}\n"),
              R"({"a b":[1,2],"c\" \\":" x "})");
    // Where two tokens meet, one space still separates them, so "1 2" never becomes "12".
    EXPECT_EQ(Compacted("[1   2, true \n false, - 1]"), "[1 2,true false,- 1]");
    // White space in front of a byte-order mark keeps the mark from counting as one.
    EXPECT_EQ(Compacted("  \xEF\xBB\xBF{}"), " \xEF\xBB\xBF{}");
    EXPECT_EQ(Compacted(" \n "), "");
    EXPECT_EQ(Compacted(""), "");
}

// Long texts of random tokens, white space and strings with escapes, most of them valid JSON,
// some broken: the library reads the same value from the shortened text, or refuses both.
TEST(CompactedJsonInputTest, TheLibraryReadsTheSameDocumentAcrossChunkBoundaries)
{
    std::mt19937_64 random(4242);
    const auto below = [&](std::uint64_t bound) { return random() % bound; };
    const auto space = [&] { return std::string(below(3) == 0 ? below(20) : below(2), " \n\t\r"[below(4)]); };
    const auto string = [&] {
        static const std::string pieces[] = {"a", "\\\"", "\\\\", " ", "\\n", "\\u00e9", "\xc3\xa9", "        "};
        std::string text = "\"";
        for (auto count = below(40); count > 0; --count) {
            text += pieces[below(8)];
        }
        return text + "\"";
    };
    int refused = 0;
    for (int round = 0; round < 20; ++round) {
        std::string text = "[" + space();
        while (text.size() < 200000) {
            switch (below(4)) {
            case 0: text += string(); break;
            case 1: text += std::to_string(random()); break;
            case 2: text += "{" + space() + string() + space() + ":" + space() + "null" + space() + "}"; break;
            default: text += below(2) == 0 ? "true" : "false"; break;
            }
            text += space() + "," + space();
        }
        text += "0" + space() + "]" + space();
        if (round % 4 == 3) {
            // Broken somewhere: a byte changed, or a string's quote dropped.
            const std::size_t at = below(text.size());
            text[at] = "\" 0,]"[below(5)];
        }
        const std::string compacted = Compacted(text);
        ASSERT_LT(compacted.size(), text.size());
        ASSERT_EQ(Parsed(compacted), Parsed(text)) << "round " << round;
        refused += Parsed(text) == "refused" ? 1 : 0;
    }
    EXPECT_GT(refused, 0) << "the broken texts test nothing";
}

}  // namespace
}  // namespace quorvex
