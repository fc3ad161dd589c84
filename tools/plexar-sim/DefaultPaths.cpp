#include "tools/plexar-sim/DefaultPaths.h"

#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <stdexcept>

#include <fmt/format.h>

namespace plexarsim {

namespace {

const char* NonEmptyEnvironment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

std::filesystem::path StateDirectory()
{
    if (const char* state = NonEmptyEnvironment("XDG_STATE_HOME")) {
        return state;
    }
    if (const char* home = NonEmptyEnvironment("HOME")) {
        return std::filesystem::path(home) / ".local" / "state";
    }
    throw std::runtime_error("neither XDG_STATE_HOME nor HOME is set; pass --host-dir");
}

std::string LocalTimestamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

}  // namespace

std::filesystem::path ExecutableDir()
{
    return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

std::filesystem::path DefaultPluginPath()
{
    return (ExecutableDir().parent_path() / "lib" / "libQuorvex.so").lexically_normal();
}

std::filesystem::path DefaultDevServicePath()
{
    return ExecutableDir() / "qvx-devservice";
}

std::filesystem::path DefaultHostDir()
{
    return StateDirectory() / "plexar-sim" / fmt::format("{}-{}", LocalTimestamp(), getpid());
}

}  // namespace plexarsim
