#pragma once
// Installs a plug-in's data files into the host folder, as the host's installer does: the plug-in
// ships a data folder beside its library's folder (build/data/ for build/lib/libQuorvex.so), and
// its content is copied into <host>/data/, replacing files of the same name. Quorvex's toast
// logo arrives at <host>/data/qvxinventorysync/qvx_logo.tga this way.
//
// Threads: the main thread, before the plug-in is loaded.
#include <cstddef>
#include <filesystem>

namespace plexarsim {

// The data folder shipped with the plug-in library at `pluginLibrary`.
std::filesystem::path PluginDataDir(const std::filesystem::path& pluginLibrary);

// Copies every file below `dataDir` to the same place below `hostDataDir`, creating folders.
// Returns how many files were copied; 0 when `dataDir` does not exist. Throws
// std::filesystem::filesystem_error when a file cannot be copied.
std::size_t InstallPluginData(const std::filesystem::path& dataDir, const std::filesystem::path& hostDataDir);

}  // namespace plexarsim
