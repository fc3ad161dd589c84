#pragma once
// What the fuzz targets share: a check that stops the run when a property of the code under test
// does not hold (libFuzzer then reports a crash and saves the input), and a scratch folder for
// the files a target reads.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace quorvex::fuzz {

inline void Require(bool holds, const char* property)
{
    if (!holds) {
        std::fprintf(stderr, "fuzz property violated: %s\n", property);
        std::abort();
    }
}

// A folder of its own for this process below the system's temporary folder (scripts/fuzz.sh
// points TMPDIR at a fresh one), created on first use and removed when the run ends normally.
inline const std::filesystem::path& ScratchFolder()
{
    static const std::filesystem::path folder = [] {
        auto path = std::filesystem::temp_directory_path() / ("qvx-fuzz-" + std::to_string(::getpid()));
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(ScratchFolder(), ignored);
        });
        return path;
    }();
    return folder;
}

}  // namespace quorvex::fuzz
