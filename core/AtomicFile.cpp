#include "core/AtomicFile.h"

#include <system_error>

#ifdef _WIN32
#include "core/WindowsApi.h"
#else
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>
#endif

namespace quorvex {
namespace {

// The two file operations the replacement needs from the operating system. Each returns an empty
// text on success, otherwise what failed and the system's reason; paths appear in UTF-8.
#ifdef _WIN32

std::string LastErrorText(const std::string& what)
{
    return what + ": " + std::system_category().message(static_cast<int>(GetLastError()));
}

// Creates or truncates file, writes all of content and flushes it to the disk.
std::string WriteDurably(const std::filesystem::path& file, std::string_view content)
{
    const HANDLE handle =
        CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return LastErrorText("cannot open " + file.u8string());
    }
    // WriteFile takes at most a DWORD of bytes per call.
    constexpr std::size_t MaxChunk = 1u << 30;
    bool written = true;
    while (written && !content.empty()) {
        DWORD done = 0;
        const auto chunk = static_cast<DWORD>(content.size() < MaxChunk ? content.size() : MaxChunk);
        written = WriteFile(handle, content.data(), chunk, &done, nullptr) != 0;
        content.remove_prefix(done);
    }
    written = written && FlushFileBuffers(handle) != 0;
    const std::string failure = written ? std::string() : LastErrorText("cannot write " + file.u8string());
    if (CloseHandle(handle) == 0 && written) {
        return LastErrorText("cannot close " + file.u8string());
    }
    return failure;
}

// Puts replacement in target's place in one step; target's old content is never half-replaced.
std::string Replace(const std::filesystem::path& target, const std::filesystem::path& replacement)
{
    if (MoveFileExW(replacement.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
        return LastErrorText("cannot replace " + target.u8string());
    }
    return {};
}

#else

std::string ErrnoText(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

// Writes all of content to fd; false with errno set on failure.
bool WriteAll(int fd, std::string_view content)
{
    while (!content.empty()) {
        const ssize_t written = ::write(fd, content.data(), content.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Creates or truncates file, writes all of content and flushes it to the disk.
std::string WriteDurably(const std::filesystem::path& file, std::string_view content)
{
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return ErrnoText("cannot open " + file.u8string());
    }
    const bool written = WriteAll(fd, content) && ::fsync(fd) == 0;
    const std::string failure = written ? std::string() : ErrnoText("cannot write " + file.u8string());
    if (::close(fd) != 0 && written) {
        return ErrnoText("cannot close " + file.u8string());
    }
    return failure;
}

// Puts replacement in target's place in one step; target's old content is never half-replaced.
std::string Replace(const std::filesystem::path& target, const std::filesystem::path& replacement)
{
    if (std::rename(replacement.c_str(), target.c_str()) != 0) {
        return ErrnoText("cannot replace " + target.u8string());
    }
    return {};
}

#endif

}  // namespace

std::string WriteFileAtomically(const std::filesystem::path& path, std::string_view content)
{
    std::error_code error;
    if (path.has_parent_path()) {
        std::filesystem::create_directories(path.parent_path(), error);
        if (error) {
            return "cannot create " + path.parent_path().u8string() + ": " + error.message();
        }
    }

    std::filesystem::path temporary = path;
    temporary += ".tmp";
    std::string failure = WriteDurably(temporary, content);
    if (failure.empty()) {
        failure = Replace(path, temporary);
    }
    // A temporary file left by the failure goes; a folder in its place (the cause) stays.
    if (!failure.empty() && !std::filesystem::is_directory(temporary, error)) {
        std::filesystem::remove(temporary, error);
    }
    return failure;
}

}  // namespace quorvex
