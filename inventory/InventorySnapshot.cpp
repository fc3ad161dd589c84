#include "inventory/InventorySnapshot.h"

#include <ios>
#include <optional>
#include <stdexcept>
#include <utility>

#include "core/AtomicFile.h"
#include "core/Log.h"
#include "inventory/JsonTextWriter.h"
#include "inventory/RegularFileBuffer.h"
#include "inventory/Texts.h"
#include "inventory/WrittenSnapshotDiff.h"

namespace quorvex {

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
    std::optional<std::string> guid = DiffSnapshotAsWritten(file, builder);
    if (!guid) {
        // Not as the plug-in writes it: read as a document, for its result or its refusal.
        builder.Restart();
        if (file.pubseekpos(0, std::ios_base::in) != std::streampos(0)) {
            throw std::runtime_error(file_.u8string() + " cannot be read again from its start");
        }
        guid = ReadStoredInventory(file, builder);
    }
    InventoryDiff diff = builder.Finish();
    diff.previousGuid = std::move(*guid);
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
    return WriteFileAtomically(file_, content).failure;
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
