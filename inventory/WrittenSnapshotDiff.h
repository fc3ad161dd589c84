#pragma once
// The diff sync's fast way through a snapshot the plug-in wrote itself. The file is followed in
// the exact layout InventorySnapshot::Write gives it (JsonTextWriter, indented by 4 spaces), and
// each stored item is first compared, byte for byte, with the text of the live item expected at
// its place (InventoryDiffBuilder::Expected): an equal text is that item, paired off unparsed. So
// only the stored items around a change are parsed (ReadStoredItem); an unchanged inventory costs
// writing its items into a reused buffer and comparing.
//
// A file in any other form, or with an item the reader refuses, is left to the document reader
// (ReadStoredInventory), which gives the result or the refusal of the whole document. What this
// path accepts is one valid JSON document, of fixed framing, plain guid, and items that are each
// either the writer's own text or a product the reader accepted, so the document reader would
// read it to the same diff.
//
// Threads: any; the call shares nothing.
#include <optional>
#include <streambuf>
#include <string>

#include "inventory/InventoryDiff.h"

namespace quorvex {

// Pairs the stored items of the snapshot in `file`, read from its start, into `diff` and returns
// the snapshot's guid. Nullopt when the file is not in the plug-in's layout; `diff` may then have
// received some items and must be restarted. Lets the stream buffer's errors through.
std::optional<std::string> DiffSnapshotAsWritten(std::streambuf& file, InventoryDiffBuilder& diff);

}  // namespace quorvex
