#pragma once
// Feeds a JSON text from a stream buffer to the JSON library's parser, in chunks, with the white
// space between tokens shortened: a run of it is left out next to a structural character
// ({ } [ ] , : ") and kept as one space elsewhere, where it separates two tokens. Strings pass
// unchanged. The parser then sees the same tokens in the same order, so it gives the same values
// and accepts or refuses the same texts, while an indented document (about half of it indentation)
// costs its lexer half the characters. Only the positions in the parser's error messages differ.
//
//   CompactedJsonInput input(file);
//   nlohmann::json::sax_parse(input.begin(), input.end(), &handler);
//
// Threads: one thread at a time uses an input; it shares nothing.
#include <cstddef>
#include <iterator>
#include <streambuf>
#include <vector>

namespace quorvex {

class CompactedJsonInput {
public:
    // Reads `input` from where it stands; it must outlive this object.
    explicit CompactedJsonInput(std::streambuf& input);
    CompactedJsonInput(const CompactedJsonInput&) = delete;
    CompactedJsonInput& operator=(const CompactedJsonInput&) = delete;

    // An input iterator over the shortened text, as the parser's iterator input takes it. Like
    // std::istreambuf_iterator, two cursors are equal when both are at the end or neither is.
    class Cursor {
    public:
        using iterator_category = std::input_iterator_tag;
        using value_type = char;
        using difference_type = std::ptrdiff_t;
        using pointer = const char*;
        using reference = const char&;

        Cursor() = default;
        const char& operator*() const { return *at_; }
        Cursor& operator++()
        {
            ++at_;
            return *this;
        }
        bool operator==(const Cursor& other) const { return AtEnd() == other.AtEnd(); }
        bool operator!=(const Cursor& other) const { return AtEnd() != other.AtEnd(); }

    private:
        friend class CompactedJsonInput;
        explicit Cursor(CompactedJsonInput* input) : input_(input) {}
        // The cursor holds the chunk's bounds itself: one indirection less per character.
        bool AtEnd() const { return at_ == end_ && (input_ == nullptr || !input_->Refill(at_, end_)); }

        CompactedJsonInput* input_ = nullptr;
        // Mutable: a cursor at the end of a chunk moves on to the next one when it is compared.
        mutable const char* at_ = nullptr;
        mutable const char* end_ = nullptr;
    };

    Cursor begin() { return Cursor(this); }
    Cursor end() { return Cursor(); }

private:
    // Reads and shortens the next chunk into [at, end); false at the end of the input. Lets the
    // stream buffer's errors through.
    bool Refill(const char*& at, const char*& end);

    std::streambuf& input_;
    // One byte more than a read: a space left over from the chunk before goes in front.
    std::vector<char> chunk_;
    // Where the shortening stands at a chunk's end.
    bool inString_ = false;
    bool escaped_ = false;
    bool spacePending_ = false;
    // The last character passed outside a string; none yet counts as one that needs a space.
    char last_ = 'x';
};

}  // namespace quorvex
