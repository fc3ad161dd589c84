#include "tools/plexar-sim/LineEditor.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <clocale>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <signal.h>
#include <histedit.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <fmt/format.h>

namespace plexarsim {

namespace {

constexpr int NoColumns = 0;

// The terminal's own settings, for a signal that ends the process while the editor has changed
// them: written before the handlers are installed, only read by them.
termios terminalAtStart;

void RestoreTerminalAndEnd(int signalNumber)
{
    tcsetattr(STDIN_FILENO, TCSANOW, &terminalAtStart);
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

LineEditor* EditorOf(EditLine* editLine)
{
    void* editor = nullptr;
    el_get(editLine, EL_CLIENTDATA, &editor);
    return static_cast<LineEditor*>(editor);
}

// Columns a UTF-8 text takes on the terminal, counting one per character.
std::size_t DisplayWidth(std::string_view text)
{
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

int TerminalColumns(std::FILE* terminal)
{
    winsize size{};
    if (ioctl(fileno(terminal), TIOCGWINSZ, &size) != 0 || size.ws_col == 0) {
        return NoColumns;
    }
    return size.ws_col;
}

std::string CommonPrefix(const std::vector<std::string>& texts)
{
    std::string prefix = texts.front();
    for (const auto& text : texts) {
        const auto end = std::mismatch(prefix.begin(), prefix.end(), text.begin(), text.end()).first;
        prefix.erase(end, prefix.end());
    }
    return prefix;
}

// The texts in columns as wide as the longest, as many as fit the width.
std::string Columns(const std::vector<std::string>& texts, int width)
{
    std::size_t longest = 0;
    for (const auto& text : texts) {
        longest = std::max(longest, DisplayWidth(text));
    }
    const std::size_t columnWidth = longest + 2;
    const std::size_t perRow = std::max<std::size_t>(1, static_cast<std::size_t>(std::max(width, 1)) / columnWidth);
    std::string listed;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const bool rowEnds = (i + 1) % perRow == 0 || i + 1 == texts.size();
        listed += texts[i];
        listed += rowEnds ? std::string("\n") : std::string(columnWidth - DisplayWidth(texts[i]), ' ');
    }
    return listed;
}

}  // namespace

bool LineEditor::TerminalAvailable()
{
    return isatty(STDIN_FILENO) == 1 && (isatty(STDOUT_FILENO) == 1 || isatty(STDERR_FILENO) == 1);
}

LineEditor::LineEditor(std::string prompt) : prompt_(std::move(prompt))
{
    if (!TerminalAvailable()) {
        throw std::runtime_error("the prompt needs a terminal on standard input and on standard output or error");
    }
    terminal_ = isatty(STDOUT_FILENO) == 1 ? stdout : stderr;
    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw std::system_error(errno, std::generic_category(), "cannot make the prompt's wake-up pipe");
    }
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];
    terminalSettingsSaved_ = tcgetattr(STDIN_FILENO, &terminalSettings_) == 0;
    // Characters beyond ASCII as the terminal's locale encodes them.
    std::setlocale(LC_CTYPE, "");
    editLine_ = el_init("plexar-sim", stdin, terminal_, stderr);
    history_ = history_init();
    if (editLine_ == nullptr || history_ == nullptr) {
        if (editLine_ != nullptr) {
            el_end(editLine_);
        }
        if (history_ != nullptr) {
            history_end(history_);
        }
        close(wakeRead_);
        close(wakeWrite_);
        throw std::runtime_error("libedit cannot start on this terminal");
    }
    HistEvent event;
    history(history_, &event, H_SETSIZE, MaxHistoryLines);
    history(history_, &event, H_SETUNIQUE, 1);
    el_set(editLine_, EL_CLIENTDATA, this);
    el_set(editLine_, EL_EDITOR, "emacs");
    el_set(editLine_, EL_PROMPT, &LineEditor::PromptOf);
    el_set(editLine_, EL_HIST, history, history_);
    el_set(editLine_, EL_GETCFN, &LineEditor::ReadKey);
    // Ctrl-C reaches the editor as a key (no SIGINT while editing) and drops the line.
    el_set(editLine_, EL_SETTY, "-d", "-isig", nullptr);
    // Between two lines libedit puts the terminal back as it found it; without echo and line
    // buffering there, what is typed ahead waits for the next prompt instead of being echoed by
    // the terminal across the output. The terminal's own settings come back at the end.
    el_set(editLine_, EL_SETTY, "-x", "-echo", "-icanon", nullptr);
    el_set(editLine_, EL_BIND, "^C", "em-kill-line", nullptr);
    // Wide texts: libedit keeps them as given, whereas it copies narrow ones and never frees them.
    el_wset(editLine_, EL_ADDFN, L"plexar-complete", L"Complete a command, cvar or settings label",
            &LineEditor::CompleteKey);
    el_set(editLine_, EL_BIND, "^I", "plexar-complete", nullptr);
    el_source(editLine_, nullptr);  // the user's ~/.editrc, as every libedit program reads it
    if (terminalSettingsSaved_) {
        terminalAtStart = terminalSettings_;
        struct sigaction restore {};
        restore.sa_handler = &RestoreTerminalAndEnd;
        sigemptyset(&restore.sa_mask);
        for (std::size_t i = 0; i < std::size(EndingSignals); ++i) {
            sigaction(EndingSignals[i], &restore, &signalsBefore_[i]);
        }
    }
}

