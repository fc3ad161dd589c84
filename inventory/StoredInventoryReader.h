#pragma once
// Reads the inventory snapshot document (see InventorySnapshot.h) with the JSON library's
// streaming (SAX) parser straight into the records, without building a JSON tree. The result and
// every refusal are those of parsing the whole document and converting it: duplicate members count
// by their last occurrence, members of other names are ignored, a syntax error anywhere wins over
// a wrong form, and the errors are the JSON library's and from_json's.
//
// Threads: any; the call shares nothing.
#include <istream>
#include <string>
#include <vector>

#include "inventory/ProductData.h"

namespace quorvex {

struct StoredInventory {
    std::string guid;
    std::vector<ProductData> items;
};

// Throws the JSON library's parse or conversion error, or std::runtime_error naming what the
// document lacks ("the snapshot has no \"items\" array", "the snapshot has no string \"guid\"",
// "the snapshot is a JSON array, not an object").
StoredInventory ReadStoredInventory(std::istream& input);

}  // namespace quorvex
