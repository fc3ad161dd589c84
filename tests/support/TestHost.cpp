#include "tests/support/TestHost.h"

#include <fstream>
#include <sstream>

#include <unistd.h>

#include "core/Clock.h"
#include "core/Log.h"

namespace quorvex::testing {
namespace {

std::filesystem::path NewHostDir()
{
    static int counter = 0;
    auto dir = std::filesystem::temp_directory_path() /
               ("quorvex-test-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace

TestHost::TestHost(const std::string& uniqueId) : TestHost(uniqueId, {}) {}

TestHost::TestHost(const std::string& uniqueId, const std::filesystem::path& folderName)
    : topDir_(NewHostDir()), hostDir_(folderName.empty() ? topDir_ : topDir_ / folderName)
{
    std::filesystem::create_directories(hostDir_);
    sim::HostOptions options;
    options.hostDir = hostDir_;
    options.uniqueId = uniqueId;
    options.virtualTime = true;
    host_ = std::make_unique<sim::Host>(options);
    plugin_.cvarManager = host_->CvarManager();
    plugin_.gameWrapper = host_->Game();
    globalCvarManager = host_->CvarManager();
    Clock::SetSource([host = host_.get()] { return host->Now(); });
    Clock::SetSteadySource([host = host_.get()] { return host->SteadyNow(); });
}

TestHost::~TestHost()
{
    Clock::SetSource(nullptr);
    Clock::SetSteadySource(nullptr);
    globalCvarManager.reset();
    plugin_.cvarManager.reset();
    plugin_.gameWrapper.reset();
    host_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(topDir_, ignored);
}

int TestHost::CountConsoleLines(const std::string& text) const
{
    int count = 0;
    for (const auto& line : host_->ConsoleLines()) {
        count += line.find(text) != std::string::npos ? 1 : 0;
    }
    return count;
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

std::string ReadTextFile(const std::filesystem::path& path)
{
    std::string text = ReadFile(path);
#ifdef _WIN32
    std::string lines;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (!(text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n')) {
            lines += text[at];
        }
    }
    text = std::move(lines);
#endif
    return text;
}

}  // namespace quorvex::testing
