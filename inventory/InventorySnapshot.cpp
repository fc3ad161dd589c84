#include "inventory/InventorySnapshot.h"

#include <algorithm>
#include <utility>

#include "core/AtomicFile.h"
#include "core/Log.h"
#include "inventory/JsonTextWriter.h"
#include "inventory/RegularFileBuffer.h"

namespace quorvex {

InventoryDiffBuilder::InventoryDiffBuilder(const std::vector<ProductData>& current)
{
    // The live list keeps its order (it becomes the next snapshot), so the ids are sorted apart.
    live_.reserve(current.size());
    for (const auto& item : current) {
        live_.push_back({item.InstanceID, &item, false});
    }
    std::sort(live_.begin(), live_.end(),
              [](const LiveItem& left, const LiveItem& right) { return left.instanceId < right.instanceId; });
}

void InventoryDiffBuilder::Restart()
{
    for (auto& live : live_) {
        live.paired = false;
    }
    removed_.clear();
}

void InventoryDiffBuilder::Add(const ReadProduct& stored)
{
    const std::uint64_t id = stored.fields.InstanceID;
    auto live = std::lower_bound(live_.begin(), live_.end(), id,
                                 [](const LiveItem& item, std::uint64_t wanted) { return item.instanceId < wanted; });
    for (; live != live_.end() && live->instanceId == id; ++live) {
        if (!live->paired) {
            live->paired = true;
            return;
        }
    }
    removed_.push_back(stored.Record());
}

InventoryDiff InventoryDiffBuilder::Finish()
{
    InventoryDiff diff;
    for (const auto& live : live_) {
        if (!live.paired) {
            diff.added.push_back(*live.item);
        }
    }
    std::sort(removed_.begin(), removed_.end(),
              [](const ProductData& left, const ProductData& right) { return left.InstanceID < right.InstanceID; });
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
    Log("Inventory diff: Old GUID: {}, # added: {}, # removed: {}", diff.previousGuid, diff.added.size(),
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
