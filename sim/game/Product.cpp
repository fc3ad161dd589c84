#include "sim/game/Product.h"

#include <algorithm>
#include <utility>

namespace sim::game {
namespace {

// "ProductAttribute_Painted_TA" -> "Painted"; other class names are their own typename.
std::string TypenameOf(const std::string& className)
{
    const std::string prefix = "ProductAttribute_";
    const std::string suffix = "_TA";
    if (className.size() > prefix.size() + suffix.size() && className.rfind(prefix, 0) == 0 &&
        className.compare(className.size() - suffix.size(), suffix.size(), suffix) == 0) {
        return className.substr(prefix.size(), className.size() - prefix.size() - suffix.size());
    }
    return className;
}

}  // namespace

Attribute Attribute::OfClass(const std::string& className, std::int32_t value)
{
    return {className, TypenameOf(className), value, 0};
}

Attribute Attribute::Painted(std::int32_t paintId)
{
    return OfClass("ProductAttribute_Painted_TA", paintId);
}

Attribute Attribute::Certified(std::int32_t statId, std::int32_t statValue)
{
    Attribute attribute = OfClass("ProductAttribute_Certified_TA", statId);
    attribute.statValue = statValue;
    return attribute;
}

Attribute Attribute::Quality(std::uint8_t quality)
{
    return OfClass("ProductAttribute_Quality_TA", quality);
}

Attribute Attribute::TeamEdition(std::int32_t id)
{
    return OfClass("ProductAttribute_TeamEdition_TA", id);
}

Attribute Attribute::SpecialEdition(std::int32_t editionId)
{
    return OfClass("ProductAttribute_SpecialEdition_TA", editionId);
}

Attribute Attribute::Blueprint(std::int32_t productId)
{
    return OfClass("ProductAttribute_Blueprint_TA", productId);
}

Attribute Attribute::BlueprintCost(std::int32_t cost)
{
    return OfClass("ProductAttribute_BlueprintCost_TA", cost);
}

Attribute Attribute::Title(std::int32_t nameIndex)
{
    return OfClass("ProductAttribute_TitleID_TA", nameIndex);
}

ProductObject::ProductObject(Product product) : product_(std::move(product))
{
    for (const Attribute& attribute : product_.attributes) {
        attributeArray_.elements.push_back(reinterpret_cast<std::uintptr_t>(&attribute));
    }
}

ProductList::ProductList(std::vector<Product> products)
{
    for (Product& product : products) {
        Add(std::move(product));
    }
}

std::uintptr_t ProductList::Add(Product product)
{
    objects_.push_back(std::make_unique<ProductObject>(std::move(product)));
    array_.elements.push_back(objects_.back()->Address());
    return objects_.back()->Address();
}

std::unique_ptr<ProductObject> ProductList::Remove(std::uint64_t instanceId)
{
    const auto found = std::find_if(objects_.begin(), objects_.end(), [&](const auto& object) {
        return object->Data().instanceId == instanceId;
    });
    if (found == objects_.end()) {
        return nullptr;
    }
    std::unique_ptr<ProductObject> removed = std::move(*found);
    array_.elements.erase(array_.elements.begin() + (found - objects_.begin()));
    objects_.erase(found);
    return removed;
}

const ProductObject* ProductList::Find(std::uint64_t instanceId) const
{
    for (const auto& object : objects_) {
        if (object->Data().instanceId == instanceId) {
            return object.get();
        }
    }
    return nullptr;
}

}  // namespace sim::game