LineEditor::~LineEditor()
{
    el_end(editLine_);
    if (terminalSettingsSaved_) {
        tcsetattr(STDIN_FILENO, TCSADRAIN, &terminalSettings_);
        for (std::size_t i = 0; i < std::size(EndingSignals); ++i) {
            sigaction(EndingSignals[i], &signalsBefore_[i], nullptr);
        }
    }
    history_end(history_);
    close(wakeRead_);
    close(wakeWrite_);
}

char* LineEditor::PromptOf(EditLine* editLine)
{
    return const_cast<char*>(EditorOf(editLine)->prompt_.c_str());
}

void LineEditor::SetCompleter(Completer completer)
{
    std::lock_guard<std::mutex> lock(mutex_);
    completer_ = std::move(completer);
}

void LineEditor::UseHistoryFile(std::filesystem::path file)
{
    std::lock_guard<std::mutex> lock(mutex_);
    historyFile_ = std::move(file);
    std::error_code error;
    const auto size = std::filesystem::file_size(historyFile_, error);
    if (error) {
        return;  // no history yet
    }
    if (size > MaxHistoryFileBytes) {
        Write(fmt::format("plexar-sim: the history file {} is larger than {} bytes; it is not read\n",
                          historyFile_.string(), MaxHistoryFileBytes),
              Stream::Errors);
        return;
    }
    HistEvent event;
    if (history(history_, &event, H_LOAD, historyFile_.c_str()) < 0) {
        Write(fmt::format("plexar-sim: the history file {} cannot be read\n", historyFile_.string()),
              Stream::Errors);
    }
}

void LineEditor::SaveHistory()
{
    if (historyFile_.empty()) {
        return;
    }
    HistEvent event;
    if (history(history_, &event, H_SAVE, historyFile_.c_str()) < 0) {
        // Between two prompts, so nothing is being typed; the session goes on.
        Write(fmt::format("plexar-sim: the history file {} cannot be written: {}\n", historyFile_.string(),
                          std::strerror(errno)),
              Stream::Errors);
    }
}

std::optional<std::string> LineEditor::ReadLine()
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (stopped_) {
        return std::nullopt;
    }
    readerLock_ = &lock;
    editing_ = true;
    int count = 0;
    const char* text = el_gets(editLine_, &count);
    editing_ = false;
    readerLock_ = nullptr;
    if (text == nullptr || count <= 0 || stopped_) {
        if (!stopped_) {
            Write("\n", Stream::Out);  // Ctrl-D leaves the cursor after the prompt
        }
        return std::nullopt;
    }
    std::string line(text, static_cast<std::size_t>(count));
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    if (line.find_first_not_of(" \t") != std::string::npos) {
        HistEvent event;
        history(history_, &event, H_ENTER, line.c_str());
        SaveHistory();
    }
    return line;
}

