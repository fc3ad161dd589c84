#pragma once
// The prompt of an interactive session, over libedit: line editing, a history kept in a file,
// Tab completion, and lines printed above the line being typed without tearing it.
//
//   LineEditor editor("plexar-sim> ");
//   editor.UseHistoryFile(hostDir / "plexar-sim.history");
//   while (auto line = editor.ReadLine()) { ... }         // on the reader thread
//   editor.Print("[   5.003] Plugin loaded!", LineEditor::Stream::Out);   // any thread
//
// Ctrl-D on an empty line ends the input (ReadLine gives nothing); Ctrl-C drops the line being
// typed; Up and Down walk the history, which is saved after every line.
//
// Threads: ReadLine runs on one reader thread, which thereby owns libedit. Print and Stop may be
// called from any thread. mutex_ guards libedit and the terminal: the reader holds it except while
// it waits for a key (in ReadKey), so a Print finds libedit between two keys, erases the edit
// line, writes its line and has libedit redraw the prompt and what was typed.
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <functional>
#include <iterator>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <signal.h>
#include <termios.h>

struct editline;
struct history;

namespace plexarsim {

// What Tab may put in place of the end of the line before the cursor.
struct CompletionCandidates {
    // Where the text being completed starts in that line (a byte offset).
    std::size_t start = 0;
    // Every text that may stand there from `start` on.
    std::vector<std::string> texts;
};

class LineEditor {
public:
    // Given the line up to the cursor. Called on the reader thread.
    using Completer = std::function<CompletionCandidates(std::string_view lineBeforeCursor)>;
    enum class Stream { Out, Errors };

    static constexpr std::uintmax_t MaxHistoryFileBytes = 1 << 20;
    static constexpr int MaxHistoryLines = 1000;

    // Standard input must be a terminal; the editor draws on standard output when that is a
    // terminal, else on standard error. Throws std::runtime_error when neither is one, or when
    // libedit cannot start.
    explicit LineEditor(std::string prompt);
    ~LineEditor();
    LineEditor(const LineEditor&) = delete;
    LineEditor& operator=(const LineEditor&) = delete;

    // Before the first ReadLine: reads the history from the file (when present and not larger
    // than MaxHistoryFileBytes; a problem is reported on standard error) and writes it there
    // after every line.
    void UseHistoryFile(std::filesystem::path file);
    // Before the first ReadLine: what Tab asks for candidates.
    void SetCompleter(Completer completer);

    // Whether an editor can start here: standard input and one of the outputs are terminals.
    static bool TerminalAvailable();

    // Shows the prompt and reads one line (without its line break); nothing at Ctrl-D, at the end
    // of the input or after Stop. A line that is not blank joins the history.
    std::optional<std::string> ReadLine();
    // Writes the line and a line break to the stream, above the prompt while one is shown.
    // Never throws.
    void Print(std::string_view line, Stream stream) noexcept;
    // Makes a waiting ReadLine, and every later one, give nothing.
    void Stop() noexcept;

private:
    static int ReadKey(editline* editLine, wchar_t* key);
    static unsigned char CompleteKey(editline* editLine, int key);
    static char* PromptOf(editline* editLine);

    // Waits for a byte of standard input, with mutex_ released; false at the end or after Stop.
    bool WaitForInput(std::unique_lock<std::mutex>& lock);
    // While ReadLine is in libedit: moves to the start of the edit line and erases it and what is
    // below. Under mutex_.
    void EraseEditLine();
    // Writes directly to the stream. Under mutex_.
    void Write(std::string_view text, Stream stream);
    void SaveHistory();

    const std::string prompt_;
    std::filesystem::path historyFile_;
    Completer completer_;
    std::FILE* terminal_;  // where libedit draws
    // The terminal as found at the start, restored at the end and by a signal that ends the
    // process meanwhile, whose earlier handlers come back at the end.
    static constexpr int EndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
    termios terminalSettings_{};
    bool terminalSettingsSaved_ = false;
    struct sigaction signalsBefore_[std::size(EndingSignals)] {};
    int wakeRead_ = -1;
    int wakeWrite_ = -1;

    std::mutex mutex_;
    struct editline* editLine_ = nullptr;
    struct history* history_ = nullptr;
    std::unique_lock<std::mutex>* readerLock_ = nullptr;  // the reader's hold on mutex_ in ReadLine
    bool editing_ = false;  // ReadLine is inside libedit
    bool stopped_ = false;
    std::mbstate_t keyState_{};
};

}  // namespace plexarsim
