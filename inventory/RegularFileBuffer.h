#pragma once
// Reads one regular file of bounded size through a std::streambuf, in chunks, so a parser can
// stream it. Anything else at the path (a folder, a FIFO, a device) is refused before it is
// opened, and the file is opened without blocking, so one swapped in meanwhile cannot hang the
// open; the type and size are checked again on the opened file.
//
// Threads: one thread at a time uses a buffer; it shares nothing.
#include <cstdint>
#include <filesystem>
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
    // Throws std::runtime_error when reading fails or the file grew beyond `maxBytes`.
    int_type underflow() override;

private:
    std::filesystem::path file_;
#ifdef _WIN32
    void* handle_;
#else
    int fd_;
#endif
    std::uint64_t remaining_;
    std::vector<char> chunk_;
};

}  // namespace quorvex
