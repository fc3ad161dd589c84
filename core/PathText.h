#pragma once
// A path as UTF-8 text. The host hands the plug-in paths, and on Windows they are UTF-16 and may
// hold any character (C:\Users\Zoë\...); a conversion to the ANSI code page would mangle or throw
// on them, so every path that goes into a text or to the host goes through here.
//
// Threads: plain functions; any thread.
#include <filesystem>
#include <optional>
#include <string>

namespace quorvex {

// For a console line: the path in UTF-8, with U+FFFD for what has no UTF-8 form (a lone UTF-16
// surrogate in a Windows name). Never throws on the path's content.
std::string PathText(const std::filesystem::path& path);

// For the host, which takes paths as UTF-8: the path exactly, or nothing when it has a character
// without UTF-8 form (then the caller says so and does not hand over a different path).
std::optional<std::string> PathUtf8(const std::filesystem::path& path);

}  // namespace quorvex
