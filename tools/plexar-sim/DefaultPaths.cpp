#include "tools/plexar-sim/DefaultPaths.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <cstdlib>
#include <ctime>
#include <stdexcept>

#include <fmt/format.h>

namespace plexarsim {

namespace {

#ifndef _WIN32
const char* NonEmptyEnvironment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}
#endif

std::filesystem::path StateDirectory()
{
#ifdef _WIN32
    if (const wchar_t* local = _wgetenv(L"LOCALAPPDATA"); local != nullptr && *local != L'\0') {
        return local;
    }
    throw std::runtime_error("LOCALAPPDATA is not set; pass --host-dir");
#else
    if (const char* state = NonEmptyEnvironment("XDG_STATE_HOME")) {
        return state;
    }
    if (const char* home = NonEmptyEnvironment("HOME")) {
        return std::filesystem::path(home) / ".local" / "state";
    }
    throw std::runtime_error("neither XDG_STATE_HOME nor HOME is set; pass --host-dir");
#endif
}

std::string LocalTimestamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

}  // namespace

std::filesystem::path ExecutableDir()
{
#ifdef _WIN32
    std::wstring executable(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, executable.data(), static_cast<DWORD>(executable.size()));
        if (length < executable.size()) {
            executable.resize(length);
            break;
        }
        executable.resize(executable.size() * 2);
    }
    return std::filesystem::path(executable).parent_path();
#else
    return std::filesystem::read_symlink("/proc/self/exe").parent_path();
#endif
}

std::filesystem::path DefaultPluginPath()
{
#ifdef _WIN32
    return ExecutableDir() / "Quorvex.dll";
#else
    return (ExecutableDir().parent_path() / "lib" / "libQuorvex.so").lexically_normal();
#endif
}

std::filesystem::path DefaultDevServicePath()
{
    return ExecutableDir() / "qvx-devservice";
}

std::filesystem::path DefaultHostDir()
{
#ifdef _WIN32
    const unsigned long pid = GetCurrentProcessId();
#else
    const long pid = getpid();
#endif
    return StateDirectory() / "plexar-sim" / fmt::format("{}-{}", LocalTimestamp(), pid);
}

}  // namespace plexarsim
