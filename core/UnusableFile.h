#pragma once
// The plug-in's own files (settings, trade outbox) are read only when they are what the plug-in
// wrote: a regular file of bounded size. Anything else at the path (a FIFO would block the reader
// for good, a device or a huge file would stall or exhaust it) is moved out of the way, so the
// next write starts afresh while the player, or support, still finds what was there.
//
// Threads: any thread.
#include <cstdint>
#include <filesystem>
#include <string>

namespace quorvex {

// Why the path is not a regular file of at most maxBytes (links followed), or empty when it is.
// A missing file is a problem too ("it does not exist").
std::string RegularFileProblem(const std::filesystem::path& file, std::uintmax_t maxBytes);

// Renames the file to "<name>.unreadable", replacing an earlier one. Returns the end of a
// console line: "it was moved to <path>" or "it is left as it is: <reason>".
std::string MoveAside(const std::filesystem::path& file);

}  // namespace quorvex
