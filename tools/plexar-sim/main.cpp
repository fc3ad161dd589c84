// plexar-sim: loads a Plexar plug-in library the way the host does and plays a scenario against
// the substitute host, printing everything the host shows or does.
//
// Threads: the main thread parses, loads and plays; it is the game thread. With --window the main
// thread shows the window instead and a game thread of its own loads, plays and draws the window's
// frames (WindowMode.h). The host's HTTP thread reaches only the journal sinks; threads of the
// plug-in that write to std::cout or std::cerr reach only the library-line printer. An interactive
// session adds the prompt's reader thread (InteractiveConsole); then every line printed goes
// through the prompt's LineEditor.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <CLI/CLI.hpp>
#include <fmt/format.h>
#include <fmt/ostream.h>
#include <nlohmann/json.hpp>

#include "sim/HttpTransport.h"
#include "sim/Host.h"
#include "sim/Journal.h"
#include "tools/plexar-sim/DefaultPaths.h"
#include "tools/plexar-sim/DevService.h"
#include "tools/plexar-sim/JournalJson.h"
#include "tools/plexar-sim/JournalPrinter.h"
#include "tools/plexar-sim/LineStreamBuf.h"
#include "tools/plexar-sim/LinkingPageClient.h"
#include "tools/plexar-sim/PluginData.h"
#include "tools/plexar-sim/PluginLibrary.h"
#include "tools/plexar-sim/PluginSession.h"
#include "tools/plexar-sim/PortHolder.h"
#include "tools/plexar-sim/ScenarioParser.h"
#include "tools/plexar-sim/ScenarioRunner.h"
#include "tools/plexar-sim/commands/Commands.h"
// The prompt (libedit), the window (GLFW, OpenGL) and virtual time (the C library's clock and
// /proc) are Linux-only; on Windows their flags are refused.
#ifndef _WIN32
#include "tools/plexar-sim/InteractiveConsole.h"
#include "tools/plexar-sim/LineEditor.h"
#include "tools/plexar-sim/ThreadActivity.h"
#include "tools/plexar-sim/VirtualWallClock.h"
#include "tools/plexar-sim/WindowMode.h"
#else
namespace plexarsim {
class LineEditor;
class WindowMode;
}  // namespace plexarsim
#endif
#include "ws/Texts.h"

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
    std::string journalJson;
    bool virtualTime = false;
    bool check = false;
    bool keep = false;
    bool verbose = false;
    bool interactive = false;
    bool window = false;
    bool exitAfterScenario = false;
    // --devservice: start a qvx-devservice for the session, with these arguments (split at blanks).
    bool devservice = false;
    std::string devserviceArguments;
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
        "Without SCENARIO, on a terminal: the interactive prompt (--interactive); otherwise the\n"
        "plug-in is loaded and unloaded at once.\n"
        "\nScenario commands:\n{}"
        "\nAfter the scenario the plug-in is unloaded and deleted unless the scenario did it. The last line\n"
        "says how it went: 'scenario passed: N assertions, S s of play in W s' or\n"
        "'scenario FAILED at FILE:LINE' (kind 'result' in the JSON journal).\n"
        "\nVirtual time (--virtual-time): the clock jumps from one timer to the next once nothing\n"
        "holds it: no request is in flight, no game-thread task is queued and no other thread of\n"
        "the process is running. A request holds it until answered or timed out.\n"
        "\nExit status:\n"
        "  0  the scenario played through and the plug-in threw nothing\n"
        "  1  a scenario command failed (an expect-..., a command needing a deleted plug-in, ...),\n"
        "     onLoad, onUnload or deletePlugin threw, or a log could not be written\n"
        "  2  bad command line or scenario, an output file cannot be written, or the plug-in\n"
        "     library was refused\n",
        commands.HelpText());
}

// CLI11 names a flag with an empty bare value "--devservice{}" in the help; the type name after it
// ("[=ARGS]") says it better.
class HelpFormatter : public CLI::Formatter {
public:
    std::string make_option_name(const CLI::Option* option, bool positional) const override
    {
        std::string name = CLI::Formatter::make_option_name(option, positional);
        for (std::size_t braces; (braces = name.find("{}")) != std::string::npos;) {
            name.erase(braces, 2);
        }
        return name;
    }
};