bool LineEditor::WaitForInput(std::unique_lock<std::mutex>& lock)
{
    lock.unlock();
    pollfd watched[] = {{STDIN_FILENO, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
    int ready = 0;
    do {
        ready = poll(watched, 2, -1);
    } while (ready < 0 && errno == EINTR);
    lock.lock();
    if (ready < 0 || stopped_ || watched[1].revents != 0) {
        return false;
    }
    return true;  // a byte, or the end of the input, which read() then tells
}

int LineEditor::ReadKey(EditLine* editLine, wchar_t* key)
{
    LineEditor& editor = *EditorOf(editLine);
    for (;;) {
        if (!editor.WaitForInput(*editor.readerLock_)) {
            return 0;
        }
        char byte = 0;
        const ssize_t count = read(STDIN_FILENO, &byte, 1);
        if (count < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (count <= 0) {
            return count == 0 ? 0 : -1;
        }
        const std::size_t decoded = std::mbrtowc(key, &byte, 1, &editor.keyState_);
        if (decoded == static_cast<std::size_t>(-2)) {
            continue;  // inside a character of several bytes
        }
        if (decoded == static_cast<std::size_t>(-1)) {
            editor.keyState_ = std::mbstate_t{};
            *key = static_cast<unsigned char>(byte);  // not in the locale's encoding: the byte itself
        }
        if (decoded == 0) {
            *key = L'\0';
        }
        return 1;
    }
}

unsigned char LineEditor::CompleteKey(EditLine* editLine, int /*key*/)
{
    LineEditor& editor = *EditorOf(editLine);
    if (!editor.completer_) {
        return CC_REFRESH_BEEP;
    }
    const LineInfo* line = el_line(editLine);
    const std::string before(line->buffer, static_cast<std::size_t>(line->cursor - line->buffer));
    CompletionCandidates candidates;
    try {
        candidates = editor.completer_(before);
    } catch (const std::exception& error) {
        editor.EraseEditLine();
        editor.Write(fmt::format("plexar-sim: completion failed: {}\n", error.what()), Stream::Errors);
        el_set(editLine, EL_REFRESH);
        return CC_NORM;
    }
    if (candidates.texts.empty() || candidates.start > before.size()) {
        return CC_REFRESH_BEEP;
    }
    const std::string typed = before.substr(candidates.start);
    const std::string common = CommonPrefix(candidates.texts);
    const bool unique = candidates.texts.size() == 1;
    if (common.size() > typed.size() && common.compare(0, typed.size(), typed) == 0) {
        const std::string insert = common.substr(typed.size()) + (unique ? " " : "");
        el_insertstr(editLine, insert.c_str());
        return CC_REFRESH;
    }
    if (unique) {
        el_insertstr(editLine, " ");
        return CC_REFRESH;
    }
    editor.EraseEditLine();
    const std::string listed = Columns(candidates.texts, TerminalColumns(editor.terminal_));
    std::fwrite(listed.data(), 1, listed.size(), editor.terminal_);
    std::fflush(editor.terminal_);
    el_set(editLine, EL_REFRESH);
    return CC_NORM;
}

void LineEditor::EraseEditLine()
{
    if (!editing_) {
        return;
    }
    const LineInfo* line = el_line(editLine_);
    const std::size_t cursorColumn =
        DisplayWidth(prompt_) +
        DisplayWidth(std::string_view(line->buffer, static_cast<std::size_t>(line->cursor - line->buffer)));
    const int columns = TerminalColumns(terminal_);
    const std::size_t row = columns == NoColumns ? 0 : cursorColumn / static_cast<std::size_t>(columns);
    const std::string erase = row == 0 ? "\r\033[J" : fmt::format("\r\033[{}A\033[J", row);
    std::fwrite(erase.data(), 1, erase.size(), terminal_);
    std::fflush(terminal_);
}

void LineEditor::Write(std::string_view text, Stream stream)
{
    std::FILE* file = stream == Stream::Out ? stdout : stderr;
    std::fwrite(text.data(), 1, text.size(), file);
    std::fflush(file);
}

void LineEditor::Print(std::string_view line, Stream stream) noexcept
{
    try {
        std::string text(line);
        text += '\n';
        std::lock_guard<std::mutex> lock(mutex_);
        if (!editing_) {
            Write(text, stream);
            return;
        }
        EraseEditLine();
        Write(text, stream);
        el_set(editLine_, EL_REFRESH);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "plexar-sim: a line could not be printed: %s\n", error.what());
    }
}

void LineEditor::Stop() noexcept
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
    }
    const char wake = 1;
    (void)!write(wakeWrite_, &wake, 1);
}

}  // namespace plexarsim
