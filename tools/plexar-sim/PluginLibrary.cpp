#include "tools/plexar-sim/PluginLibrary.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <fmt/format.h>

namespace plexarsim {

namespace {

#ifdef _WIN32
// The host opens the file it was given, by its wide path (LoadLibraryW): a folder name with
// characters outside the system's code page stays intact.
void* OpenLibrary(const std::filesystem::path& path)
{
    return reinterpret_cast<void*>(LoadLibraryW(std::filesystem::absolute(path).wstring().c_str()));
}

void* FindSymbol(void* handle, const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

void CloseLibrary(void* handle)
{
    FreeLibrary(static_cast<HMODULE>(handle));
}

std::string LastOpenError(const std::filesystem::path& path)
{
    const DWORD error = GetLastError();
    char text[512] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                  text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == ' ')) {
        --length;
    }
    return fmt::format("{}: {} (error {})", path.string(), length > 0 ? std::string(text, length) : "unknown error",
                       error);
}
#else
// dlopen searches the library path for a bare file name; the host opens the file it was given.
void* OpenLibrary(const std::filesystem::path& path)
{
    const std::string file = path.has_parent_path() ? path.string() : (std::filesystem::path(".") / path).string();
    return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* FindSymbol(void* handle, const char* name)
{
    return dlsym(handle, name);
}

void CloseLibrary(void* handle)
{
    dlclose(handle);
}

std::string LastOpenError(const std::filesystem::path&)
{
    const char* error = dlerror();
    return error != nullptr ? error : "unknown error";
}
#endif

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
    const auto* exports = static_cast<const PluginExports*>(FindSymbol(handle, "exports"));
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
    : path_(path), handle_(OpenLibrary(path)), exports_(nullptr)
{
    if (handle_ == nullptr) {
        throw PluginLoadError(fmt::format("cannot open the plug-in library: {}", LastOpenError(path)));
    }
    try {
        exports_ = CheckedExports(handle_, path);
    } catch (...) {
        CloseLibrary(handle_);
        throw;
    }
}

PluginLibrary::~PluginLibrary()
{
    CloseLibrary(handle_);
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
