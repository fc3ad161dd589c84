#pragma once
// One owned item copied out of the game (ProductData), its ordered attribute list, and its JSON
// object. The same object is what the service receives for inventory, loadout and traded items,
// and what the inventory snapshot file stores.
//
// Threads: MakeProductData, MakeProductList, SerializeAttributes and GetCurrentItems read the host's game objects
// and run on the game thread only. ProductData is a plain value; the JSON conversions and
// DumpJson touch nothing shared and run on any thread.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/ArrayWrapper.h"

class GameWrapper;
class OnlineProductWrapper;

namespace quorvex {

// One entry of a product's attribute list. Keys may repeat; both texts are the host's bytes.
struct ProductAttribute {
    std::string key;
    std::string value;

    bool operator==(const ProductAttribute& other) const { return key == other.key && value == other.value; }
};

struct ProductData {
    std::int32_t ID = 0;
    std::int32_t SeriesID = 0;
    std::int32_t TradeHold = 0;
    // Identifies one owned copy; the inventory diff matches items by it alone.
    std::uint64_t InstanceID = 0;
    std::uint8_t Quality = 0;
    std::vector<ProductAttribute> Attributes;

    bool operator==(const ProductData& other) const
    {
        return ID == other.ID && SeriesID == other.SeriesID && TradeHold == other.TradeHold &&
               InstanceID == other.InstanceID && Quality == other.Quality && Attributes == other.Attributes;
    }
};

// Reads the product's fields in the order product id, series id, trade hold, instance id,
// quality, then its attributes. `product` must wrap a live product.
ProductData MakeProductData(const OnlineProductWrapper& product, GameWrapper& game);

// One entry per attribute, in the host's order, with the typed value for the attribute types the
// service knows and an empty value for any other; a certified attribute is preceded by its
// ("CertifiedValue", stat value) entry. `game` resolves title names.
std::vector<ProductAttribute> SerializeAttributes(const OnlineProductWrapper& product, GameWrapper& game);

// Every owned product, in the host's order. Throws std::runtime_error "ItemWrapper null" or
// "owned products null" when the host cannot give the inventory.
std::vector<ProductData> GetCurrentItems(GameWrapper& game);

// One ProductData per product of the array, in its order.
std::vector<ProductData> MakeProductList(const ArrayWrapper<OnlineProductWrapper>& products, GameWrapper& game);

// JSON conversion hooks (found by argument-dependent lookup, so std::vector<ProductData> converts
// directly). Reading throws the JSON library's error for a missing member or a wrong type, and
// std::out_of_range for a number that is not an integer the member's type holds.
void to_json(nlohmann::json& json, const ProductAttribute& attribute);
void from_json(const nlohmann::json& json, ProductAttribute& attribute);
void to_json(nlohmann::json& json, const ProductData& product);
void from_json(const nlohmann::json& json, ProductData& product);

// Reads `value`, the JSON of the product member named `member`, into `field` exactly as from_json
// reads that member: a number or a boolean that the field's type holds, else the JSON library's
// type error or std::out_of_range. Shared with the streaming snapshot reader.
void ReadProductMember(const nlohmann::json& value, const char* member, std::int32_t& field);
void ReadProductMember(const nlohmann::json& value, const char* member, std::uint64_t& field);
void ReadProductMember(const nlohmann::json& value, const char* member, std::uint8_t& field);

// Writes `json` compactly (indent -1) or indented. Host texts are not checked for valid UTF-8, so
// invalid bytes are replaced by U+FFFD instead of failing the write, and one line naming `what`
// is logged when that happened.
std::string DumpJson(const nlohmann::json& json, int indent, std::string_view what);

// The JSON array of `items`, exactly as DumpJson(items, indent, what) writes it when the array sits
// `depth` levels deep in an indented document, but written straight from the records into a text
// of exactly its size (JsonTextWriter), so a large list never exists as a JSON tree and no item's
// size decides the buffer. Invalid UTF-8 is replaced and logged once.
std::string DumpProducts(const std::vector<ProductData>& items, int indent, int depth, std::string_view what);

}  // namespace quorvex
