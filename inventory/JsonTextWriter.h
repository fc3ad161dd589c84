#pragma once
// Writes JSON text straight from the records, byte for byte as the JSON library's dump writes the
// same document (members in the order they are given, which the callers keep in key order; the
// library's indentation, separators, string escapes and integer forms), without building a JSON
// tree. A text is written in two passes: the first only counts the bytes, the second copies them
// into a text of exactly that size, so no buffer is guessed and none grows by copying. Many small
// texts can instead be written one after another into one scratch buffer (WriteInto).
//
//   std::string body = JsonTextWriter::Text(-1, 0, "the request", [&](JsonTextWriter& json) {
//       json.BeginObject();
//       json.Key("guid");
//       json.String(guid);
//       json.EndObject();
//   });
//
// Threads: a writer is a local value of the thread that writes; Text touches nothing shared but
// the log.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "inventory/ProductData.h"

namespace quorvex {

class JsonTextWriter {
public:
    // The text `write` produces, indented by `indent` spaces per level (compact when negative) as
    // if it sat `depth` levels deep in an indented document. Host texts are not checked for valid
    // UTF-8: invalid bytes are replaced by U+FFFD and one line naming `what` is logged.
    static std::string Text(int indent, int depth, std::string_view what,
                            const std::function<void(JsonTextWriter&)>& write);

    // The same text written in one pass into `scratch`, which grows as needed and is kept for the
    // next call; the result views it. Invalid UTF-8 is replaced as by Text, without a log line.
    static std::string_view WriteInto(std::string& scratch, int indent, int depth,
                                      const std::function<void(JsonTextWriter&)>& write);

    // Printable ASCII without a quote or a backslash: a string the library writes between its
    // quotes unchanged, and that reads back as the same bytes.
    static bool WrittenAsItStands(std::string_view text);

    // Deeper nesting is refused with std::length_error; the callers' documents nest five deep.
    static constexpr int MaxNesting = 64;

    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    // `key` is written as it stands: the callers' member names are plain ASCII.
    void Key(std::string_view key);
    void String(std::string_view text);
    void Integer(std::int64_t value);
    void Unsigned(std::uint64_t value);
    // One product object, members in key order.
    void Product(const ProductData& product);
    // An array of product objects, in list order.
    void Products(const std::vector<ProductData>& products);

private:
    // Counts only when `out` is null; otherwise writes into `out` from its start, growing it as
    // needed.
    JsonTextWriter(int indent, int depth, std::string* out);

    void Append(std::string_view text);
    void AppendSpaces(std::size_t count);
    // Where `count` more bytes go, growing the output when it has no room; null when counting.
    char* Reserve(std::size_t count);
    // Opens a value: the separator and line break before an element or nothing after a key.
    void BeginValue();
    void Begin(char bracket);
    void End(char bracket);
    template <typename Number>
    void Decimal(Number value);

    int indent_;
    int depth_;
    std::string* out_;
    // Bytes counted, or written into *out_.
    std::size_t size_ = 0;
    // How many objects and arrays are open, and one bit per level, set while nothing has been
    // written into it yet (bit 0 for the outermost).
    int open_ = 0;
    std::uint64_t empty_ = 0;
    bool afterKey_ = false;
    bool replaced_ = false;
};

// Logs that invalid UTF-8 in `what` was replaced.
void LogInvalidUtf8Replaced(std::string_view what);

}  // namespace quorvex
