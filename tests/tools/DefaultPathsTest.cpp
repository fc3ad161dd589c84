#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "tools/plexar-sim/DefaultPaths.h"

namespace plexarsim {
namespace {

// Sets or clears an environment variable for one test and restores it afterwards.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnvironment()
    {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

void ExpectRunFolderUnder(const std::filesystem::path& folder, const std::filesystem::path& parent)
{
    EXPECT_EQ(folder.parent_path(), parent / "plexar-sim");
    const std::regex timestampAndPid("[0-9]{8}-[0-9]{6}-" + std::to_string(getpid()));
    EXPECT_TRUE(std::regex_match(folder.filename().string(), timestampAndPid)) << folder;
}

TEST(DefaultHostDir, LiesUnderTheStateDirectory)
{
    {
        ScopedEnvironment state("XDG_STATE_HOME", "/tmp/state-home");
        ScopedEnvironment home("HOME", "/home/player");
        ExpectRunFolderUnder(DefaultHostDir(), "/tmp/state-home");
    }
    {
        ScopedEnvironment state("XDG_STATE_HOME", "");
        ScopedEnvironment home("HOME", "/home/player");
        ExpectRunFolderUnder(DefaultHostDir(), "/home/player/.local/state");
    }
    {
        ScopedEnvironment state("XDG_STATE_HOME", nullptr);
        ScopedEnvironment home("HOME", nullptr);
        EXPECT_THROW(DefaultHostDir(), std::runtime_error);
    }
}

}  // namespace
}  // namespace plexarsim
