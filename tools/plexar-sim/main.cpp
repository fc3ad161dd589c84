// plexar-sim: loads a Plexar plug-in library the way the host does and plays a scenario against
// the substitute host, printing everything the host shows or does.
//
// Threads: the main thread parses, loads and plays; it is the game thread. The host's HTTP
// threads only reach the journal printer.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include "sim/Host.h"
#include "tools/plexar-sim/DefaultPaths.h"
#include "tools/plexar-sim/JournalPrinter.h"
#include "tools/plexar-sim/PluginLibrary.h"
#include "tools/plexar-sim/PluginSession.h"
#include "tools/plexar-sim/ScenarioParser.h"
#include "tools/plexar-sim/ScenarioRunner.h"
#include "tools/plexar-sim/commands/Commands.h"

namespace {

using namespace plexarsim;

constexpr int ExitPassed = 0;
constexpr int ExitFailed = 1;
constexpr int ExitRefused = 2;

struct CommandLine {
    std::string plugin;
    std::string hostDir;
    std::string serviceUrl;
    std::string userId = sim::HostOptions().uniqueId;
    std::string consoleLog;
    std::string scenario;
};

const CLI::Validator HttpUrl(
    [](const std::string& url) -> std::string {
        const bool http = url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0;
        return http ? "" : "must start with http:// or https://, got '" + url + "'";
    },
    "");

std::string HelpFooter(const CommandRegistry& commands)
{
    return fmt::format(
        "\nScenario file: one command per line; '#' starts a comment (outside double quotes);\n"
        "blank lines are skipped. The whole file is checked before anything is played.\n"
        "Without SCENARIO the plug-in is loaded and unloaded at once.\n"
        "\nScenario commands:\n{}"
        "\nAfter the scenario the plug-in is unloaded and deleted unless the scenario did it.\n"
        "\nExit status:\n"
        "  0  the scenario played through and the plug-in threw nothing\n"
        "  1  a scenario command failed (expect-log, a command needing a deleted plug-in, ...)\n"
        "     or onLoad, onUnload or deletePlugin threw\n"
        "  2  bad command line or scenario, or the plug-in library was refused\n",
        commands.HelpText());
}

void DefineFlags(CLI::App& app, CommandLine& line)
{
    app.add_option("--plugin", line.plugin,
                   "The plug-in library to load (default: ../lib/libQuorvex.so from the "
                   "executable's folder)")
        ->type_name("PATH");
    app.add_option("--host-dir", line.hostDir,
                   "The host folder, with cfg/ and data/ below it; created when missing "
                   "(default: a fresh folder under $XDG_STATE_HOME or ~/.local/state, "
                   "plexar-sim/<timestamp>-<pid>)")
        ->type_name("DIR");
    app.add_option("--service-url", line.serviceUrl,
                   "Send the requests meant for https://api.quorvex.com to this base URL "
                   "instead, e.g. http://127.0.0.1:8080")
        ->check(HttpUrl)
        ->type_name("URL");
    app.add_option("--user-id", line.userId,
                   fmt::format("The player's unique id the game reports (default: {})",
                               line.userId))
        ->type_name("TEXT");
    app.add_option("--console-log", line.consoleLog,
                   "Also write the plug-in's console lines to FILE, one per line, as logged")
        ->type_name("FILE");
    app.add_option("SCENARIO", line.scenario, "The scenario file to play")->type_name("FILE");
}

// Reports a refusal and yields the exit status for it.
int Refuse(const std::string& reason)
{
    fmt::print(stderr, "plexar-sim: {}\n", reason);
    return ExitRefused;
}

int Simulate(const CommandLine& line, const CommandRegistry& commands)
{
    std::vector<ScenarioStep> steps;
    if (!line.scenario.empty()) {
        try {
            steps = ScenarioParser(commands).ParseFile(line.scenario);
        } catch (const ScenarioError& error) {
            fmt::print(stderr, "{}\n", error.what());
            return ExitRefused;
        }
    }

    std::ofstream consoleLogFile;
    if (!line.consoleLog.empty()) {
        consoleLogFile.open(line.consoleLog, std::ios::out | std::ios::trunc);
        if (!consoleLogFile) {
            return Refuse(fmt::format("cannot write the console log {}: {}", line.consoleLog,
                                      std::strerror(errno)));
        }
    }

    // The library and the printer outlive the host: its destructor still runs the plug-in's last
    // callbacks, which may log.
    const PluginLibrary library(line.plugin.empty() ? DefaultPluginPath()
                                                    : std::filesystem::path(line.plugin));
    fmt::print("{}", library.Describe());

    sim::HostOptions options;
    options.hostDir = line.hostDir.empty() ? DefaultHostDir() : std::filesystem::path(line.hostDir);
    options.virtualTime = false;
    options.serviceUrl = line.serviceUrl;
    options.uniqueId = line.userId;
    fmt::print("host folder: {}\n", options.hostDir.string());
    if (!options.serviceUrl.empty()) {
        fmt::print("service requests go to: {}\n", options.serviceUrl);
    }
    std::fflush(stdout);

    JournalPrinter printer(sim::Clock::now(), std::cout,
                           consoleLogFile.is_open() ? &consoleLogFile : nullptr);
    sim::Host host(options);
    host.SetJournalSink([&printer](const sim::JournalEntry& entry) { printer.Print(entry); });

    sim::ui::SettingsWindow settingsWindow;
    PluginSession plugin(library, host, settingsWindow, std::cerr);
    plugin.Load();
    Session session{host, plugin, settingsWindow, std::cout};
    const bool played = PlayScenario(steps, session, std::cerr);
    plugin.Finish();

    if (consoleLogFile.is_open() && !consoleLogFile.flush()) {
        fmt::print(stderr, "plexar-sim: writing the console log {} failed\n", line.consoleLog);
        return ExitFailed;
    }
    return played && !plugin.Faulted() ? ExitPassed : ExitFailed;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        const CommandRegistry commands = BuiltInCommands();
        CLI::App app("Runs a Plexar plug-in in a simulated Skyvolt session, played from a scenario "
                     "file.",
                     "plexar-sim");
        CommandLine line;
        DefineFlags(app, line);
        app.footer(HelpFooter(commands));
        try {
            app.parse(argc, argv);
        } catch (const CLI::ParseError& error) {
            return app.exit(error) == 0 ? ExitPassed : ExitRefused;
        }
        return Simulate(line, commands);
    } catch (const std::exception& error) {
        return Refuse(error.what());
    }
}
