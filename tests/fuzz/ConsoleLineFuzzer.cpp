// The substitute host's console lines and cfg files. The input is a cfg file: each line goes
// through the line parser, the whole file through Console::LoadCfg. Any line with its quotes and
// line breaks dropped, saved the way the plug-in saves a cvar, must read back as the same value.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "sim/Console.h"
#include "sim/ConsoleLine.h"
#include "sim/Journal.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

using quorvex::fuzz::Require;

constexpr const char* CvarName = "qvx_fuzz_value";
constexpr const char* CommandName = "qvx_fuzz_command";

bool IsBlank(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

void CheckLine(std::string_view line)
{
    const sim::ConsoleLine parsed = sim::ParseConsoleLine(line);
    if (parsed.kind != sim::ConsoleLine::Kind::Command) {
        Require(parsed.name.empty() && parsed.rest.empty(), "a blank or malformed line has no name or rest");
        return;
    }
    Require(!parsed.name.empty(), "a command has a name");
    for (const char c : parsed.name) {
        Require(!IsBlank(c) && c != '"', "a name holds no blank or quote");
    }
    Require(parsed.rest.empty() || (!IsBlank(parsed.rest.front()) && !IsBlank(parsed.rest.back())),
            "the rest is trimmed");

    std::string value;
    if (sim::ReadCvarValue(parsed.rest, value) && !parsed.rest.empty() && parsed.rest.front() == '"') {
        Require(parsed.rest.size() >= 2 && parsed.rest.back() == '"' &&
                    value == parsed.rest.substr(1, parsed.rest.size() - 2),
                "a quoted value is the text between its quotes");
    }
    const auto arguments = sim::SplitArguments(parsed.name, parsed.rest);
    Require(!arguments.empty() && arguments.front() == parsed.name, "a command's first argument is its name");

    // The line's bytes as a saved cvar value: the plug-in drops quotes and line breaks.
    std::string saved;
    for (const char c : line) {
        if (c != '"' && c != '\n' && c != '\r') {
            saved += c;
        }
    }
    const sim::ConsoleLine cfgLine =
        sim::ParseConsoleLine(std::string(CvarName) + " \"" + saved + "\" //A value the fuzzer chose");
    std::string readBack;
    Require(cfgLine.kind == sim::ConsoleLine::Kind::Command && cfgLine.name == CvarName &&
                sim::ReadCvarValue(cfgLine.rest, readBack) && readBack == saved,
            "a saved cvar line reads back its value");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    for (std::size_t start = 0; start <= content.size();) {
        const std::size_t end = std::min(content.find('\n', start), content.size());
        CheckLine(content.substr(start, end - start));
        start = end + 1;
    }

    static const auto cfgFile = quorvex::fuzz::ScratchFolder() / "fuzz.cfg";
    std::ofstream(cfgFile, std::ios::binary | std::ios::trunc)
        .write(content.data(), static_cast<std::streamsize>(content.size()));
    sim::Journal journal([] { return sim::Clock::time_point{}; });
    sim::Console console(journal);
    sim::Cvar* cvar = console.RegisterCvar({CvarName, "default", "A value the fuzzer chose"});
    Require(cvar != nullptr, "the fuzzer's cvar is registered");
    console.RegisterNotifier(CommandName, [](std::vector<std::string> arguments) {
        Require(!arguments.empty() && arguments.front() == CommandName, "a command gets its name first");
    });
    console.LoadCfg(cfgFile);
    return 0;
}
