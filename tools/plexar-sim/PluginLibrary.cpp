#include "tools/plexar-sim/PluginLibrary.h"

#include <dlfcn.h>

#include <fmt/format.h>

namespace plexarsim {

namespace {

std::string LastDlError()
{
    const char* error = dlerror();
    return error != nullptr ? error : "unknown error";
}

// dlopen searches the library path for a bare file name; the host opens the file it was given.
std::string FilePathForDlopen(const std::filesystem::path& path)
{
    return path.has_parent_path() ? path.string() : (std::filesystem::path(".") / path).string();
}

std::string OrNone(const char* text)
{
    return text != nullptr ? text : "(none)";
}

std::string TypeName(std::uint64_t type)
{
    return (type & Plexar::Plugin::PluginTypeFreeplay) != 0 ? fmt::format("{} (freeplay)", type)
                                                           : fmt::format("{}", type);
}

// The library's exports record, when the host can drive the plug-in through it.
using Plexar::Plugin::PluginExports;

const PluginExports* CheckedExports(void* handle, const std::filesystem::path& path)
{
    const auto* exports = static_cast<const PluginExports*>(dlsym(handle, "exports"));
    if (exports == nullptr) {
        throw PluginLoadError(fmt::format(
            "{} is not a Plexar plug-in: it exports no \"exports\" record", path.string()));
    }
    if (exports->sdkBuildVersion != Plexar::Plugin::SdkBuildVersion) {
        throw PluginLoadError(
            fmt::format("{} was built against SDK build {}, this host is SDK build {}",
                        path.string(), exports->sdkBuildVersion, Plexar::Plugin::SdkBuildVersion));
    }
    if (exports->createPlugin == nullptr || exports->deletePlugin == nullptr) {
        throw PluginLoadError(fmt::format(
            "{}: the exports record lacks createPlugin or deletePlugin", path.string()));
    }
    return exports;
}

}  // namespace

PluginLibrary::PluginLibrary(const std::filesystem::path& path)
    : path_(path), handle_(dlopen(FilePathForDlopen(path).c_str(), RTLD_NOW | RTLD_LOCAL)),
      exports_(nullptr)
{
    if (handle_ == nullptr) {
        throw PluginLoadError(fmt::format("cannot open the plug-in library: {}", LastDlError()));
    }
    try {
        exports_ = CheckedExports(handle_, path);
    } catch (...) {
        dlclose(handle_);
        throw;
    }
}

PluginLibrary::~PluginLibrary()
{
    dlclose(handle_);
}

const Plexar::Plugin::PluginExports& PluginLibrary::Exports() const
{
    return *exports_;
}

std::string PluginLibrary::Describe() const
{
    return fmt::format(
        "plug-in library: {}\n"
        "  class name: {}\n"
        "  plug-in name: {}\n"
        "  version: {}\n"
        "  type: {}\n"
        "  source file: {}\n"
        "  SDK build: {}\n",
        path_.string(), OrNone(exports_->className), OrNone(exports_->pluginName),
        OrNone(exports_->pluginVersion), TypeName(exports_->pluginType),
        OrNone(exports_->sourceFile), exports_->sdkBuildVersion);
}

}  // namespace plexarsim
