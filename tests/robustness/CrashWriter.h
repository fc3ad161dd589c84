#pragma once
// The two versions of each file that the crash-consistency test has a writer process rewrite in a
// loop, shared by that writer (qvx_crash_writer) and the test, which compares what the killed
// writer left with them. The versions differ in size by a factor of ten, so a write takes long
// enough to be interrupted half way.
#include <string>
#include <vector>

#include "core/PersistentStorage.h"
#include "host/CVarManagerWrapper.h"
#include "inventory/ProductData.h"

namespace quorvex::testing::crash {

// The settings file's name below <host folder>/cfg, without ".cfg".
inline constexpr const char* StorageName = "QVX_InventorySync";
inline constexpr const char* PayloadCvar = "qvx_crash_payload";

// Version 0 or 1 of the snapshot: its guid and its items (1,000 and 10,000).
std::string SnapshotGuid(int version);
std::vector<ProductData> SnapshotItems(int version);

// Registers the cvars the settings file holds: the payload between two fixed ones.
void RegisterSettings(PersistentStorage& storage);
// Sets the payload to the version's value (64 and 200,000 characters); with the store loaded,
// that rewrites the file.
void SetSettingsVersion(CVarManagerWrapper& cvarManager, int version);
// The version whose value the payload holds, or -1 for any other value.
int SettingsVersion(CVarManagerWrapper& cvarManager);

}  // namespace quorvex::testing::crash
