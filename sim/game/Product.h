#pragma once
// Online products as the simulated game holds them: the plain description a scenario or test
// builds (Product, Attribute) and the engine objects the SDK wrappers point at (ProductObject,
// ProductList, EngineArray).
//
// Threads: game thread only (the game's objects are read by the SDK on the game thread and
// changed by the World on the game thread); no locks.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sim::game {

// An engine array as ArrayWrapper sees it: the addresses of its elements.
struct EngineArray {
    std::vector<std::uintptr_t> elements;
};

// One product attribute. The typed SDK views read `value` (paint id, stat id, quality, team
// edition id, special edition id, blueprint product id, blueprint cost, or the name index of a
// title) and, for a certified attribute, `statValue`.
struct Attribute {
    std::string className;  // GetAttributeType: "ProductAttribute_Painted_TA"
    std::string typeName;   // GetTypename: "Painted"
    std::int32_t value = 0;
    std::int32_t statValue = 0;

    static Attribute Painted(std::int32_t paintId);
    static Attribute Certified(std::int32_t statId, std::int32_t statValue);
    static Attribute Quality(std::uint8_t quality);
    static Attribute TeamEdition(std::int32_t id);
    static Attribute SpecialEdition(std::int32_t editionId);
    static Attribute Blueprint(std::int32_t productId);
    static Attribute BlueprintCost(std::int32_t cost);
    // A title; its name index comes from NameTable::Intern.
    static Attribute Title(std::int32_t nameIndex);
    // An attribute of any other class, as "ProductAttribute_Unknown_TA" with typename "Unknown".
    static Attribute OfClass(const std::string& className, std::int32_t value = 0);
};

// One owned copy of a product, as described by a scenario or test.
struct Product {
    std::int32_t productId = 0;
    std::int32_t seriesId = 0;
    std::int32_t tradeHold = 0;
    std::uint64_t instanceId = 0;
    std::uint8_t quality = 0;
    std::string longLabel;  // UTF-8 bytes, not checked
    std::vector<Attribute> attributes;
};

// The engine object of one product copy (OnlineProductWrapper points here): fixed once built,
// so the addresses of its label and attributes never change.
class ProductObject {
public:
    explicit ProductObject(Product product);
    ProductObject(const ProductObject&) = delete;
    ProductObject& operator=(const ProductObject&) = delete;

    const Product& Data() const { return product_; }
    const EngineArray& AttributeArray() const { return attributeArray_; }
    std::uintptr_t Address() const { return reinterpret_cast<std::uintptr_t>(this); }

private:
    const Product product_;
    EngineArray attributeArray_;
};

// An ordered list of product objects and the engine array over them.
class ProductList {
public:
    ProductList() = default;
    explicit ProductList(std::vector<Product> products);
    ProductList(const ProductList&) = delete;
    ProductList& operator=(const ProductList&) = delete;

    // The new object's address.
    std::uintptr_t Add(Product product);
    // The removed object (null when none has the instance id): the caller may keep it alive
    // while hooks still read it.
    std::unique_ptr<ProductObject> Remove(std::uint64_t instanceId);
    // The first object with the instance id, or nullptr.
    const ProductObject* Find(std::uint64_t instanceId) const;
    const EngineArray& Array() const { return array_; }

private:
    std::vector<std::unique_ptr<ProductObject>> objects_;
    EngineArray array_;  // the addresses of objects_, in the same order
};

}  // namespace sim::game
