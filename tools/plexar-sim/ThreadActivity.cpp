#include "tools/plexar-sim/ThreadActivity.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <thread>

#include <fmt/format.h>

namespace sim {
namespace {

std::uint64_t NumberAfter(std::string_view line, std::string_view key)
{
    std::uint64_t value = 0;
    std::string_view rest = line.substr(key.size());
    rest.remove_prefix(std::min(rest.find_first_not_of(" \t"), rest.size()));
    std::from_chars(rest.data(), rest.data() + rest.size(), value);
    return value;
}

// False when the thread ended before its file could be read.
bool ReadSample(const std::filesystem::path& taskFolder, ThreadSample& sample)
{
    std::ifstream status(taskFolder / "status");
    if (!status) {
        return false;
    }
    sample.state = '?';
    sample.contextSwitches = 0;
    for (std::string line; std::getline(status, line);) {
        const std::string_view text = line;
        if (text.rfind("Name:", 0) == 0) {
            sample.name = std::string(text.substr(std::min(text.find_first_not_of(" \t", 5), text.size())));
        } else if (text.rfind("State:", 0) == 0) {
            const auto at = text.find_first_not_of(" \t", 6);
            sample.state = at == std::string_view::npos ? '?' : text[at];
        } else if (text.rfind("voluntary_ctxt_switches:", 0) == 0) {
            sample.contextSwitches += NumberAfter(text, "voluntary_ctxt_switches:");
        } else if (text.rfind("nonvoluntary_ctxt_switches:", 0) == 0) {
            sample.contextSwitches += NumberAfter(text, "nonvoluntary_ctxt_switches:");
        }
    }
    return sample.state != '?';
}

bool Blocked(const ThreadSample& sample)
{
    return sample.state != 'R' && sample.state != 'D';
}

std::string Describe(const ThreadSample& sample, std::string_view doing)
{
    return fmt::format("thread {} ({}) {}", sample.id, sample.name, doing);
}

}  // namespace

std::vector<ThreadSample> SampleOtherThreads()
{
    const long self = static_cast<long>(::syscall(SYS_gettid));
    std::error_code error;
    std::filesystem::directory_iterator tasks("/proc/self/task", error);
    if (error) {
        throw std::runtime_error("cannot read /proc/self/task: " + error.message());
    }
    std::vector<ThreadSample> samples;
    for (const auto& task : tasks) {
        ThreadSample sample{};
        const std::string name = task.path().filename().string();
        if (std::from_chars(name.data(), name.data() + name.size(), sample.id).ec != std::errc() ||
            sample.id == self) {
            continue;
        }
        if (ReadSample(task.path(), sample)) {
            samples.push_back(std::move(sample));
        }
    }
    std::sort(samples.begin(), samples.end(),
              [](const ThreadSample& a, const ThreadSample& b) { return a.id < b.id; });
    return samples;
}

std::string FindBusyThread(const std::vector<ThreadSample>& first, const std::vector<ThreadSample>& second)
{
    for (const ThreadSample& now : second) {
        if (!Blocked(now)) {
            return Describe(now, "is running");
        }
        const auto before = std::lower_bound(first.begin(), first.end(), now.id,
                                             [](const ThreadSample& sample, long id) { return sample.id < id; });
        if (before == first.end() || before->id != now.id) {
            return Describe(now, "has just started");
        }
        if (!Blocked(*before) || before->contextSwitches != now.contextSwitches) {
            return Describe(now, "ran meanwhile");
        }
    }
    if (first.size() != second.size()) {
        return "a thread has just ended";
    }
    return {};
}

std::string BusyOtherThread()
{
    // How far apart the two looks at the other threads are.
    constexpr std::chrono::microseconds SampleGap{500};
    const auto first = SampleOtherThreads();
    std::this_thread::sleep_for(SampleGap);
    return FindBusyThread(first, SampleOtherThreads());
}

}  // namespace sim
