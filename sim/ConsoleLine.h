#pragma once
// The console's line syntax, as cfg files and the console use it:
//
//     name                      print a cvar, or run a command without arguments
//     name value text           set a cvar to "value text" / run a command with two arguments
//     name "value text" // note a quoted value; "//" outside quotes starts a comment
//
// Pure functions, callable from any thread.
#include <string>
#include <string_view>
#include <vector>

namespace sim {

struct ConsoleLine {
    enum class Kind {
        Blank,      // empty, or only a comment
        Command,    // name and rest are set
        Malformed,  // an unterminated quote, or a name holding a quote
    };
    Kind kind = Kind::Blank;
    std::string name;
    std::string rest;  // after the name, comment removed, trimmed
};

ConsoleLine ParseConsoleLine(std::string_view line);

// The value a cvar gets from a line's rest: the text between the quotes when the rest is quoted,
// else the bare rest. False when text follows the closing quote.
bool ReadCvarValue(std::string_view rest, std::string& value);

// A command's arguments: the name, then the rest split at blanks; a quoted text is one argument
// (without its quotes).
std::vector<std::string> SplitArguments(const std::string& name, std::string_view rest);

// A name the console accepts for a cvar or command: not empty, no blanks, quotes or control
// characters.
bool IsValidConsoleName(std::string_view name);

}  // namespace sim