void DefineFlags(CLI::App& app, CommandLine& line)
{
    app.formatter(std::make_shared<HelpFormatter>());
    // "/path/to/scenario.scn" is a file, not a Windows-style "/flag", on every platform.
    app.allow_windows_style_options(false);
    app.add_option("--plugin", line.plugin,
                   "The plug-in library to load (default: ../lib/libQuorvex.so from the "
                   "executable's folder)")
        ->type_name("PATH");
    app.add_option("--host-dir", line.hostDir,
                   "The host folder, with cfg/ and data/ below it; created when missing and kept "
                   "(default: a fresh temporary folder, removed at the end unless --keep)")
        ->type_name("DIR");
    app.add_flag("--keep", line.keep,
                 "Without --host-dir: make the fresh host folder under $XDG_STATE_HOME or "
                 "~/.local/state (plexar-sim/<timestamp>-<pid>) and keep it");
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
    app.add_option("--journal-json", line.journalJson,
                   "Also write every journal entry to FILE as one JSON object per line")
        ->type_name("FILE");
    app.add_flag("--virtual-time", line.virtualTime,
                 "Play on a virtual clock that jumps to the next timer once no work is under way "
                 "(default: real time)");
    app.add_flag("--check", line.check,
                 "Only read and check the scenario file; print nothing when it is good");
    app.add_flag("--interactive", line.interactive,
                 "After the scenario (if any), read commands at a prompt, as typed, while the game loop runs; "
                 "with line editing, a history kept across sessions and Tab completion. The default without "
                 "SCENARIO when standard input is a terminal. Ctrl-D ends the session");
    app.add_flag("--window", line.window,
                 "Show the host's screen in a window (settings page, toasts, modal, status line) while the "
                 "session plays; after the scenario the session goes on until the window is closed");
    app.add_flag("--exit-after-scenario", line.exitAfterScenario,
                 "With --window: end the session when the scenario has played (exit status as without a window) "
                 "instead of waiting for the window to be closed");
    // A flag that takes its value only after "=", so `--devservice demo.scn` plays demo.scn.
    app.add_flag("--devservice{}", line.devserviceArguments,
                 "Start a qvx-devservice of this build on a free loopback port for the session, send the "
                 "service's requests to it, stop it at the end and print a summary of its state; ARGS, one "
                 "text split at blanks, are passed on: --devservice='--fail smartSync=503x1'")
        ->type_name("[=ARGS]")
        ->excludes("--service-url");
    app.add_flag("--verbose", line.verbose,
                 "Also print the log lines of the plug-in's WebSocket library");
    app.set_version_flag("--version", fmt::format("plexar-sim {} (Plexar SDK build {})", PLEXAR_SIM_VERSION,
                                                  Plexar::Plugin::SdkBuildVersion));
    app.add_option("SCENARIO", line.scenario, "The scenario file to play")->type_name("FILE");
}

std::vector<std::string> SplitAtBlanks(const std::string& text)
{
    std::vector<std::string> words;
    std::istringstream stream(text);
    for (std::string word; stream >> word;) {
        words.push_back(word);
    }
    return words;
}

// Reports a refusal and yields the exit status for it.
int Refuse(const std::string& reason)
{
    fmt::print(stderr, "plexar-sim: {}\n", sim::ShownLines(reason));
    return ExitRefused;
}

// Opens FILE for writing (truncated) into `file`; an empty text when it worked, else why not.
std::string OpenOutput(const std::string& path, const char* what, std::ofstream& file)
{
    if (path.empty()) {
        return {};
    }
    file.open(path, std::ios::out | std::ios::trunc);
    return file ? std::string() : fmt::format("cannot write the {} {}: {}", what, path, std::strerror(errno));
}

struct Outputs {
    std::ostream& out;     // the journal and the commands' reports
    std::ostream& errors;  // failures
    std::ofstream consoleLog;
    std::ofstream journalJson;
    // The host folder to remove once the host is gone; empty to keep it.
    std::filesystem::path removeAfterwards;
    // The prompt of an interactive session, null without one.
    LineEditor* prompt = nullptr;
};

