#include "inventory/StoredInventoryReader.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <istream>
#include <stdexcept>
#include <string_view>
#include <utility>

#include <nlohmann/json.hpp>

#include "inventory/CompactedJsonInput.h"

namespace quorvex {
namespace {

using Json = nlohmann::json;
using ValueType = Json::value_t;

// The error `convert` raises; a conversion that should fail but does not still refuses.
template <typename Conversion>
std::exception_ptr ErrorOf(Conversion convert)
{
    try {
        convert();
    } catch (...) {
        return std::current_exception();
    }
    return std::make_exception_ptr(std::logic_error("a malformed snapshot member was accepted"));
}

// The library's error for looking up `member` in a value of `type` that lacks it (an object) or
// cannot have it (anything else).
std::exception_ptr MissingMember(ValueType type, const char* member)
{
    return ErrorOf([&] { Json(type).at(member); });
}

// The numeric product members in from_json's order, which decides which error is reported.
// (Each view is a whole literal, so its data() ends with a null.)
constexpr std::array<std::string_view, 5> NumberMembers{"ID", "SeriesID", "TradeHold", "InstanceID", "Quality"};

// One member of an object being read: absent, or the last value given (a string's text kept
// apart, any other value as a JSON scalar or an empty value of its type).
struct Member {
    bool present = false;
    bool isText = false;
    Json value;
    std::string text;
};

// Where the next value goes.
enum class Slot {
    Document,
    Guid,
    Items,
    ItemElement,
    Number,  // NumberMembers[number_]
    Attributes,
    AttributeElement,
    AttributeKey,
    AttributeValue,
    Ignored,
};

// What an open object or array is.
enum class Frame { Document, Items, Product, Attributes, Attribute };

class StoredInventorySax {
public:
    explicit StoredInventorySax(StoredItemSink& items) : items_(items) {}

    // Reads one element of the "items" array, as if the array were open.
    struct OneItem {};
    StoredInventorySax(StoredItemSink& items, OneItem) : items_(items) { frames_.push_back(Frame::Items); }
    // After reading one item: whether it was a product and went to the sink.
    bool ItemAccepted() const { return !itemsError_; }

    using number_integer_t = Json::number_integer_t;
    using number_unsigned_t = Json::number_unsigned_t;
    using number_float_t = Json::number_float_t;
    using string_t = Json::string_t;
    using binary_t = Json::binary_t;

    bool null() { return Scalar(Json()); }
    bool boolean(bool value) { return Scalar(Json(value)); }
    bool number_integer(number_integer_t value) { return Number(ValueType::number_integer, value); }
    bool number_unsigned(number_unsigned_t value) { return Number(ValueType::number_unsigned, value); }
    bool number_float(number_float_t value, const string_t&) { return Scalar(Json(value)); }
    bool binary(binary_t&) { return Scalar(Json(ValueType::binary)); }

    bool string(string_t& value)
    {
        if (skipped_ > 0) {
            return true;
        }
        switch (Target()) {
        case Slot::Guid:
            guid_ = value;
            guidIsText_ = true;
            return true;
        case Slot::AttributeKey:
        case Slot::AttributeValue: {
            Member& member = Target() == Slot::AttributeKey ? attributeKey_ : attributeValue_;
            member.present = true;
            member.isText = true;
            member.text = value;
            return true;
        }
        default:
            return Scalar(Json(ValueType::string));
        }
    }

    bool start_object(std::size_t)
    {
        if (skipped_ > 0) {
            ++skipped_;
            return true;
        }
        switch (Target()) {
        case Slot::Document:
            frames_.push_back(Frame::Document);
            return true;
        case Slot::ItemElement:
            frames_.push_back(Frame::Product);
            for (auto& member : numbers_) {
                member.present = false;
            }
            attributesRead_ = false;
            attributesType_ = ValueType::null;
            attributesError_ = nullptr;
            attributeCount_ = 0;
            return true;
        case Slot::AttributeElement:
            frames_.push_back(Frame::Attribute);
            attributeKey_.present = false;
            attributeValue_.present = false;
            return true;
        default:
            return Container(ValueType::object);
        }
    }

    bool start_array(std::size_t)
    {
        if (skipped_ > 0) {
            ++skipped_;
            return true;
        }
        switch (Target()) {
        case Slot::Items:
            frames_.push_back(Frame::Items);
            itemsIsArray_ = true;
            itemsError_ = nullptr;
            items_.Restart();
            return true;
        case Slot::Attributes:
            frames_.push_back(Frame::Attributes);
            attributesRead_ = true;
            attributesType_ = ValueType::array;
            attributesError_ = nullptr;
            attributeCount_ = 0;
            return true;
        default:
            return Container(ValueType::array);
        }
    }

