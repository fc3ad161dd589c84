#pragma once
// Replaces a file whole: the content goes to a temporary file beside it, is flushed to disk, and
// is renamed over the old file. A crash at any point leaves either the old or the new file.
#include <filesystem>
#include <string>
#include <string_view>

namespace quorvex {

// Creates missing parent folders. Returns an empty text on success, otherwise why it failed
// (the old file, if any, is then untouched).
std::string WriteFileAtomically(const std::filesystem::path& path, std::string_view content);

}  // namespace quorvex