#ifndef _WIN32
// Where the prompt keeps its history: in the host folder, or beside the kept host folders
// when this one is removed at the end.
std::filesystem::path HistoryFile(const sim::Host& host, bool hostDirRemoved)
{
    if (hostDirRemoved) {
        try {
            const std::filesystem::path shared = DefaultHostDir().parent_path();
            std::filesystem::create_directories(shared);
            return shared / "history";
        } catch (const std::exception&) {
            // No state folder to keep it in: the host folder's goes with it.
        }
    }
    return host.Options().hostDir / "plexar-sim.history";
}
#endif

// What the session's qvx-devservice received, and its items against the game's, from its
// GET /dev/state. Game thread, the plug-in gone.
void PrintServiceSummary(const DevService& service, sim::Host& host, JournalPrinter& printer)
{
    CurlRequest request;
    request.url = service.Url() + "/dev/state";
    request.verb = "GET";
    const sim::HttpAnswer answer = sim::SendOverNetwork(request, request.url);
    try {
        if (answer.status != 200) {
            throw std::runtime_error(fmt::format("answered {}: {}", answer.status, answer.body));
        }
        std::vector<std::uint64_t> gameItems;
        for (const auto& product : host.GetWorld().Items().OwnedProducts()) {
            gameItems.push_back(product.instanceId);
        }
        for (const std::string& summaryLine : SummariseDevState(nlohmann::json::parse(answer.body), gameItems)) {
            printer.PrintLine(summaryLine);
        }
    } catch (const std::exception& error) {
        printer.PrintLine(fmt::format("devservice: GET /dev/state failed: {}", error.what()));
    }
}

// The closing line, "scenario passed: ..." or "scenario FAILED ...", as the journal's last entry.
// failure: why the run failed although every step passed; empty when nothing else failed.
void RecordResult(sim::Host& host, const ScenarioOutcome& outcome, const std::string& failure, double playSeconds,
                  double wallSeconds)
{
    const bool passed = outcome.passed && failure.empty();
    std::string text;
    if (passed) {
        text = fmt::format("scenario passed: {} assertion{}, {:.1f} s of play in {:.1f} s", outcome.assertions,
                           outcome.assertions == 1 ? "" : "s", playSeconds, wallSeconds);
    } else {
        text = outcome.passed ? "scenario FAILED: " + failure : "scenario FAILED at " + outcome.failedAt;
    }
    nlohmann::json fields{{"passed", passed},           {"assertions", outcome.assertions},
                          {"playSeconds", playSeconds}, {"wallSeconds", wallSeconds},
                          {"text", text}};
    if (!outcome.passed) {
        fields["location"] = outcome.failedAt;
    }
    host.Record(sim::JournalEntry::Kind::Result, text, std::make_shared<const nlohmann::json>(std::move(fields)));
}

