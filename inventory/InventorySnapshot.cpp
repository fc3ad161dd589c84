#include "inventory/InventorySnapshot.h"

#include <algorithm>
#include <utility>

#include "core/AtomicFile.h"
#include "core/Log.h"
#include "inventory/JsonTextWriter.h"
#include "inventory/RegularFileBuffer.h"
#include "inventory/Texts.h"

namespace quorvex {

InventoryDiffBuilder::InventoryDiffBuilder(const std::vector<ProductData>& current)
    : current_(current), paired_(current.size(), false)
{
    std::size_t capacity = 16;
    while (capacity < 2 * current.size()) {
        capacity *= 2;
    }
    slots_.assign(capacity, Slot{0, 0});
    mask_ = capacity - 1;
    for (std::size_t index = 0; index < current.size(); ++index) {
        std::size_t at = Home(current[index].InstanceID);
        while (slots_[at].item != 0) {
            at = (at + 1) & mask_;
        }
        slots_[at] = Slot{current[index].InstanceID, index + 1};
    }
}

std::size_t InventoryDiffBuilder::Home(std::uint64_t instanceId) const
{
    // Fibonacci hashing: the high bits of the product spread ids that differ in any bits.
    return static_cast<std::size_t>((instanceId * 0x9e3779b97f4a7c15ull) >> 32) & mask_;
}

bool InventoryDiffBuilder::Pair(std::size_t index, std::uint64_t instanceId)
{
    if (current_[index].InstanceID != instanceId || paired_[index]) {
        return false;
    }
    paired_[index] = true;
    next_ = index + 1;
    return true;
}

void InventoryDiffBuilder::Restart()
{
    paired_.assign(paired_.size(), false);
    next_ = 0;
    removed_.clear();
}

void InventoryDiffBuilder::Add(const ReadProduct& stored)
{
    const std::uint64_t id = stored.fields.InstanceID;
    if (next_ < current_.size() && Pair(next_, id)) {
        return;
    }
    for (std::size_t at = Home(id); slots_[at].item != 0; at = (at + 1) & mask_) {
        if (slots_[at].instanceId == id && Pair(slots_[at].item - 1, id)) {
            return;
        }
    }
    removed_.push_back(stored.Record());
}

InventoryDiff InventoryDiffBuilder::Finish()
{
    const auto byInstanceId = [](const ProductData& left, const ProductData& right) {
        return left.InstanceID < right.InstanceID;
    };
    InventoryDiff diff;
    for (std::size_t index = 0; index < current_.size(); ++index) {
        if (!paired_[index]) {
            diff.added.push_back(current_[index]);
        }
    }
    std::sort(diff.added.begin(), diff.added.end(), byInstanceId);
    std::sort(removed_.begin(), removed_.end(), byInstanceId);
    diff.removed = std::move(removed_);
    removed_.clear();
    return diff;
}

InventoryDiff DiffByInstanceId(const std::vector<ProductData>& current, const std::vector<ProductData>& stored)
{
    InventoryDiffBuilder diff(current);
    for (const auto& item : stored) {
        diff.Add(ReadProduct{item, item.Attributes.data(), item.Attributes.size()});
    }
    return diff.Finish();
}

InventorySnapshot::InventorySnapshot(const std::filesystem::path& dataFolder)
    : file_(dataFolder / "qvx-inventorysync" / "smartInventory.json")
{
}

bool InventorySnapshot::Exists() const
{
    return std::filesystem::exists(file_);
}

StoredInventory InventorySnapshot::Read() const
{
    RegularFileBuffer file(file_, MaxFileBytes);
    return ReadStoredInventory(file);
}

InventoryDiff InventorySnapshot::ComputeDiff(const std::vector<ProductData>& current) const
{
    RegularFileBuffer file(file_, MaxFileBytes);
    InventoryDiffBuilder builder(current);
    std::string guid = ReadStoredInventory(file, builder);
    InventoryDiff diff = builder.Finish();
    diff.previousGuid = std::move(guid);
    Log(texts::inventory::DiffLine, diff.previousGuid, diff.added.size(),
        diff.removed.size());
    return diff;
}

std::string InventorySnapshot::Write(const std::string& guid, const std::vector<ProductData>& items) const
{
    const std::string content = JsonTextWriter::Text(4, 0, "the inventory snapshot", [&](JsonTextWriter& json) {
        json.BeginObject();
        json.Key("guid");
        json.String(guid);
        json.Key("items");
        json.Products(items);
        json.EndObject();
    });
    return WriteFileAtomically(file_, content);
}

std::string DumpDiffBody(const InventoryDiff& diff, std::string_view what)
{
    return JsonTextWriter::Text(-1, 0, what, [&diff](JsonTextWriter& json) {
        json.BeginObject();
        json.Key("addedItems");
        json.Products(diff.added);
        json.Key("previousGuid");
        json.String(diff.previousGuid);
        json.Key("removedItems");
        json.Products(diff.removed);
        json.EndObject();
    });
}

}  // namespace quorvex
