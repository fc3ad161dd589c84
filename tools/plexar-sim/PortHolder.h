#pragma once
// Who holds a TCP port on this machine (in this network namespace), to say why the plug-in's
// server could not listen. Read from /proc/net/tcp and tcp6 and the processes' open files, so
// Linux only; elsewhere it says it cannot tell.
//
// Threads: any; reads only /proc.
#include <cstdint>
#include <string>

namespace plexarsim {

// "process 1234 (plexar-sim)", "this process", "a process this user cannot see",
// "no process listens on it now" or why it cannot tell.
std::string DescribePortHolder(std::uint16_t port);

}  // namespace plexarsim
