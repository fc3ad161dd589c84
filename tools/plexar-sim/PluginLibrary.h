#pragma once
// A plug-in library opened the way the host opens one: dlopen (LoadLibraryW on Windows), then the exported "exports" record,
// whose SDK build version must be the host's. Closes the library when destroyed, so it must
// outlive everything that may still run the plug-in's code (the Host and its callbacks).
//
// Threads: main thread only.
#include <filesystem>
#include <stdexcept>
#include <string>

#include "host/PluginBase.h"

namespace plexarsim {

// The host refuses the library; what() says why.
class PluginLoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class PluginLibrary {
public:
    // Throws PluginLoadError when the library cannot be opened, has no exports record, was built
    // against another SDK or lacks the functions that create and delete the plug-in.
    explicit PluginLibrary(const std::filesystem::path& path);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    const Plexar::Plugin::PluginExports& Exports() const;
    // The record, one "field: value" line each.
    std::string Describe() const;

private:
    std::filesystem::path path_;
    void* handle_;
    const Plexar::Plugin::PluginExports* exports_;
};

}  // namespace plexarsim