// Loads the plug-in into a host and plays the steps, then the prompt's lines; the exit status.
// With a window, shows the host in it and, without a prompt, plays on until it is closed.
// (On Windows there is neither: the two are unused there.)
int Play(const CommandLine& line, [[maybe_unused]] const CommandRegistry& commands,
         const std::vector<ScenarioStep>& steps, Outputs& outputs, sim::ui::SettingsWindow& settingsWindow,
         [[maybe_unused]] WindowMode* window, const DevService* service)
{
    const auto wallStart = std::chrono::steady_clock::now();
    // The library and the printers outlive the host: its destructor still runs the plug-in's
    // last callbacks, which may log.
    const std::filesystem::path pluginPath = line.plugin.empty() ? DefaultPluginPath() : std::filesystem::path(line.plugin);
    const PluginLibrary library(pluginPath);
    outputs.out << library.Describe();

    sim::HostOptions options;
    if (!line.hostDir.empty()) {
        options.hostDir = line.hostDir;
    } else if (line.keep) {
        options.hostDir = DefaultHostDir();
    }  // else the host makes a fresh temporary folder
    options.virtualTime = line.virtualTime;
    options.virtualStart = std::chrono::floor<std::chrono::milliseconds>(sim::Clock::now());
#ifndef _WIN32
    if (line.virtualTime) {
        options.busyOtherThread = sim::BusyOtherThread;
    }
#endif
    options.serviceUrl = service != nullptr ? service->Url() : line.serviceUrl;
    options.uniqueId = line.userId;

    const sim::Clock::time_point start = line.virtualTime ? options.virtualStart : sim::Clock::now();
    JournalPrinter printer(start, outputs.out, outputs.consoleLog.is_open() ? &outputs.consoleLog : nullptr);
    std::optional<JournalJsonWriter> json;
    if (outputs.journalJson.is_open()) {
        json.emplace(start, outputs.journalJson);
    }
    sim::Host host(options);
#ifndef _WIN32
    const ShownHost shown(window, host);
#endif
    const bool removeHostDir = line.hostDir.empty() && !line.keep;
    if (removeHostDir) {
        outputs.removeAfterwards = host.Options().hostDir;
    }
    fmt::print(outputs.out, "host folder: {}{}\n", host.Options().hostDir.string(),
               removeHostDir ? " (removed at the end; --keep keeps it)" : "");
    const std::filesystem::path dataDir = PluginDataDir(pluginPath);
    if (const std::size_t installed = InstallPluginData(dataDir, host.Options().hostDir / "data"); installed > 0) {
        fmt::print(outputs.out, "plug-in data installed: {} file(s) from {}\n", installed, dataDir.string());
    }
    if (!options.serviceUrl.empty()) {
        fmt::print(outputs.out, "service requests go to: {}\n", options.serviceUrl);
    }
    if (line.virtualTime) {
        fmt::print(outputs.out, "virtual time\n");
    }
    outputs.out.flush();
    host.SetJournalSink([&printer, &json](const sim::JournalEntry& entry) {
        printer.Print(entry);
        if (json) {
            json->Write(entry);
        }
        if (entry.kind == sim::JournalEntry::Kind::Console && entry.text == quorvex::texts::ws::InitFailedLine) {
            printer.PrintLine(fmt::format("plexar-sim: warning: the plug-in's WebSocket server could not listen on "
                                          "port {}: {} holds it; the linking page and ws-send reach that, not this "
                                          "session's plug-in",
                                          PluginLinkingPort, DescribePortHolder(PluginLinkingPort)));
        }
    });

    ScenarioOutcome outcome;
    bool faulted = false;
    {
        // Whatever the plug-in's libraries write to the standard streams (WebSocket++'s log)
        // comes as whole lines, printed with --verbose only.
        LineStreamBuf libraryLines([&](const std::string& text) {
            if (line.verbose) {
                printer.PrintLibraryLine(host.Now(), text);
            }
        });
        const StreamRedirect coutRedirect(std::cout, libraryLines);
        const StreamRedirect cerrRedirect(std::cerr, libraryLines);
        LineStreamBuf reportLines([&printer](const std::string& text) { printer.PrintLine(text); });
        std::ostream reports(&reportLines);
#ifndef _WIN32
        std::optional<VirtualWallClock> wallClock;
        if (line.virtualTime) {
            wallClock.emplace(host);
        }
#endif

        PluginSession plugin(library, host, settingsWindow, outputs.errors);
        plugin.Load();
        Session session{host, plugin, settingsWindow, reports};
#ifndef _WIN32
        if (window != nullptr) {
            session.screenPicture = [window] { return window->Picture(); };
        }
#endif
        outcome = PlayScenario(steps, session, outputs.errors);
#ifndef _WIN32
        if (outputs.prompt != nullptr && !session.quitRequested) {
            if (!outcome.passed) {
                fmt::print(outputs.errors, "plexar-sim: the scenario stopped; the session goes on at the prompt\n");
            }
            InteractiveConsole(*outputs.prompt, commands, outputs.errors).Run(session, HistoryFile(host, removeHostDir));
        } else if (window != nullptr && !line.exitAfterScenario && !session.quitRequested) {
            window->PlayUntilClosed(host);
        }
#endif
        plugin.Finish();
        faulted = plugin.Faulted();
    }
    if (service != nullptr) {
        PrintServiceSummary(*service, host, printer);
    }

    int status = outcome.passed && !faulted ? ExitPassed : ExitFailed;
    std::string failure = faulted ? "the plug-in threw (above)" : "";
    if (outputs.consoleLog.is_open() && !outputs.consoleLog.flush()) {
        fmt::print(stderr, "plexar-sim: writing the console log {} failed\n", line.consoleLog);
        status = ExitFailed;
        failure = "the console log could not be written";
    }
    if (json && json->Failed()) {
        status = ExitFailed;
        failure = "the JSON journal could not be written";
    }
    if (!line.scenario.empty()) {
        RecordResult(host, outcome, failure, std::chrono::duration<double>(host.Now() - start).count(),
                     std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count());
    }
    return status;
}

