#include "inventory/RegularFileBuffer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <system_error>

#ifdef _WIN32
#include "core/WindowsApi.h"
#else
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quorvex {
namespace {

constexpr std::size_t ChunkBytes = 1 << 16;

const char* TypeName(std::filesystem::file_type type)
{
    switch (type) {
    case std::filesystem::file_type::not_found:
        return "missing";
    case std::filesystem::file_type::directory:
        return "a folder";
    case std::filesystem::file_type::symlink:
        return "a dangling link";
    case std::filesystem::file_type::block:
        return "a block device";
    case std::filesystem::file_type::character:
        return "a character device";
    case std::filesystem::file_type::fifo:
        return "a FIFO";
    case std::filesystem::file_type::socket:
        return "a socket";
    default:
        return "not a regular file";
    }
}

[[noreturn]] void Refuse(const std::filesystem::path& file, const std::string& reason)
{
    throw std::runtime_error(file.u8string() + " " + reason);
}

void RequireSize(const std::filesystem::path& file, std::uint64_t size, std::uint64_t maxBytes)
{
    if (size > maxBytes) {
        Refuse(file, "holds " + std::to_string(size) + " bytes, more than the " + std::to_string(maxBytes) +
                         " a readable one may hold");
    }
}

// Checked before opening: opening some kinds of file blocks, or has effects of its own.
void RequireRegularPath(const std::filesystem::path& file)
{
    std::error_code error;
    const auto type = std::filesystem::status(file, error).type();
    if (type != std::filesystem::file_type::regular) {
        Refuse(file, error && type != std::filesystem::file_type::not_found ? "cannot be examined: " + error.message()
                                                                          : std::string("is ") + TypeName(type));
    }
}

}  // namespace

// The platform's open and read; the chunk handed to the parser is the same on both.
#ifdef _WIN32

RegularFileBuffer::RegularFileBuffer(const std::filesystem::path& file, std::uint64_t maxBytes)
    : file_(file), handle_(INVALID_HANDLE_VALUE), maxBytes_(maxBytes), remaining_(maxBytes)
{
    RequireRegularPath(file);
    handle_ = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) {
        Refuse(file, "cannot be opened: " + std::system_category().message(static_cast<int>(GetLastError())));
    }
    LARGE_INTEGER size{};
    if (GetFileType(handle_) != FILE_TYPE_DISK || GetFileSizeEx(handle_, &size) == 0) {
        CloseHandle(handle_);
        Refuse(file, "is not a regular file");
    }
    try {
        RequireSize(file, static_cast<std::uint64_t>(size.QuadPart), maxBytes);
    } catch (...) {
        CloseHandle(handle_);
        throw;
    }
    chunk_.resize(ChunkBytes);
}

RegularFileBuffer::~RegularFileBuffer()
{
    CloseHandle(handle_);
}

bool RegularFileBuffer::MoveTo(std::uint64_t offset)
{
    LARGE_INTEGER distance{};
    distance.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(handle_, distance, nullptr, FILE_BEGIN) != 0;
}

std::size_t RegularFileBuffer::ReadSome(char* into, std::size_t most)
{
    DWORD read = 0;
    const auto asked = static_cast<DWORD>(std::min<std::size_t>(most, 1u << 30));
    if (ReadFile(handle_, into, asked, &read, nullptr) == 0) {
        Refuse(file_, "cannot be read: " + std::system_category().message(static_cast<int>(GetLastError())));
    }
    return Counted(read);
}
#else

RegularFileBuffer::RegularFileBuffer(const std::filesystem::path& file, std::uint64_t maxBytes)
    : file_(file), fd_(-1), maxBytes_(maxBytes), remaining_(maxBytes)
{
    RequireRegularPath(file);
    // Non-blocking: opening a FIFO put here since the check returns at once instead of waiting
    // for a writer; for a regular file the flag changes nothing.
    fd_ = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd_ < 0) {
        Refuse(file, std::string("cannot be opened: ") + std::strerror(errno));
    }
    struct stat opened {};
    try {
        if (::fstat(fd_, &opened) != 0 || !S_ISREG(opened.st_mode)) {
            Refuse(file, "is not a regular file");
        }
        RequireSize(file, static_cast<std::uint64_t>(opened.st_size), maxBytes);
    } catch (...) {
        ::close(fd_);
        throw;
    }
    chunk_.resize(ChunkBytes);
}

RegularFileBuffer::~RegularFileBuffer()
{
    ::close(fd_);
}

bool RegularFileBuffer::MoveTo(std::uint64_t offset)
{
    return ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) >= 0;
}

std::size_t RegularFileBuffer::ReadSome(char* into, std::size_t most)
{
    ssize_t read = 0;
    do {
        read = ::read(fd_, into, most);
    } while (read < 0 && errno == EINTR);
    if (read < 0) {
        Refuse(file_, std::string("cannot be read: ") + std::strerror(errno));
    }
    return Counted(static_cast<std::size_t>(read));
}
#endif

std::size_t RegularFileBuffer::Counted(std::size_t read)
{
    if (read > remaining_) {
        Refuse(file_, "grew beyond the size a readable one may hold while it was read");
    }
    remaining_ -= read;
    return read;
}

RegularFileBuffer::int_type RegularFileBuffer::underflow()
{
    const std::size_t read = ReadSome(chunk_.data(), chunk_.size());
    if (read == 0) {
        return traits_type::eof();
    }
    setg(chunk_.data(), chunk_.data(), chunk_.data() + read);
    return traits_type::to_int_type(chunk_[0]);
}

std::streamsize RegularFileBuffer::xsgetn(char* into, std::streamsize count)
{
    // What the chunk still holds, then the rest straight into the caller's buffer.
    std::streamsize copied = std::min<std::streamsize>(egptr() - gptr(), count);
    if (copied > 0) {
        std::memcpy(into, gptr(), static_cast<std::size_t>(copied));
        gbump(static_cast<int>(copied));
    }
    while (copied < count) {
        const std::size_t read = ReadSome(into + copied, static_cast<std::size_t>(count - copied));
        if (read == 0) {
            break;
        }
        copied += static_cast<std::streamsize>(read);
    }
    return copied;
}

RegularFileBuffer::pos_type RegularFileBuffer::seekpos(pos_type position, std::ios_base::openmode which)
{
    const std::streamoff offset = position;
    if ((which & std::ios_base::in) == 0 || offset < 0 || static_cast<std::uint64_t>(offset) > maxBytes_ ||
        !MoveTo(static_cast<std::uint64_t>(offset))) {
        return pos_type(off_type(-1));
    }
    remaining_ = maxBytes_ - static_cast<std::uint64_t>(offset);
    setg(nullptr, nullptr, nullptr);
    return position;
}

}  // namespace quorvex
