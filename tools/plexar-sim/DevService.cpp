#include "tools/plexar-sim/DevService.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <stdexcept>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#if defined(__unix__)
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif
#endif

namespace plexarsim {

namespace {

constexpr auto StartPatience = std::chrono::seconds(10);
constexpr auto StopPatience = std::chrono::seconds(5);
constexpr std::size_t LinesKept = 20;
constexpr std::size_t LineLengthKept = 500;
constexpr char ListeningPrefix[] = "qvx-devservice listening on ";

}  // namespace

#if defined(__unix__)

DevService::DevService(const std::filesystem::path& program, const std::vector<std::string>& arguments)
{
    std::vector<std::string> words{program.string(), "--port", "0"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        throw std::runtime_error(fmt::format("cannot start {}: no pipe: {}", program.string(), std::strerror(errno)));
    }
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child < 0) {
        const int error = errno;
        close(fds[0]);
        close(fds[1]);
        throw std::runtime_error(fmt::format("cannot start {}: {}", program.string(), std::strerror(error)));
    }
    if (child == 0) {
        // Only async-signal-safe calls until exec: the parent has other threads.
        dup2(fds[1], STDOUT_FILENO);
        dup2(fds[1], STDERR_FILENO);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
#if defined(__linux__)
        // The service ends with this process, also when it is killed.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) {
            _exit(127);
        }
#endif
        execv(argv[0], argv.data());
        const char message[] = "exec failed\n";
        (void)!write(STDOUT_FILENO, message, sizeof message - 1);
        _exit(127);
    }
    close(fds[1]);
    pid_ = child;
    reader_ = std::thread([this, fd = fds[0]] { ReadOutput(fd); });

    std::unique_lock<std::mutex> lock(mutex_);
    const bool started = changed_.wait_for(lock, StartPatience, [this] { return !url_.empty() || outputEnded_; });
    if (url_.empty()) {
        std::string lines;
        for (const std::string& line : lastLines_) {
            lines += "\n  " + line;
        }
        lock.unlock();
        Stop();
        throw std::runtime_error(fmt::format("{} did not start{}{}", program.string(),
                                             started ? "" : fmt::format(" within {} s", StartPatience.count()),
                                             lines.empty() ? std::string(" (no output)") : ":" + lines));
    }
}

DevService::~DevService()
{
    Stop();
}

void DevService::Stop()
{
    if (pid_ > 0) {
        const auto child = static_cast<pid_t>(pid_);
        kill(child, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + StopPatience;
        int status = 0;
        while (waitpid(child, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(child, SIGKILL);
                waitpid(child, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        pid_ = -1;
    }
    if (reader_.joinable()) {
        reader_.join();
    }
}

void DevService::ReadOutput(int fd)
{
    std::string pending;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        pending.append(buffer, static_cast<std::size_t>(got));
        std::size_t end = 0;
        while ((end = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, std::min(end, LineLengthKept));
            pending.erase(0, end + 1);
            std::lock_guard<std::mutex> lock(mutex_);
            if (url_.empty() && line.rfind(ListeningPrefix, 0) == 0) {
                url_ = line.substr(sizeof ListeningPrefix - 1);
            }
            lastLines_.push_back(std::move(line));
            if (lastLines_.size() > LinesKept) {
                lastLines_.pop_front();
            }
            changed_.notify_all();
        }
        if (pending.size() > LineLengthKept) {
            pending.resize(LineLengthKept);  // a line without end is kept only in part
        }
    }
    close(fd);
    std::lock_guard<std::mutex> lock(mutex_);
    outputEnded_ = true;
    changed_.notify_all();
}

#else

DevService::DevService(const std::filesystem::path& program, const std::vector<std::string>&)
{
    throw std::runtime_error(fmt::format("--devservice is not available on this platform: start {} yourself "
                                         "and give its address with --service-url",
                                         program.filename().string()));
}

DevService::~DevService() = default;

void DevService::Stop() {}

void DevService::ReadOutput(int) {}

#endif

std::vector<std::string> SummariseDevState(const nlohmann::json& state, std::vector<std::uint64_t> gameInstanceIds)
{
    std::vector<std::string> lines{"devservice: requests per endpoint (status x count):"};
    if (state.at("requests").empty()) {
        lines.emplace_back("  none");
    }
    for (const auto& [endpoint, statuses] : state.at("requests").items()) {
        std::vector<std::string> counts;
        for (const auto& [status, count] : statuses.items()) {
            counts.push_back(fmt::format("{} x{}", status, count.get<long long>()));
        }
        lines.push_back(fmt::format("  {}: {}", endpoint, fmt::join(counts, ", ")));
    }
    std::sort(gameInstanceIds.begin(), gameInstanceIds.end());
    for (const auto& [code, account] : state.at("accounts").items()) {
        if (account.at("userId").get<std::string>().empty()) {
            continue;  // never used by the plug-in
        }
        std::vector<std::uint64_t> held;
        for (const auto& item : account.at("items")) {
            held.push_back(item.at("InstanceID").get<std::uint64_t>());
        }
        std::sort(held.begin(), held.end());
        std::vector<std::uint64_t> missing;
        std::vector<std::uint64_t> extra;
        std::set_difference(gameInstanceIds.begin(), gameInstanceIds.end(), held.begin(), held.end(),
                            std::back_inserter(missing));
        std::set_difference(held.begin(), held.end(), gameInstanceIds.begin(), gameInstanceIds.end(),
                            std::back_inserter(extra));
        std::string verdict = "the same items";
        if (!missing.empty() || !extra.empty()) {
            const auto few = [](const std::vector<std::uint64_t>& ids) {
                constexpr std::size_t Shown = 5;
                const std::vector<std::uint64_t> first(ids.begin(), ids.begin() + std::min(ids.size(), Shown));
                return fmt::format("{}{}", fmt::join(first, ", "), ids.size() > Shown ? ", ..." : "");
            };
            verdict = fmt::format("they differ: {} of the game's missing ({}), {} not the game's ({})", missing.size(),
                                  few(missing), extra.size(), few(extra));
        }
        lines.push_back(fmt::format("devservice: account {} holds {} item(s), the game {}: {}", code, held.size(),
                                    gameInstanceIds.size(), verdict));
    }
    return lines;
}

}  // namespace plexarsim
