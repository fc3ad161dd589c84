#pragma once
// Readers for the argument text of scenario commands. Each throws std::invalid_argument with a
// reason a scenario author can act on.
//
// Threads: pure functions, callable from any thread.
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace plexarsim {

// The text without leading and trailing spaces and tabs.
std::string_view Trim(std::string_view text);

// A duration of 0 to MaxWaitSeconds: a decimal number with a unit, "500ms", "5s", "2m", "1.5h",
// or without one, seconds ("6", "0.25"). No sign or exponent.
constexpr double MaxWaitSeconds = 86400;
std::chrono::duration<double> ParseDuration(std::string_view text);

// A non-empty text, either as written, or as one double-quoted string whose \" and \\ are
// unescaped ("  two spaces" keeps its spaces, "a # b" keeps its '#'), or as one single-quoted
// string taken literally ('{"UserCode":"abc"}').
std::string ParseText(std::string_view text);

// Takes one word off the front of `text`: a "double-quoted" text (\" and \\ inside), a
// 'single-quoted' one taken literally, or everything up to the next space or tab. Leaves `text`
// at the next word.
std::string TakeWord(std::string_view& text);

// The path of a URL: "https://api.quorvex.com/api/v2/x.php?a=1" -> "/api/v2/x.php"; "/" when it
// has none.
std::string UrlPath(std::string_view url);

// The fewest single-character insertions, deletions, substitutions and swaps of two neighbours
// that turn a into b.
std::size_t TypoDistance(std::string_view a, std::string_view b);

// The candidate nearest to the word as a typo of it: the fewest single-character insertions,
// deletions, substitutions and swaps of two neighbours ("wiat" -> "wait"), the first of equals.
// Empty only when there are no candidates.
std::string NearestText(std::string_view word, const std::vector<std::string>& candidates);

// For commands without arguments.
void ExpectNoArguments(std::string_view text);

}  // namespace plexarsim