    bool key(string_t& name)
    {
        if (skipped_ > 0) {
            return true;
        }
        slot_ = Slot::Ignored;
        const std::string_view member(name);
        switch (frames_.back()) {
        case Frame::Document:
            if (member == "guid") {
                slot_ = Slot::Guid;
                guidIsText_ = false;
            } else if (member == "items") {
                slot_ = Slot::Items;
                itemsIsArray_ = false;
            }
            break;
        case Frame::Product:
            if (member == "Attributes") {
                slot_ = Slot::Attributes;
                attributesRead_ = true;
            } else {
                for (std::size_t index = 0; index < NumberMembers.size(); ++index) {
                    if (member == NumberMembers[index]) {
                        slot_ = Slot::Number;
                        number_ = index;
                    }
                }
            }
            break;
        case Frame::Attribute:
            if (member == "Key") {
                slot_ = Slot::AttributeKey;
            } else if (member == "Value") {
                slot_ = Slot::AttributeValue;
            }
            break;
        default:
            break;
        }
        return true;
    }

    bool end_object()
    {
        if (skipped_ > 0) {
            --skipped_;
            return true;
        }
        const Frame frame = frames_.back();
        frames_.pop_back();
        if (frame == Frame::Product && !itemsError_) {
            FinishProduct();
        } else if (frame == Frame::Attribute && !attributesError_) {
            FinishAttribute();
        }
        return true;
    }

    bool end_array()
    {
        if (skipped_ > 0) {
            --skipped_;
            return true;
        }
        frames_.pop_back();
        return true;
    }

    template <typename Exception>
    bool parse_error(std::size_t, const std::string&, const Exception& error)
    {
        throw error;
    }

    std::string Result()
    {
        if (documentType_ != ValueType::object) {
            throw std::runtime_error(std::string("the snapshot is a JSON ") + Json(documentType_).type_name() +
                                     ", not an object");
        }
        if (!itemsIsArray_) {
            throw std::runtime_error("the snapshot has no \"items\" array");
        }
        if (itemsError_) {
            std::rethrow_exception(itemsError_);
        }
        if (!guidIsText_) {
            throw std::runtime_error("the snapshot has no string \"guid\"");
        }
        return std::move(guid_);
    }

private:
    Slot Target() const
    {
        if (frames_.empty()) {
            return Slot::Document;
        }
        switch (frames_.back()) {
        case Frame::Items:
            return Slot::ItemElement;
        case Frame::Attributes:
            return Slot::AttributeElement;
        default:
            return slot_;
        }
    }

    // A structured value where the document has no use for one: noted like a scalar of its
    // type, then skipped whole.
    bool Container(ValueType type)
    {
        Scalar(Json(type));
        skipped_ = 1;
        return true;
    }

    // A product's number member is stored into the value the member held in the product before,
    // when that has the same type: most of a snapshot's numbers then make no JSON value.
    template <typename Value>
    bool Number(ValueType type, Value value)
    {
        if (skipped_ == 0 && Target() == Slot::Number) {
            Member& member = numbers_[number_];
            member.present = true;
            if (member.value.type() == type) {
                *member.value.template get_ptr<Value*>() = value;
            } else {
                member.value = value;
            }
            return true;
        }
        return Scalar(Json(value));
    }

    bool Scalar(Json value)
    {
        if (skipped_ > 0) {
            return true;
        }
        switch (Target()) {
        case Slot::Document:
            documentType_ = value.type();
            break;
        case Slot::ItemElement:
            if (!itemsError_) {
                itemsError_ = MissingMember(value.type(), NumberMembers[0].data());
            }
            break;
        case Slot::Number:
            numbers_[number_].present = true;
            numbers_[number_].value = std::move(value);
            break;
        case Slot::Attributes:
            attributesType_ = value.type();
            attributesError_ = nullptr;
            break;
        case Slot::AttributeElement:
            if (!attributesError_) {
                attributesError_ = MissingMember(value.type(), "Key");
            }
            break;
        case Slot::AttributeKey:
            attributeKey_.present = true;
            attributeKey_.isText = false;
            attributeKey_.value = std::move(value);
            break;
        case Slot::AttributeValue:
            attributeValue_.present = true;
            attributeValue_.isText = false;
            attributeValue_.value = std::move(value);
            break;
        default:
            break;
        }
        return true;
    }

