#pragma once
// Readers for the argument text of scenario commands. Each throws std::invalid_argument with a
// reason a scenario author can act on.
//
// Threads: pure functions, callable from any thread.
#include <chrono>
#include <string>
#include <string_view>

namespace plexarsim {

// The text without leading and trailing spaces and tabs.
std::string_view Trim(std::string_view text);

// A decimal number of seconds, 0 to MaxWaitSeconds: "6", "0.25". No sign, exponent or unit.
constexpr double MaxWaitSeconds = 86400;
std::chrono::duration<double> ParseSeconds(std::string_view text);

// A non-empty text, either as written, or as one double-quoted string whose \" and \\ are
// unescaped ("  two spaces" keeps its spaces, "a # b" keeps its '#'), or as one single-quoted
// string taken literally ('{"UserCode":"abc"}').
std::string ParseText(std::string_view text);

// For commands without arguments.
void ExpectNoArguments(std::string_view text);

}  // namespace plexarsim
