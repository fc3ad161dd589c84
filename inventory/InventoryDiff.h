#pragma once
// The diff of the live inventory against the stored one: the items added and removed since the
// last accepted upload, made while the stored items stream in from the snapshot.
//
// Threads: a builder is a local value of the thread that diffs; nothing is shared.
#include <cstddef>
#include <cstdint>
#include <string>
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
// place; it must outlive the builder.
class InventoryDiffBuilder final : public StoredItemSink {
public:
    explicit InventoryDiffBuilder(const std::vector<ProductData>& current);

    void Restart() override;
    void Add(const ReadProduct& stored) override;

    // The live item the next stored one most likely is (the one after the item last paired), or
    // null when that one is paired already or the list has ended.
    const ProductData* Expected() const;
    // Pairs Expected() off, for a stored item known to carry its id without being read.
    void PairExpected();

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

}  // namespace quorvex
