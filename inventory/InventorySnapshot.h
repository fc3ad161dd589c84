#pragma once
// The stored state of the last inventory upload the service accepted: the guid it answered with
// and the complete item list of that upload, in <data folder>/qvx-inventorysync/smartInventory.json.
// A diff sync sends what changed against it; every accepted upload replaces it whole.
//
//   {
//       "guid": "...",
//       "items": [ product objects ]
//   }
//
// Threads: the object only holds the file's path, fixed at construction; every operation may run
// on any thread. The inventory sync reads and writes the file from one worker at a time, and
// the file is replaced atomically, so a reader never sees half a file.
#include <filesystem>
#include <string>
#include <vector>

#include "inventory/ProductData.h"

namespace quorvex {

struct InventoryDiff {
    std::string previousGuid;
    // Both ascending by InstanceID.
    std::vector<ProductData> added;
    std::vector<ProductData> removed;
};

// Items are the same when their InstanceIDs are equal, whatever their other fields; each side is
// a multiset, so an id held three times live and twice stored gives one added item. Leaves
// previousGuid empty.
InventoryDiff DiffByInstanceId(const std::vector<ProductData>& current, std::vector<ProductData> stored);

class InventorySnapshot {
public:
    explicit InventorySnapshot(const std::filesystem::path& dataFolder);

    const std::filesystem::path& File() const { return file_; }

    // False when the file or a folder above it does not exist; throws std::filesystem::error
    // when the file system cannot tell.
    bool Exists() const;

    // Reads the file and compares `current` with its items, then logs the counts. Throws, with
    // the reason as the error's text, when the file cannot be read or does not have the form
    // above.
    InventoryDiff ComputeDiff(const std::vector<ProductData>& current) const;

    // Replaces the file with `guid` and `items`. Returns an empty text on success, otherwise why
    // it failed; the old file is then untouched.
    std::string Write(const std::string& guid, const std::vector<ProductData>& items) const;

private:
    std::filesystem::path file_;
};

}  // namespace quorvex
