#include "inventory/InventorySnapshot.h"

#include <algorithm>
#include <istream>
#include <iterator>
#include <utility>

#include "core/AtomicFile.h"
#include "core/Log.h"
#include "inventory/JsonTextWriter.h"
#include "inventory/RegularFileBuffer.h"
#include "inventory/Texts.h"

namespace quorvex {
namespace {

bool ByInstanceId(const ProductData& left, const ProductData& right)
{
    return left.InstanceID < right.InstanceID;
}

}  // namespace

InventoryDiff DiffByInstanceId(const std::vector<ProductData>& current, std::vector<ProductData> stored)
{
    // The live list keeps its order (it becomes the next snapshot), so sort pointers to it.
    std::vector<const ProductData*> live;
    live.reserve(current.size());
    for (const auto& item : current) {
        live.push_back(&item);
    }
    std::sort(live.begin(), live.end(), [](const ProductData* left, const ProductData* right) {
        return ByInstanceId(*left, *right);
    });
    std::sort(stored.begin(), stored.end(), ByInstanceId);

    // One merge walk yields both multiset differences: equal ids pair off one to one.
    InventoryDiff diff;
    auto liveAt = live.begin();
    auto storedAt = stored.begin();
    while (liveAt != live.end() && storedAt != stored.end()) {
        if ((*liveAt)->InstanceID < storedAt->InstanceID) {
            diff.added.push_back(**liveAt++);
        } else if (storedAt->InstanceID < (*liveAt)->InstanceID) {
            diff.removed.push_back(std::move(*storedAt++));
        } else {
            ++liveAt;
            ++storedAt;
        }
    }
    for (; liveAt != live.end(); ++liveAt) {
        diff.added.push_back(**liveAt);
    }
    std::move(storedAt, stored.end(), std::back_inserter(diff.removed));
    return diff;
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
    std::istream stream(&file);
    return ReadStoredInventory(stream);
}

InventoryDiff InventorySnapshot::ComputeDiff(const std::vector<ProductData>& current) const
{
    StoredInventory stored = Read();
    InventoryDiff diff = DiffByInstanceId(current, std::move(stored.items));
    diff.previousGuid = std::move(stored.guid);
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
