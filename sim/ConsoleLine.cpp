#include "sim/ConsoleLine.h"

#include <cctype>

namespace sim {
namespace {

bool IsBlank(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

ConsoleLine ParseConsoleLine(std::string_view line)
{
    ConsoleLine parsed;
    // Cut the comment: the first "//" outside quotes.
    bool quoted = false;
    std::size_t end = 0;
    for (; end < line.size(); ++end) {
        if (line[end] == '"') {
            quoted = !quoted;
        } else if (!quoted && line.compare(end, 2, "//") == 0) {
            break;
        }
    }
    const std::string_view text = Trim(line.substr(0, end));
    if (text.empty()) {
        return parsed;
    }
    std::size_t nameEnd = 0;
    while (nameEnd < text.size() && !IsBlank(text[nameEnd])) {
        ++nameEnd;
    }
    const std::string_view name = text.substr(0, nameEnd);
    if (quoted || name.find('"') != std::string_view::npos) {
        parsed.kind = ConsoleLine::Kind::Malformed;
        return parsed;
    }
    parsed.kind = ConsoleLine::Kind::Command;
    parsed.name = std::string(name);
    parsed.rest = std::string(Trim(text.substr(nameEnd)));
    return parsed;
}

bool ReadCvarValue(std::string_view rest, std::string& value)
{
    if (rest.empty() || rest.front() != '"') {
        value = std::string(rest);
        return true;
    }
    const std::size_t close = rest.find('"', 1);
    if (close != rest.size() - 1) {
        return false;  // unterminated, or text after the closing quote
    }
    value = std::string(rest.substr(1, close - 1));
    return true;
}

std::vector<std::string> SplitArguments(const std::string& name, std::string_view rest)
{
    std::vector<std::string> arguments{name};
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    for (const char c : rest) {
        if (c == '"') {
            quoted = !quoted;
            inArgument = true;
        } else if (IsBlank(c) && !quoted) {
            if (inArgument) {
                arguments.push_back(std::move(current));
                current.clear();
                inArgument = false;
            }
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument) {
        arguments.push_back(std::move(current));
    }
    return arguments;
}

bool IsValidConsoleName(std::string_view name)
{
    if (name.empty()) {
        return false;
    }
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (IsBlank(c) || std::iscntrl(byte) || c == '"' || c == '\'') {
            return false;
        }
    }
    return true;
}

}  // namespace sim
