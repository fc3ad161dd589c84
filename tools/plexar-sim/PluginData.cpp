#include "tools/plexar-sim/PluginData.h"

namespace plexarsim {

namespace fs = std::filesystem;

fs::path PluginDataDir(const fs::path& pluginLibrary)
{
    return fs::absolute(pluginLibrary).parent_path().parent_path() / "data";
}

std::size_t InstallPluginData(const fs::path& dataDir, const fs::path& hostDataDir)
{
    if (!fs::is_directory(dataDir)) {
        return 0;
    }
    std::size_t copied = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(dataDir)) {
        if (!entry.is_regular_file()) {
            continue;
        }
        const fs::path target = hostDataDir / fs::relative(entry.path(), dataDir);
        fs::create_directories(target.parent_path());
        // Removed first: mingw's copy_file takes any two files of a drive for the same one (their
        // inode numbers are all 0 there) and refuses to overwrite.
        fs::remove(target);
        fs::copy_file(entry.path(), target);
        ++copied;
    }
    return copied;
}

}  // namespace plexarsim
