#include "inventory/WrittenSnapshotDiff.h"

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "inventory/JsonTextWriter.h"

namespace quorvex {
namespace {

// The snapshot around its items, as JsonTextWriter lays out {"guid": ..., "items": [...]} when
// indenting by 4; the items sit two levels deep.
constexpr int Indent = 4;
constexpr int ItemDepth = 2;
constexpr std::string_view Opening = "{\n    \"guid\": \"";
constexpr std::string_view AfterGuid = ",\n    \"items\": [";
constexpr std::string_view NoItems = "]\n}";
constexpr std::string_view BeforeFirstItem = "\n        ";
constexpr std::string_view BetweenItems = ",\n        ";
constexpr std::string_view AfterLastItem = "\n    ]\n}";

// The file from a position on, read ahead in chunks into a buffer that keeps only what lies
// beyond the position: one item and a chunk, and never more than MaxAheadBytes, so that a huge
// item (a host text, or a broken file) is left to the document reader, which streams it.
class ReadAhead {
public:
    static constexpr std::size_t MaxAheadBytes = 4 * 1024 * 1024;

    explicit ReadAhead(std::streambuf& input) : input_(input) {}

    // Every byte read ahead of the position; at least `count` of them unless the file ends
    // first or `count` is over MaxAheadBytes.
    std::string_view Ahead(std::size_t count)
    {
        if (buffer_.size() - at_ < count) {
            Refill(std::min(count, MaxAheadBytes));
        }
        return std::string_view(buffer_).substr(at_);
    }

    // Moves past `text` if the file goes on with it.
    bool Take(std::string_view text)
    {
        if (Ahead(text.size()).substr(0, text.size()) != text) {
            return false;
        }
        at_ += text.size();
        return true;
    }

    void Skip(std::size_t count) { at_ += count; }
    bool AtEnd() { return Ahead(1).empty(); }

private:
    static constexpr std::size_t ChunkBytes = 64 * 1024;

    void Refill(std::size_t count)
    {
        buffer_.erase(0, at_);
        at_ = 0;
        while (buffer_.size() < count) {
            const std::size_t kept = buffer_.size();
            buffer_.resize(kept + std::max(ChunkBytes, count - kept));
            const std::streamsize read = input_.sgetn(&buffer_[kept], static_cast<std::streamsize>(buffer_.size() - kept));
            buffer_.resize(kept + static_cast<std::size_t>(std::max<std::streamsize>(read, 0)));
            if (read <= 0) {
                return;
            }
        }
    }

    std::streambuf& input_;
    std::string buffer_;
    std::size_t at_ = 0;
};

// The guid's text up to its closing quote, which is taken too; nullopt unless the quote comes
// within the read-ahead and the text is written as it stands (no escapes).
std::optional<std::string> TakePlainString(ReadAhead& file)
{
    for (std::size_t length = 0;; ++length) {
        const std::string_view ahead = file.Ahead(length + 1);
        if (ahead.size() == length) {
            return std::nullopt;
        }
        if (ahead[length] == '"') {
            const std::string_view text = ahead.substr(0, length);
            if (!JsonTextWriter::WrittenAsItStands(text)) {
                return std::nullopt;
            }
            std::string guid(text);
            file.Skip(length + 1);
            return guid;
        }
    }
}

// The length of the object at the position, by its brackets outside strings; 0 when no object
// starts there or it does not end within the read-ahead. Whether the text is valid JSON is left
// to the parser.
std::size_t ObjectLength(ReadAhead& file)
{
    if (file.Ahead(1).substr(0, 1) != "{") {
        return 0;
    }
    std::size_t depth = 0;
    bool inString = false;
    bool escaped = false;
    for (std::size_t length = 0;; ++length) {
        const std::string_view ahead = file.Ahead(length + 1);
        if (ahead.size() == length) {
            return 0;
        }
        const char byte = ahead[length];
        if (inString) {
            inString = escaped || byte != '"';
            escaped = !escaped && byte == '\\';
        } else if (byte == '"') {
            inString = true;
        } else if (byte == '{' || byte == '[') {
            ++depth;
        } else if ((byte == '}' || byte == ']') && --depth == 0) {
            return length + 1;
        }
    }
}

// Takes one stored item: the expected live item's own text, or else an object the reader
// accepts. `scratch` is the buffer the expected item is written into.
bool TakeItem(ReadAhead& file, InventoryDiffBuilder& diff, std::string& scratch)
{
    if (const ProductData* expected = diff.Expected()) {
        const std::string_view text = JsonTextWriter::WriteInto(
            scratch, Indent, ItemDepth, [expected](JsonTextWriter& json) { json.Product(*expected); });
        if (file.Take(text)) {
            diff.PairExpected();
            return true;
        }
    }
    const std::size_t length = ObjectLength(file);
    if (length == 0 || !ReadStoredItem(file.Ahead(length).substr(0, length), diff)) {
        return false;
    }
    file.Skip(length);
    return true;
}

}  // namespace

std::optional<std::string> DiffSnapshotAsWritten(std::streambuf& input, InventoryDiffBuilder& diff)
{
    ReadAhead file(input);
    if (!file.Take(Opening)) {
        return std::nullopt;
    }
    std::optional<std::string> guid = TakePlainString(file);
    if (!guid || !file.Take(AfterGuid)) {
        return std::nullopt;
    }
    if (!file.Take(NoItems)) {
        std::string scratch;
        for (std::string_view separator = BeforeFirstItem; file.Take(separator); separator = BetweenItems) {
            if (!TakeItem(file, diff, scratch)) {
                return std::nullopt;
            }
        }
        if (!file.Take(AfterLastItem)) {
            return std::nullopt;
        }
    }
    if (!file.AtEnd()) {
        return std::nullopt;
    }
    return guid;
}

}  // namespace quorvex
