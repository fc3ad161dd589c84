#include "inventory/InventorySnapshot.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <utility>

#include "core/AtomicFile.h"
#include "core/Log.h"

namespace quorvex {
namespace {

bool ByInstanceId(const ProductData& left, const ProductData& right)
{
    return left.InstanceID < right.InstanceID;
}

std::string ReadWholeFile(const std::filesystem::path& file)
{
    std::ifstream stream(file, std::ios::binary | std::ios::ate);
    if (!stream) {
        throw std::runtime_error("cannot open " + file.string());
    }
    const std::streamoff size = stream.tellg();
    std::string content(static_cast<std::size_t>(std::max<std::streamoff>(size, 0)), '\0');
    if (!stream.seekg(0) || !stream.read(content.data(), static_cast<std::streamsize>(content.size()))) {
        throw std::runtime_error("cannot read " + file.string());
    }
    return content;
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

InventoryDiff InventorySnapshot::ComputeDiff(const std::vector<ProductData>& current) const
{
    std::vector<ProductData> stored;
    std::string guid;
    {
        // The parsed document goes before the comparison starts.
        const auto document = nlohmann::json::parse(ReadWholeFile(file_));
        if (!document.is_object()) {
            throw std::runtime_error(std::string("the snapshot is a JSON ") + document.type_name() + ", not an object");
        }
        const auto items = document.find("items");
        if (items == document.end() || !items->is_array()) {
            throw std::runtime_error("the snapshot has no \"items\" array");
        }
        items->get_to(stored);
        const auto storedGuid = document.find("guid");
        if (storedGuid == document.end() || !storedGuid->is_string()) {
            throw std::runtime_error("the snapshot has no string \"guid\"");
        }
        guid = storedGuid->get<std::string>();
    }

    InventoryDiff diff = DiffByInstanceId(current, std::move(stored));
    diff.previousGuid = std::move(guid);
    Log("Inventory diff: Old GUID: {}, # added: {}, # removed: {}", diff.previousGuid, diff.added.size(),
        diff.removed.size());
    return diff;
}

std::string InventorySnapshot::Write(const std::string& guid, const std::vector<ProductData>& items) const
{
    // The items go straight into the document's text, which never exists as a JSON tree.
    std::string content = DumpProducts(items, 4, 1, "the inventory snapshot");
    content.insert(0, "{\n    \"guid\": " + DumpJson(guid, -1, "the inventory snapshot") + ",\n    \"items\": ");
    content += "\n}";
    return WriteFileAtomically(file_, content);
}

}  // namespace quorvex
