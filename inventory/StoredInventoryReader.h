#pragma once
// Reads the inventory snapshot document (see InventorySnapshot.h) with the JSON library's
// streaming (SAX) parser straight into what the caller keeps, without building a JSON tree: each
// stored item is handed over as soon as it is complete, in buffers the reader reuses, so an item
// nobody keeps costs no allocation. The result and every refusal are those of parsing the whole
// document and converting it: duplicate members count by their last occurrence, members of other
// names are ignored, a syntax error anywhere wins over a wrong form, and the errors are the JSON
// library's and from_json's.
//
// The parser is fed through CompactedJsonInput, which leaves out the indentation; a document the
// parser refuses is read again as it stands (the input is rewound), so the error names the
// position in the file.
//
// Threads: any; the call shares nothing.
#include <cstddef>
#include <cstdint>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "inventory/ProductData.h"

namespace quorvex {

// A stored item just read: every field but the attributes, which sit apart. Valid only during
// the call it is handed to.
struct ReadProduct {
    const ProductData& fields;
    const ProductAttribute* attributes;
    std::size_t attributeCount;

    // The whole item, copied out.
    ProductData Record() const;
};

// Receives the stored items of the document's "items" array in order.
class StoredItemSink {
public:
    virtual ~StoredItemSink() = default;
    // A later "items" member replaces the items an earlier one gave.
    virtual void Restart() = 0;
    virtual void Add(const ReadProduct& product) = 0;
};

struct StoredInventory {
    std::string guid;
    std::vector<ProductData> items;
};

// Reads the document from `input`, which must be at its start, and returns its guid. Throws the
// JSON library's parse or conversion error, or std::runtime_error naming what the document lacks
// ("the snapshot has no \"items\" array", "the snapshot has no string \"guid\"", "the snapshot is
// a JSON array, not an object"); `items` may then have received some of the items.
std::string ReadStoredInventory(std::streambuf& input, StoredItemSink& items);

// The same, keeping every item.
StoredInventory ReadStoredInventory(std::streambuf& input);

// Reads `text`, one element of the "items" array, and hands it to `items` when it is a product
// the document would be read with. False, with nothing handed over, when the text is not one JSON
// value or not a product (the document would then be refused).
bool ReadStoredItem(std::string_view text, StoredItemSink& items);

}  // namespace quorvex
