#include "tools/plexar-sim/InteractiveConsole.h"

#include <algorithm>
#include <thread>

#include <fmt/format.h>
#include <fmt/ostream.h>

#include "sim/Journal.h"
#include "tools/plexar-sim/PromptCompleter.h"
#include "tools/plexar-sim/ScenarioArguments.h"
#include "tools/plexar-sim/ScenarioRunner.h"

namespace plexarsim {

void TypedLines::Push(std::string line)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back(std::move(line));
    }
    changed_.notify_all();
}

void TypedLines::Finish()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
    }
    changed_.notify_all();
}

TypedLines::Next TypedLines::Take(std::chrono::milliseconds patience)
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, patience, [this] { return !lines_.empty() || finished_; });
    Next next;
    if (!lines_.empty()) {
        next.line = std::move(lines_.front());
        lines_.pop_front();
    }
    next.finished = !next.line && finished_;
    return next;
}

InteractiveConsole::InteractiveConsole(LineEditor& editor, const CommandRegistry& commands, std::ostream& errors)
    : editor_(editor), commands_(commands), parser_(commands), errors_(errors)
{
}

void InteractiveConsole::Run(Session& session, const std::filesystem::path& historyFile)
{
    editor_.UseHistoryFile(historyFile);
    sim::Host& host = session.host;
    session.atPrompt = true;
    const PromptCompleter completer(commands_, [&host] { return host.ConsoleNames(); },
                                    [this] { return SettingsLabels(); });
    editor_.SetCompleter([completer](std::string_view line) { return completer.Complete(line); });
    RefreshSettingsLabels(session);
    fmt::print(session.out,
               "interactive session: type scenario commands as in a file; Tab completes commands, cvars and "
               "settings labels; Up recalls earlier lines (kept in {}); Ctrl-D ends the session{}\n",
               historyFile.string(), host.Options().virtualTime ? " (virtual time moves only by wait)" : "");
    session.out.flush();

    std::thread reader([this] {
        try {
            while (auto line = editor_.ReadLine()) {
                lines_.Push(std::move(*line));
            }
        } catch (const std::exception& error) {
            editor_.Print(fmt::format("plexar-sim: the prompt stopped: {}", error.what()), LineEditor::Stream::Errors);
        }
        lines_.Finish();
    });
    // However Run ends, the reader is stopped and joined.
    struct ReaderStop {
        LineEditor& editor;
        std::thread& thread;
        ~ReaderStop()
        {
            editor.Stop();
            thread.join();
        }
    } const stop{editor_, reader};

    for (;;) {
        TypedLines::Next next = Idle(session);
        if (next.line) {
            Play(*next.line, session);
            RefreshSettingsLabels(session);
            if (session.quitRequested) {
                return;
            }
        } else if (next.finished) {
            return;
        }
    }
}

TypedLines::Next InteractiveConsole::Idle(Session& session)
{
    TypedLines::Next next = lines_.Take(std::chrono::milliseconds{0});
    if (next.line || next.finished) {
        return next;
    }
    try {
        // On virtual time the clock stands still meanwhile; either way the loop serves what comes
        // (tasks, a window's frames) while the prompt waits.
        session.host.Idle(LookForLinesEvery);
    } catch (const std::exception& error) {
        fmt::print(errors_, "plexar-sim: the game loop failed at the prompt: {}\n", sim::ShownLines(error.what()));
        errors_.flush();
    }
    return lines_.Take(std::chrono::milliseconds{0});
}

bool InteractiveConsole::IsConsoleLine(const std::string& line, const sim::Host& host) const
{
    if (commands_.Match(line)) {
        return false;
    }
    const std::string_view text = Trim(line);
    const std::string_view firstWord = text.substr(0, text.find_first_of(" \t"));
    const auto names = host.ConsoleNames();
    return std::binary_search(names.begin(), names.end(), firstWord);
}

void InteractiveConsole::Play(const std::string& line, Session& session)
{
    const std::string location = fmt::format("prompt:{}", ++linesTyped_);
    std::optional<ScenarioStep> step;
    try {
        step = parser_.ParseLine(IsConsoleLine(line, session.host) ? "console " + line : line, location);
    } catch (const ScenarioError& error) {
        fmt::print(errors_, "{}\n", sim::ShownLines(error.what()));
        errors_.flush();
        return;
    }
    if (step) {
        PlayScenario({std::move(*step)}, session, errors_);
        errors_.flush();
    }
}

void InteractiveConsole::RefreshSettingsLabels(Session& session)
{
    std::vector<std::string> labels;
    if (auto* page = session.plugin.SettingsWindow()) {
        try {
            for (const auto& item : session.settingsWindow.Draw(*page).Items()) {
                if (item.kind == sim::ui::DrawnItem::Kind::Button || item.kind == sim::ui::DrawnItem::Kind::Checkbox) {
                    labels.push_back(item.text);
                }
            }
        } catch (const std::exception&) {
            // A page that cannot be drawn offers no labels; `settings text` says why when asked.
        }
    }
    std::lock_guard<std::mutex> lock(labelsMutex_);
    settingsLabels_ = std::move(labels);
}

std::vector<std::string> InteractiveConsole::SettingsLabels() const
{
    std::lock_guard<std::mutex> lock(labelsMutex_);
    return settingsLabels_;
}

}  // namespace plexarsim
