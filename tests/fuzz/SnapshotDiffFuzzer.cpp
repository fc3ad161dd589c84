// The multiset diff of the live inventory against the stored one. The input chooses both lists;
// InstanceIDs come mostly from a small range so that equal ids, held several times on either
// side, are common. The result is checked against a count of each id.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "inventory/InventorySnapshot.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

using quorvex::ProductData;
using quorvex::fuzz::Require;

std::vector<ProductData> ConsumeItems(FuzzedDataProvider& input)
{
    std::vector<ProductData> items(input.ConsumeIntegralInRange<std::size_t>(0, 64));
    for (auto& item : items) {
        item.InstanceID = input.ConsumeBool() ? input.ConsumeIntegral<std::uint64_t>()
                                              : input.ConsumeIntegralInRange<std::uint64_t>(0, 7);
        item.ID = input.ConsumeIntegral<std::int32_t>();
        item.Quality = input.ConsumeIntegral<std::uint8_t>();
    }
    return items;
}

// How many items of `items` carry each id, the counts of `subtract` taken away.
std::map<std::uint64_t, long> Surplus(const std::vector<ProductData>& items, const std::vector<ProductData>& subtract)
{
    std::map<std::uint64_t, long> surplus;
    for (const auto& item : items) {
        ++surplus[item.InstanceID];
    }
    for (const auto& item : subtract) {
        --surplus[item.InstanceID];
    }
    return surplus;
}

// Each result item is one of `from`, ids ascending, and each id appears as often as `from`
// holds it more often than the other side.
void RequireDifference(const std::vector<ProductData>& result, const std::vector<ProductData>& from,
                       const std::vector<ProductData>& other)
{
    Require(std::is_sorted(result.begin(), result.end(),
                           [](const auto& left, const auto& right) { return left.InstanceID < right.InstanceID; }),
            "diff items are in ascending InstanceID order");
    std::map<std::uint64_t, long> counted;
    for (const auto& item : result) {
        ++counted[item.InstanceID];
        Require(std::find(from.begin(), from.end(), item) != from.end(), "a diff item is one of its side's items");
    }
    for (const auto& [id, surplus] : Surplus(from, other)) {
        const auto found = counted.find(id);
        Require((found == counted.end() ? 0 : found->second) == std::max(surplus, 0L),
                "each id appears as often as its side holds it more often");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::vector<ProductData> current = ConsumeItems(input);
    const std::vector<ProductData> stored = ConsumeItems(input);
    const std::vector<ProductData> currentBefore = current;

    const quorvex::InventoryDiff diff = quorvex::DiffByInstanceId(current, stored);

    Require(current == currentBefore, "the live list is left as it was");
    Require(diff.previousGuid.empty(), "the diff of two lists has no guid");
    RequireDifference(diff.added, current, stored);
    RequireDifference(diff.removed, stored, current);
    return 0;
}