#ifndef _WIN32
// Threads the plug-in left running after its unload (a worker still busy with a file): a host
// that exits cuts them off mid-work. Gives them a moment to end and says when some did not.
// Threads that ran before the plug-in was loaded (the window's OpenGL renderer) are not its.
void WaitForLeftoverThreads(std::ostream& errors, const std::set<long>& before)
{
    constexpr auto Patience = std::chrono::seconds(2);
    constexpr auto Interval = std::chrono::milliseconds(5);
    const auto deadline = std::chrono::steady_clock::now() + Patience;
    const auto leftOver = [&before] {
        auto threads = sim::SampleOtherThreads();
        threads.erase(std::remove_if(threads.begin(), threads.end(),
                                     [&before](const sim::ThreadSample& thread) { return before.count(thread.id) > 0; }),
                      threads.end());
        return threads;
    };
    try {
        auto others = leftOver();
        while (!others.empty() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(Interval);
            others = leftOver();
        }
        if (!others.empty()) {
            fmt::print(errors, "plexar-sim: {} thread(s) still running {} s after the plug-in was unloaded\n",
                       others.size(), Patience.count());
        }
    } catch (const std::exception& error) {
        fmt::print(errors, "plexar-sim: cannot see this process's threads at exit: {}\n", error.what());
    }
}
#endif

// Removes the fresh host folder of a run without --host-dir or --keep, once its host is gone.
void RemoveHostDir(const Outputs& outputs)
{
    if (outputs.removeAfterwards.empty()) {
        return;
    }
    std::error_code error;
    std::filesystem::remove_all(outputs.removeAfterwards, error);
    if (error) {
        fmt::print(stderr, "plexar-sim: cannot remove the host folder {}: {}\n", outputs.removeAfterwards.string(),
                   error.message());
    }
}

