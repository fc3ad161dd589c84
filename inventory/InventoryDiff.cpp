#include "inventory/InventoryDiff.h"

#include <algorithm>
#include <utility>

namespace quorvex {

InventoryDiffBuilder::InventoryDiffBuilder(const std::vector<ProductData>& current)
    : current_(current), paired_(current.size(), false)
{
    std::size_t capacity = 16;
    while (capacity < 2 * current.size()) {
        capacity *= 2;
    }
    slots_.assign(capacity, Slot{0, 0});
    mask_ = capacity - 1;
    for (std::size_t index = 0; index < current.size(); ++index) {
        std::size_t at = Home(current[index].InstanceID);
        while (slots_[at].item != 0) {
            at = (at + 1) & mask_;
        }
        slots_[at] = Slot{current[index].InstanceID, index + 1};
    }
}

std::size_t InventoryDiffBuilder::Home(std::uint64_t instanceId) const
{
    // Fibonacci hashing: the high bits of the product spread ids that differ in any bits.
    return static_cast<std::size_t>((instanceId * 0x9e3779b97f4a7c15ull) >> 32) & mask_;
}

bool InventoryDiffBuilder::Pair(std::size_t index, std::uint64_t instanceId)
{
    if (current_[index].InstanceID != instanceId || paired_[index]) {
        return false;
    }
    paired_[index] = true;
    next_ = index + 1;
    return true;
}

void InventoryDiffBuilder::Restart()
{
    paired_.assign(paired_.size(), false);
    next_ = 0;
    removed_.clear();
}

void InventoryDiffBuilder::Add(const ReadProduct& stored)
{
    const std::uint64_t id = stored.fields.InstanceID;
    if (next_ < current_.size() && Pair(next_, id)) {
        return;
    }
    for (std::size_t at = Home(id); slots_[at].item != 0; at = (at + 1) & mask_) {
        if (slots_[at].instanceId == id && Pair(slots_[at].item - 1, id)) {
            return;
        }
    }
    removed_.push_back(stored.Record());
}

const ProductData* InventoryDiffBuilder::Expected() const
{
    return next_ < current_.size() && !paired_[next_] ? &current_[next_] : nullptr;
}

void InventoryDiffBuilder::PairExpected()
{
    Pair(next_, current_[next_].InstanceID);
}

InventoryDiff InventoryDiffBuilder::Finish()
{
    const auto byInstanceId = [](const ProductData& left, const ProductData& right) {
        return left.InstanceID < right.InstanceID;
    };
    InventoryDiff diff;
    for (std::size_t index = 0; index < current_.size(); ++index) {
        if (!paired_[index]) {
            diff.added.push_back(current_[index]);
        }
    }
    std::sort(diff.added.begin(), diff.added.end(), byInstanceId);
    std::sort(removed_.begin(), removed_.end(), byInstanceId);
    diff.removed = std::move(removed_);
    removed_.clear();
    return diff;
}

InventoryDiff DiffByInstanceId(const std::vector<ProductData>& current, const std::vector<ProductData>& stored)
{
    InventoryDiffBuilder diff(current);
    for (const auto& item : stored) {
        diff.Add(ReadProduct{item, item.Attributes.data(), item.Attributes.size()});
    }
    return diff.Finish();
}

}  // namespace quorvex
