#pragma once
// Reads one regular file of bounded size through a std::streambuf, in chunks, so a parser can
// stream it; it can be rewound to read it again. Anything else at the path (a folder, a FIFO, a device) is refused before it is
// opened, and the file is opened without blocking, so one swapped in meanwhile cannot hang the
// open; the type and size are checked again on the opened file.
//
// Threads: one thread at a time uses a buffer; it shares nothing.
#include <cstdint>
#include <filesystem>
#include <ios>
#include <streambuf>
#include <vector>

namespace quorvex {

class RegularFileBuffer final : public std::streambuf {
public:
    // Throws std::runtime_error, with the path and the reason, when the path is not a regular
    // file, cannot be opened or holds more than `maxBytes`.
    RegularFileBuffer(const std::filesystem::path& file, std::uint64_t maxBytes);
    ~RegularFileBuffer() override;
    RegularFileBuffer(const RegularFileBuffer&) = delete;
    RegularFileBuffer& operator=(const RegularFileBuffer&) = delete;

protected:
    // Both throw std::runtime_error when reading fails or the file grew beyond `maxBytes`.
    int_type underflow() override;
    // A large read goes straight into the caller's buffer, not through the chunk.
    std::streamsize xsgetn(char* into, std::streamsize count) override;
    // Moves the reading position of the opened file; -1 when that fails.
    pos_type seekpos(pos_type position, std::ios_base::openmode which) override;

private:
    // Sets the opened file's position; false when that fails.
    bool MoveTo(std::uint64_t offset);
    // Reads at most `most` bytes at the file's position; 0 at its end.
    std::size_t ReadSome(char* into, std::size_t most);
    // Counts `read` bytes against maxBytes_ and returns them.
    std::size_t Counted(std::size_t read);

    std::filesystem::path file_;
#ifdef _WIN32
    void* handle_;
#else
    int fd_;
#endif
    std::uint64_t maxBytes_;
    // What may still be read before the file counts as grown beyond maxBytes_.
    std::uint64_t remaining_;
    std::vector<char> chunk_;
};

}  // namespace quorvex
