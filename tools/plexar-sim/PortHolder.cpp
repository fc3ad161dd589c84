#include "tools/plexar-sim/PortHolder.h"

#include <set>

#include <fmt/format.h>

#if defined(__linux__)
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#endif

namespace plexarsim {

#if defined(__linux__)

namespace {

// The socket inodes listening on the port, from one /proc/net/tcp-style table.
void ListeningInodes(const char* table, std::uint16_t port, std::set<std::string>& inodes)
{
    constexpr char Listen[] = "0A";
    std::ifstream file(table);
    std::string line;
    std::getline(file, line);  // the heading
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
        fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
        const auto colon = local.rfind(':');
        if (!fields || colon == std::string::npos || state != Listen) {
            continue;
        }
        if (std::stoul(local.substr(colon + 1), nullptr, 16) == port) {
            inodes.insert("socket:[" + inode + "]");
        }
    }
}

std::string ProcessName(const std::filesystem::path& process)
{
    std::ifstream comm(process / "comm");
    std::string name;
    std::getline(comm, name);
    return name.empty() ? "?" : name;
}

}  // namespace

std::string DescribePortHolder(std::uint16_t port)
{
    std::set<std::string> inodes;
    try {
        ListeningInodes("/proc/net/tcp", port, inodes);
        ListeningInodes("/proc/net/tcp6", port, inodes);
    } catch (const std::exception&) {
        return "cannot tell who holds it (/proc/net/tcp unreadable)";
    }
    if (inodes.empty()) {
        return "no process listens on it now";
    }
    std::error_code error;
    for (const auto& process : std::filesystem::directory_iterator("/proc", error)) {
        const std::string pid = process.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::error_code fdError;
        for (const auto& fd : std::filesystem::directory_iterator(process.path() / "fd", fdError)) {
            std::error_code linkError;
            const auto target = std::filesystem::read_symlink(fd.path(), linkError);
            if (!linkError && inodes.count(target.string()) > 0) {
                if (std::stol(pid) == getpid()) {
                    return "this process";
                }
                return fmt::format("process {} ({})", pid, ProcessName(process.path()));
            }
        }
    }
    return "a process this user cannot see";
}

#else

std::string DescribePortHolder(std::uint16_t)
{
    return "cannot tell who holds it on this platform";
}

#endif

}  // namespace plexarsim