int Simulate(const CommandLine& line, const CommandRegistry& commands)
{
    if (line.check && line.scenario.empty()) {
        return Refuse("--check needs a SCENARIO");
    }
    std::vector<ScenarioStep> steps;
    if (!line.scenario.empty()) {
        try {
            steps = ScenarioParser(commands).ParseFile(line.scenario);
        } catch (const ScenarioError& error) {
            fmt::print(stderr, "{}\n", sim::ShownLines(error.what()));
            return ExitRefused;
        }
    }
    if (line.check) {
        return ExitPassed;
    }
#ifdef _WIN32
    for (const auto& [given, flag] : {std::pair{line.interactive, "--interactive"}, std::pair{line.window, "--window"},
                                      std::pair{line.virtualTime, "--virtual-time"}}) {
        if (given) {
            return Refuse(fmt::format("{} is Linux-only; on Windows a scenario plays in real time", flag));
        }
    }
    std::ostream out(std::cout.rdbuf());
    std::ostream errors(std::cerr.rdbuf());
    Outputs outputs{out, errors, {}, {}, {}, nullptr};
#else
    const bool interactive = line.interactive || (line.scenario.empty() && LineEditor::TerminalAvailable());
    if (line.interactive && !LineEditor::TerminalAvailable()) {
        return Refuse("--interactive needs a terminal on standard input, and on standard output or error");
    }
    if (!interactive && line.scenario.empty()) {
        fmt::print("plexar-sim: no SCENARIO and standard input is no terminal: the plug-in is loaded and "
                   "unloaded at once\n");
    }
    // While a prompt is shown, every line goes through it so that none tears the line being typed.
    std::optional<LineEditor> prompt;
    std::optional<LineStreamBuf> outLines;
    std::optional<LineStreamBuf> errorLines;
    if (interactive) {
        try {
            prompt.emplace("plexar-sim> ");
        } catch (const std::exception& error) {
            return Refuse(error.what());
        }
        outLines.emplace([&prompt](const std::string& text) { prompt->Print(text, LineEditor::Stream::Out); });
        errorLines.emplace([&prompt](const std::string& text) { prompt->Print(text, LineEditor::Stream::Errors); });
    }
    // The real standard streams: std::cout and std::cerr get another buffer while playing.
    std::ostream out(interactive ? static_cast<std::streambuf*>(&*outLines) : std::cout.rdbuf());
    std::ostream errors(interactive ? static_cast<std::streambuf*>(&*errorLines) : std::cerr.rdbuf());
    Outputs outputs{out, errors, {}, {}, {}, prompt ? &*prompt : nullptr};
#endif
    for (const std::string& problem : {OpenOutput(line.consoleLog, "console log", outputs.consoleLog),
                                       OpenOutput(line.journalJson, "JSON journal", outputs.journalJson)}) {
        if (!problem.empty()) {
            return Refuse(problem);
        }
    }
#ifndef _WIN32
    if (line.virtualTime) {
        try {
            (void)sim::SampleOtherThreads();
        } catch (const std::exception& error) {
            return Refuse(fmt::format("--virtual-time needs to see this process's threads: {}", error.what()));
        }
    }
#endif
    // Started on the main thread, which lives as long as the process: the service ends with it.
    std::optional<DevService> service;
    if (line.devservice) {
        try {
            service.emplace(DefaultDevServicePath(), SplitAtBlanks(line.devserviceArguments));
        } catch (const std::exception& error) {
            return Refuse(fmt::format("--devservice: {}", error.what()));
        }
        fmt::print(outputs.out, "devservice: qvx-devservice{}{} started at {}\n",
                   line.devserviceArguments.empty() ? "" : " ", line.devserviceArguments, service->Url());
    }
    int status = ExitFailed;
    sim::ui::SettingsWindow settingsWindow;
#ifdef _WIN32
    try {
        status = Play(line, commands, steps, outputs, settingsWindow, nullptr, service ? &*service : nullptr);
    } catch (...) {
        RemoveHostDir(outputs);  // a plug-in refused once the host existed
        throw;
    }
#else
    std::optional<WindowMode> window;
    if (line.window) {
        try {
            window.emplace(settingsWindow);
        } catch (const std::exception& error) {
            return Refuse(fmt::format("--window: {}", error.what()));
        }
    }
    std::set<long> threadsBefore;
    try {
        for (const sim::ThreadSample& thread : sim::SampleOtherThreads()) {
            threadsBefore.insert(thread.id);
        }
    } catch (const std::exception&) {
        // Reported by WaitForLeftoverThreads, which reads them again.
    }
    try {
        const DevService* served = service ? &*service : nullptr;
        status = window ? window->Run([&] { return Play(line, commands, steps, outputs, settingsWindow, &*window, served); })
                        : Play(line, commands, steps, outputs, settingsWindow, nullptr, served);
    } catch (...) {
        RemoveHostDir(outputs);  // a plug-in refused once the host existed
        throw;
    }
    WaitForLeftoverThreads(outputs.errors, threadsBefore);
#endif
    RemoveHostDir(outputs);
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        const CommandRegistry commands = BuiltInCommands();
        CLI::App app("Runs a Plexar plug-in in a simulated Skyvolt session, played from a scenario "
                     "file or typed at a prompt.",
                     "plexar-sim");
        CommandLine line;
        DefineFlags(app, line);
        app.footer(HelpFooter(commands));
        try {
            app.parse(argc, argv);
            line.devservice = app.count("--devservice") > 0;
        } catch (const CLI::ExtrasError& error) {
            app.exit(error);
            if (app.count("--devservice") > 0) {
                fmt::print(stderr, "qvx-devservice's own options go after --devservice= as one text: "
                                   "--devservice='--fail smartSync=503x1'\n");
            }
            return ExitRefused;
        } catch (const CLI::ParseError& error) {
            return app.exit(error) == 0 ? ExitPassed : ExitRefused;
        }
        return Simulate(line, commands);
    } catch (const std::exception& error) {
        return Refuse(error.what());
    }
}
