#include "inventory/JsonTextWriter.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "core/Log.h"

namespace quorvex {
bool JsonTextWriter::WrittenAsItStands(std::string_view text)
{
    for (const char byte : text) {
        const auto code = static_cast<unsigned char>(byte);
        if (code < 0x20 || code > 0x7e || code == '"' || code == '\\') {
            return false;
        }
    }
    return true;
}

std::string JsonTextWriter::Text(int indent, int depth, std::string_view what,
                                 const std::function<void(JsonTextWriter&)>& write)
{
    JsonTextWriter counter(indent, depth, nullptr);
    write(counter);
    std::string text(counter.size_, '\0');
    JsonTextWriter writer(indent, depth, &text);
    write(writer);
    text.resize(writer.size_);  // the counted size, unless `write` wrote something else this time
    if (writer.replaced_) {
        LogInvalidUtf8Replaced(what);
    }
    return text;
}

std::string_view JsonTextWriter::WriteInto(std::string& scratch, int indent, int depth,
                                           const std::function<void(JsonTextWriter&)>& write)
{
    JsonTextWriter writer(indent, depth, &scratch);
    write(writer);
    return std::string_view(scratch.data(), writer.size_);
}

JsonTextWriter::JsonTextWriter(int indent, int depth, std::string* out) : indent_(indent), depth_(depth), out_(out) {}

// Reserve, Append and AppendSpaces run for every token; inline, as all their callers are in this
// file, so an append of a literal compiles to a few stores.
inline char* JsonTextWriter::Reserve(std::size_t count)
{
    if (out_ == nullptr) {
        size_ += count;
        return nullptr;
    }
    if (out_->size() - size_ < count) {
        out_->resize(std::max(size_ + count, 2 * out_->size()));
    }
    char* const at = &(*out_)[size_];
    size_ += count;
    return at;
}

inline void JsonTextWriter::Append(std::string_view text)
{
    if (char* const at = Reserve(text.size())) {
        std::memcpy(at, text.data(), text.size());
    }
}

inline void JsonTextWriter::AppendSpaces(std::size_t count)
{
    if (char* const at = Reserve(count)) {
        std::memset(at, ' ', count);
    }
}

void JsonTextWriter::BeginValue()
{
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (open_ == 0) {
        return;
    }
    const std::uint64_t innermost = std::uint64_t{1} << (open_ - 1);
    if ((empty_ & innermost) == 0) {
        Append(",");
    }
    empty_ &= ~innermost;
    if (indent_ >= 0) {
        Append("\n");
        AppendSpaces(static_cast<std::size_t>(indent_) * static_cast<std::size_t>(depth_ + open_));
    }
}

void JsonTextWriter::Begin(char bracket)
{
    BeginValue();
    if (open_ == MaxNesting) {
        throw std::length_error("a JSON text nested deeper than 64 levels");
    }
    Append(std::string_view(&bracket, 1));
    empty_ |= std::uint64_t{1} << open_;
    ++open_;
}

void JsonTextWriter::End(char bracket)
{
    --open_;
    const std::uint64_t level = std::uint64_t{1} << open_;
    const bool wasEmpty = (empty_ & level) != 0;
    empty_ &= ~level;
    if (!wasEmpty && indent_ >= 0) {
        Append("\n");
        AppendSpaces(static_cast<std::size_t>(indent_) * static_cast<std::size_t>(depth_ + open_));
    }
    Append(std::string_view(&bracket, 1));
}

void JsonTextWriter::BeginObject()
{
    Begin('{');
}

void JsonTextWriter::EndObject()
{
    End('}');
}

void JsonTextWriter::BeginArray()
{
    Begin('[');
}

void JsonTextWriter::EndArray()
{
    End(']');
}

void JsonTextWriter::Key(std::string_view key)
{
    BeginValue();
    Append("\"");
    Append(key);
    Append(indent_ >= 0 ? "\": " : "\":");
    afterKey_ = true;
}

void JsonTextWriter::String(std::string_view text)
{
    BeginValue();
    if (WrittenAsItStands(text)) {
        Append("\"");
        Append(text);
        Append("\"");
        return;
    }
    // Escapes and UTF-8 checks exactly as the library does them; rare in host texts.
    const nlohmann::json value(text);
    try {
        Append(value.dump());
    } catch (const nlohmann::json::type_error&) {
        // The only error a dump raises: invalid UTF-8.
        replaced_ = true;
        Append(value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    }
}

template <typename Number>
void JsonTextWriter::Decimal(Number value)
{
    BeginValue();
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    Append(std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

void JsonTextWriter::Integer(std::int64_t value)
{
    Decimal(value);
}

void JsonTextWriter::Unsigned(std::uint64_t value)
{
    Decimal(value);
}

void JsonTextWriter::Product(const ProductData& product)
{
    BeginObject();
    Key("Attributes");
    BeginArray();
    for (const auto& attribute : product.Attributes) {
        BeginObject();
        Key("Key");
        String(attribute.key);
        Key("Value");
        String(attribute.value);
        EndObject();
    }
    EndArray();
    Key("ID");
    Integer(product.ID);
    Key("InstanceID");
    Unsigned(product.InstanceID);
    Key("Quality");
    Unsigned(product.Quality);
    Key("SeriesID");
    Integer(product.SeriesID);
    Key("TradeHold");
    Integer(product.TradeHold);
    EndObject();
}

void JsonTextWriter::Products(const std::vector<ProductData>& products)
{
    BeginArray();
    for (const auto& product : products) {
        Product(product);
    }
    EndArray();
}

void LogInvalidUtf8Replaced(std::string_view what)
{
    Log("Invalid UTF-8 in {} replaced with U+FFFD", what);
}

}  // namespace quorvex
