#include "tests/robustness/CrashWriter.h"

namespace quorvex::testing::crash {
namespace {

std::string PayloadValue(int version)
{
    return std::string(version == 0 ? 64 : 200000, version == 0 ? 'a' : 'b');
}

}  // namespace

std::string SnapshotGuid(int version)
{
    return version == 0 ? "guid-of-the-small-inventory" : "guid-of-the-large-inventory";
}

std::vector<ProductData> SnapshotItems(int version)
{
    const int count = version == 0 ? 1000 : 10000;
    std::vector<ProductData> items;
    items.reserve(static_cast<std::size_t>(count));
    for (int index = 0; index < count; ++index) {
        items.push_back({1000 + index % 700, 5, 0, 9000000000ull + static_cast<std::uint64_t>(index), 3, {}});
    }
    return items;
}

void RegisterSettings(PersistentStorage& storage)
{
    storage.RegisterPersistentCvar("qvx_crash_first", "1", "Written before the payload", true, 0, 0);
    storage.RegisterPersistentCvar(PayloadCvar, PayloadValue(0), "Alternates between two sizes", false, 0, 0);
    storage.RegisterPersistentCvar("qvx_crash_then", "0", "Written after the payload", true, 0, 0);
}

void SetSettingsVersion(CVarManagerWrapper& cvarManager, int version)
{
    cvarManager.getCvar(PayloadCvar).setValue(PayloadValue(version));
}

int SettingsVersion(CVarManagerWrapper& cvarManager)
{
    const std::string value = cvarManager.getCvar(PayloadCvar).getStringValue();
    for (const int version : {0, 1}) {
        if (value == PayloadValue(version)) {
            return version;
        }
    }
    return -1;
}

}  // namespace quorvex::testing::crash
