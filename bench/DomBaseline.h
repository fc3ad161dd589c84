#pragma once
// The snapshot's read and write as they were before the streaming reader and writer: the whole
// file read into memory and parsed into a JSON tree, then converted; the text built from one JSON
// tree per product. Kept as the baseline the benchmark measures the plug-in against, and as the
// reference the differential test compares the streaming reader with. Not part of the plug-in.
//
// Threads: any; nothing is shared.
#include <filesystem>
#include <string>
#include <vector>

#include "inventory/InventorySnapshot.h"

namespace quorvex::baseline {

// The file parsed whole and converted with from_json; throws what the document path threw.
StoredInventory ReadSnapshotDocument(const std::filesystem::path& file);

// The products' array, one JSON tree per product, dumped and shifted to `depth`.
std::string DumpProductsPerItem(const std::vector<ProductData>& items, int indent, int depth);

// The snapshot's text built as above, then replaced atomically; returns why it failed, or "".
std::string WriteSnapshotDocument(const std::filesystem::path& file, const std::string& guid,
                                  const std::vector<ProductData>& items);

// The diff as it was made from the two whole lists: both sorted by instance id, then merged.
InventoryDiff DiffSortedLists(const std::vector<ProductData>& current, std::vector<ProductData> stored);

// The diff body as a JSON tree, dumped.
std::string DumpDiffBodyDocument(const InventoryDiff& diff);

}  // namespace quorvex::baseline
