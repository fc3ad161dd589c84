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
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "inventory/InventoryDiff.h"
#include "inventory/ProductData.h"
#include "inventory/StoredInventoryReader.h"

namespace quorvex {

// The compact body of a diff sync, {"addedItems": [...], "previousGuid": "...", "removedItems":
// [...]}, written straight from the records (JsonTextWriter); byte for byte the JSON library's
// dump of the same object. Invalid UTF-8 is replaced and logged once, naming `what`.
std::string DumpDiffBody(const InventoryDiff& diff, std::string_view what);

class InventorySnapshot {
public:
    // A larger file, or anything but a regular file at the path, is not read.
    static constexpr std::uintmax_t MaxFileBytes = 512ull * 1024 * 1024;

    explicit InventorySnapshot(const std::filesystem::path& dataFolder);

    const std::filesystem::path& File() const { return file_; }

    // False when the file or a folder above it does not exist; throws std::filesystem::error
    // when the file system cannot tell.
    bool Exists() const;

    // Reads the file as it streams in (StoredInventoryReader), never holding it whole. Throws,
    // with the reason as the error's text, when it is not a regular file of at most MaxFileBytes
    // (checked before opening; a FIFO or device is never opened blocking), cannot be read, or does
    // not have the form above.
    StoredInventory Read() const;

    // Reads the file and compares `current` with its items as they stream in (InventoryDiffBuilder),
    // then logs the counts. A file as Write leaves it is followed by its layout, the unchanged
    // items recognised by their text (DiffSnapshotAsWritten); any other is read as a document.
    // Throws as Read.
    InventoryDiff ComputeDiff(const std::vector<ProductData>& current) const;

    // Replaces the file with `guid` and `items`, written straight from the records into a text of
    // exactly the file's size. Returns an empty text on success, otherwise why
    // it failed; the old file is then untouched.
    std::string Write(const std::string& guid, const std::vector<ProductData>& items) const;

private:
    std::filesystem::path file_;
};

}  // namespace quorvex
