#pragma once
// Where plexar-sim looks and writes when no flag says otherwise.
//
// Threads: main thread (reads the environment).
#include <filesystem>

namespace plexarsim {

// libQuorvex.so in the lib folder beside the executable's folder: bin/plexar-sim ->
// lib/libQuorvex.so, as the build and an install lay them out; on Windows Quorvex.dll beside
// plexar-sim.exe.
std::filesystem::path DefaultPluginPath();

// The folder of the running executable (build/bin).
std::filesystem::path ExecutableDir();

// qvx-devservice beside the executable: the stand-in service of the same build.
std::filesystem::path DefaultDevServicePath();

// A folder of its own for this run: STATE/plexar-sim/YYYYmmdd-HHMMSS-PID, STATE being
// $XDG_STATE_HOME, else ~/.local/state (on Windows %LOCALAPPDATA%). Not created here. Throws std::runtime_error when neither
// variable is set.
std::filesystem::path DefaultHostDir();

}  // namespace plexarsim
