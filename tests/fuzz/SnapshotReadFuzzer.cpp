// The inventory snapshot file as the diff sync reads it. The input is the file's whole content.
// Whatever it holds, reading either throws (the sync then falls back to a full one) or gives a
// guid and items that survive being written back and read again unchanged, that show no change
// when compared with themselves, and of which exactly those left out of the live list are removed;
// the document reader refuses the same files and diffs the same way.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <fstream>
#include <vector>

#include "inventory/InventorySnapshot.h"
#include "tests/fuzz/FuzzSupport.h"

using quorvex::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const quorvex::InventorySnapshot snapshot(quorvex::fuzz::ScratchFolder() / "data");
    static const bool folderMade = std::filesystem::create_directories(snapshot.File().parent_path());
    (void)folderMade;
    std::ofstream(snapshot.File(), std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

    // Against an empty inventory, every stored item is a removed one.
    quorvex::InventoryDiff read;
    try {
        read = snapshot.ComputeDiff({});
    } catch (const std::exception&) {
        bool readRefused = false;
        try {
            snapshot.Read();
        } catch (const std::exception&) {
            readRefused = true;
        }
        Require(readRefused, "a file the diff refuses is refused by the document reader");
        return 0;
    }

    // Against the stored items in the file's order less every third (the order a file in the
    // plug-in's layout is followed in, item by item), exactly those are removed, as when the
    // document is read whole and diffed.
    const std::vector<quorvex::ProductData> inFileOrder = snapshot.Read().items;
    std::vector<quorvex::ProductData> kept;
    for (std::size_t index = 0; index < inFileOrder.size(); ++index) {
        if (index % 3 != 0) {
            kept.push_back(inFileOrder[index]);
        }
    }
    const quorvex::InventoryDiff followed = snapshot.ComputeDiff(kept);
    const quorvex::InventoryDiff expected = quorvex::DiffByInstanceId(kept, inFileOrder);
    const auto sameIds = [](const std::vector<quorvex::ProductData>& left, const std::vector<quorvex::ProductData>& right) {
        return std::equal(left.begin(), left.end(), right.begin(), right.end(),
                          [](const auto& one, const auto& other) { return one.InstanceID == other.InstanceID; });
    };
    Require(followed.added.empty() && sameIds(followed.removed, expected.removed),
            "the diff against part of the file's items is the document's diff");
    Require(read.added.empty(), "an empty inventory adds nothing");
    Require(std::is_sorted(read.removed.begin(), read.removed.end(),
                           [](const auto& left, const auto& right) { return left.InstanceID < right.InstanceID; }),
            "removed items are in ascending InstanceID order");

    Require(snapshot.Write(read.previousGuid, read.removed).empty(), "what was read can be written");
    const quorvex::InventoryDiff reread = snapshot.ComputeDiff({});
    Require(reread.previousGuid == read.previousGuid, "the guid survives writing and reading");
    Require(reread.removed == read.removed, "the items survive writing and reading");

    const quorvex::InventoryDiff unchanged = snapshot.ComputeDiff(read.removed);
    Require(unchanged.added.empty() && unchanged.removed.empty(), "the stored items compared with themselves");

    // Against every other stored item, reversed (so the live order does not follow the file's),
    // exactly the rest is removed.
    std::vector<quorvex::ProductData> half;
    std::vector<quorvex::ProductData> rest;
    for (std::size_t index = 0; index < read.removed.size(); ++index) {
        (index % 2 == 0 ? half : rest).push_back(read.removed[index]);
    }
    std::reverse(half.begin(), half.end());
    const quorvex::InventoryDiff halved = snapshot.ComputeDiff(half);
    Require(halved.added.empty(), "stored items add nothing");
    Require(halved.removed.size() == rest.size() &&
                std::equal(halved.removed.begin(), halved.removed.end(), rest.begin(),
                           [](const auto& left, const auto& right) { return left.InstanceID == right.InstanceID; }),
            "the stored items not in the live list are the removed ones");
    return 0;
}
