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

#include "inventory/ProductData.h"
#include "inventory/StoredInventoryReader.h"

namespace quorvex {

struct InventoryDiff {
    std::string previousGuid;
    // Both ascending by InstanceID.
    std::vector<ProductData> added;
    std::vector<ProductData> removed;
};

// Items are the same when their InstanceIDs are equal, whatever their other fields; each side is
// a multiset, so an id held three times live and twice stored gives one added item (which of
// the three is not defined).
//
// Compares the live list with stored items handed over one at a time, as the snapshot reader
// reads them, so the stored list is never held: each stored item is paired off with a live one
// of its id, and only the stored items left without one are copied. The snapshot lists the items
// in the order of the live list it was written from, so the live item after the one last paired
// is tried first; any other is found through a hash table of the live ids. Uses the live list in
// place; it must outlive the builder. A builder is a local value of the thread that diffs.
class InventoryDiffBuilder final : public StoredItemSink {
public:
    explicit InventoryDiffBuilder(const std::vector<ProductData>& current);

    void Restart() override;
    void Add(const ReadProduct& stored) override;

    // The diff of the live list against every stored item added; previousGuid is left empty.
    InventoryDiff Finish();

private:
    // One live item: open addressing with linear probing, at most half the slots in use.
    struct Slot {
        std::uint64_t instanceId;
        // Index into the live list plus one; 0 for an empty slot.
        std::size_t item;
    };

    std::size_t Home(std::uint64_t instanceId) const;
    // Pairs the live item at `index` off if it has `instanceId` and is still free.
    bool Pair(std::size_t index, std::uint64_t instanceId);

    const std::vector<ProductData>& current_;
    std::vector<Slot> slots_;
    std::size_t mask_;
    // By index into the live list.
    std::vector<bool> paired_;
    // The live item tried first for the next stored one.
    std::size_t next_ = 0;
    std::vector<ProductData> removed_;
};

// The diff of two lists, as InventoryDiffBuilder makes it. Leaves previousGuid empty.
InventoryDiff DiffByInstanceId(const std::vector<ProductData>& current, const std::vector<ProductData>& stored);

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
    // then logs the counts. Throws as Read.
    InventoryDiff ComputeDiff(const std::vector<ProductData>& current) const;

    // Replaces the file with `guid` and `items`, written straight from the records into a text of
    // exactly the file's size. Returns an empty text on success, otherwise why
    // it failed; the old file is then untouched.
    std::string Write(const std::string& guid, const std::vector<ProductData>& items) const;

private:
    std::filesystem::path file_;
};

}  // namespace quorvex
