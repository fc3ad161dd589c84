#include "bench/DomBaseline.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "core/AtomicFile.h"

namespace quorvex::baseline {
namespace {

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

StoredInventory ReadSnapshotDocument(const std::filesystem::path& file)
{
    StoredInventory stored;
    const auto document = nlohmann::json::parse(ReadWholeFile(file));
    if (!document.is_object()) {
        throw std::runtime_error(std::string("the snapshot is a JSON ") + document.type_name() + ", not an object");
    }
    const auto items = document.find("items");
    if (items == document.end() || !items->is_array()) {
        throw std::runtime_error("the snapshot has no \"items\" array");
    }
    items->get_to(stored.items);
    const auto guid = document.find("guid");
    if (guid == document.end() || !guid->is_string()) {
        throw std::runtime_error("the snapshot has no string \"guid\"");
    }
    stored.guid = guid->get<std::string>();
    return stored;
}

std::string DumpProductsPerItem(const std::vector<ProductData>& items, int indent, int depth)
{
    if (items.empty()) {
        return "[]";
    }
    const bool indented = indent >= 0;
    const std::string elementIndent = indented ? std::string(static_cast<std::size_t>((depth + 1) * indent), ' ') : "";
    std::string text = indented ? "[\n" : "[";
    for (std::size_t index = 0; index < items.size(); ++index) {
        if (index > 0) {
            text += indented ? ",\n" : ",";
        }
        const std::string element = nlohmann::json(items[index]).dump(indent);
        if (index == 0) {
            const auto lines = static_cast<std::size_t>(std::count(element.begin(), element.end(), '\n')) + 1;
            text.reserve(items.size() * (element.size() + lines * elementIndent.size() + 2) * 9 / 8 + 256);
        }
        if (!indented) {
            text += element;
            continue;
        }
        std::size_t lineStart = 0;
        for (std::size_t lineEnd = element.find('\n'); lineEnd != std::string::npos;
             lineStart = lineEnd + 1, lineEnd = element.find('\n', lineStart)) {
            text += elementIndent;
            text.append(element, lineStart, lineEnd + 1 - lineStart);
        }
        text += elementIndent;
        text.append(element, lineStart, std::string::npos);
    }
    if (indented) {
        text += '\n';
        text.append(static_cast<std::size_t>(depth * indent), ' ');
    }
    text += ']';
    return text;
}

std::string WriteSnapshotDocument(const std::filesystem::path& file, const std::string& guid,
                                  const std::vector<ProductData>& items)
{
    std::string content = DumpProductsPerItem(items, 4, 1);
    content.insert(0, "{\n    \"guid\": " + nlohmann::json(guid).dump() + ",\n    \"items\": ");
    content += "\n}";
    return WriteFileAtomically(file, content).failure;
}

InventoryDiff DiffSortedLists(const std::vector<ProductData>& current, std::vector<ProductData> stored)
{
    const auto byInstanceId = [](const ProductData& left, const ProductData& right) {
        return left.InstanceID < right.InstanceID;
    };
    std::vector<const ProductData*> live;
    live.reserve(current.size());
    for (const auto& item : current) {
        live.push_back(&item);
    }
    std::sort(live.begin(), live.end(),
              [&](const ProductData* left, const ProductData* right) { return byInstanceId(*left, *right); });
    std::sort(stored.begin(), stored.end(), byInstanceId);

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

std::string DumpDiffBodyDocument(const InventoryDiff& diff)
{
    return nlohmann::json{{"addedItems", diff.added}, {"previousGuid", diff.previousGuid}, {"removedItems", diff.removed}}
        .dump();
}

}  // namespace quorvex::baseline