    // A text member of an attribute, or the error reading it raises. The texts change places,
    // so both buffers are used again.
    static std::exception_ptr ReadText(Member& member, const char* name, std::string& text)
    {
        if (!member.present) {
            return MissingMember(ValueType::object, name);
        }
        if (!member.isText) {
            return ErrorOf([&] { member.value.get<std::string>(); });
        }
        text.swap(member.text);
        return nullptr;
    }

    void FinishAttribute()
    {
        if (attributeCount_ == attributes_.size()) {
            attributes_.emplace_back();
        }
        ProductAttribute& attribute = attributes_[attributeCount_];
        attributesError_ = ReadText(attributeKey_, "Key", attribute.key);
        if (!attributesError_) {
            attributesError_ = ReadText(attributeValue_, "Value", attribute.value);
        }
        if (!attributesError_) {
            ++attributeCount_;
        }
    }

    void FinishProduct()
    {
        try {
            std::int32_t* const signedFields[] = {&product_.ID, &product_.SeriesID, &product_.TradeHold};
            for (std::size_t index = 0; index < NumberMembers.size(); ++index) {
                if (!numbers_[index].present) {
                    std::rethrow_exception(MissingMember(ValueType::object, NumberMembers[index].data()));
                }
                const Json& value = numbers_[index].value;
                if (index < 3) {
                    ReadProductMember(value, NumberMembers[index].data(), *signedFields[index]);
                } else if (index == 3) {
                    ReadProductMember(value, NumberMembers[index].data(), product_.InstanceID);
                } else {
                    ReadProductMember(value, NumberMembers[index].data(), product_.Quality);
                }
            }
            if (!attributesRead_) {
                std::rethrow_exception(MissingMember(ValueType::object, "Attributes"));
            }
            if (attributesType_ != ValueType::array) {
                Json(attributesType_).get<std::vector<ProductAttribute>>();
            }
            if (attributesError_) {
                std::rethrow_exception(attributesError_);
            }
        } catch (...) {
            itemsError_ = std::current_exception();
            return;
        }
        items_.Add(ReadProduct{product_, attributes_.data(), attributeCount_});
    }

    StoredItemSink& items_;
    std::string guid_;
    std::vector<Frame> frames_;
    Slot slot_ = Slot::Document;
    std::size_t skipped_ = 0;
    ValueType documentType_ = ValueType::object;
    bool guidIsText_ = false;
    bool itemsIsArray_ = false;
    // The first error of the last "items" array; reported unless a syntax error comes first.
    std::exception_ptr itemsError_;

    // The product being read; its attributes are the first attributeCount_ of attributes_, whose
    // entries are kept from product to product so their texts' buffers are reused.
    ProductData product_;
    std::vector<ProductAttribute> attributes_;
    std::size_t attributeCount_ = 0;
    std::array<Member, NumberMembers.size()> numbers_;
    bool attributesRead_ = false;
    ValueType attributesType_ = ValueType::null;
    std::exception_ptr attributesError_;
    Member attributeKey_;
    Member attributeValue_;
    std::size_t number_ = 0;
};

}  // namespace

ProductData ReadProduct::Record() const
{
    return ProductData{fields.ID,         fields.SeriesID, fields.TradeHold,
                       fields.InstanceID, fields.Quality,  {attributes, attributes + attributeCount}};
}

std::string ReadStoredInventory(std::streambuf& input, StoredItemSink& items)
{
    try {
        StoredInventorySax reader(items);
        CompactedJsonInput compacted(input);
        Json::sax_parse(compacted.begin(), compacted.end(), &reader);
        return reader.Result();
    } catch (const Json::parse_error&) {
        // Refused for its syntax: read as it stands for the error's position in the file.
        if (input.pubseekpos(0, std::ios_base::in) != std::streampos(0)) {
            throw;
        }
    }
    StoredInventorySax reader(items);
    std::istream stream(&input);
    Json::sax_parse(stream, &reader);
    return reader.Result();
}

bool ReadStoredItem(std::string_view text, StoredItemSink& items)
{
    StoredInventorySax reader(items, StoredInventorySax::OneItem{});
    try {
        Json::sax_parse(text.begin(), text.end(), &reader);
    } catch (const Json::exception&) {
        // A syntax error or a number out of range: the document's reading reports it.
        return false;
    }
    return reader.ItemAccepted();
}

StoredInventory ReadStoredInventory(std::streambuf& input)
{
    struct KeepAll final : StoredItemSink {
        void Restart() override { items.clear(); }
        void Add(const ReadProduct& product) override { items.push_back(product.Record()); }
        std::vector<ProductData> items;
    } keep;
    StoredInventory read;
    read.guid = ReadStoredInventory(input, keep);
    read.items = std::move(keep.items);
    return read;
}

}  // namespace quorvex
