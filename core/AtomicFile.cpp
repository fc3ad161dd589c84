#include "core/AtomicFile.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <cstdint>
#include <random>
#include <system_error>

#include <fmt/format.h>

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

constexpr std::string_view TemporarySuffix = ".tmp";
// Tries at new names when one is taken: a clash of 64 random bits means someone planted it.
constexpr int NameAttempts = 8;

// The file operations the replacement needs from the operating system. Each returns an empty
// text on success, otherwise what failed and the system's reason; paths appear in UTF-8.
#ifdef _WIN32

using FileHandle = HANDLE;
const FileHandle NoFile = INVALID_HANDLE_VALUE;

std::string LastErrorText(const std::string& what)
{
    return what + ": " + std::system_category().message(static_cast<int>(GetLastError()));
}

// Creates the file only if nothing (file, folder or link) has its name; `taken` tells that case.
FileHandle CreateExclusively(const std::filesystem::path& file, bool& taken, std::string& failure)
{
    const HANDLE handle =
        CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        taken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
        failure = LastErrorText("cannot create " + file.u8string());
    }
    return handle;
}

// Writes all of content, flushes it to the disk and closes the handle.
std::string WriteDurably(FileHandle handle, const std::filesystem::path& file, std::string_view content)
{
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

using FileHandle = int;
constexpr FileHandle NoFile = -1;

std::string ErrnoText(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

// Creates the file only if nothing (file, folder or link) has its name; `taken` tells that case.
FileHandle CreateExclusively(const std::filesystem::path& file, bool& taken, std::string& failure)
{
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        taken = errno == EEXIST;
        failure = ErrnoText("cannot create " + file.u8string());
    }
    return fd;
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

// Writes all of content, flushes it to the disk and closes the descriptor.
std::string WriteDurably(FileHandle fd, const std::filesystem::path& file, std::string_view content)
{
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

// The temporaries this process is writing now, which are not leftovers, by the random token in
// their names. The slots are atomics that need no construction or destruction: a worker left to
// finish alone at unload may still write after exit handlers have run, and a library loaded and
// unloaded many times leaves nothing behind.
class TemporaryNames {
public:
    // A fresh token, recorded as in use; 0 when every slot is taken by a write under way.
    static std::uint64_t Claim()
    {
        std::random_device device;
        std::uint64_t token = 0;
        while (token == 0) {
            token = (std::uint64_t{device()} << 32) | device();
        }
        for (auto& slot : inUse_) {
            std::uint64_t free = 0;
            if (slot.compare_exchange_strong(free, token)) {
                return token;
            }
        }
        return 0;
    }

    static void Release(std::uint64_t token)
    {
        for (auto& slot : inUse_) {
            std::uint64_t claimed = token;
            if (slot.compare_exchange_strong(claimed, 0)) {
                return;
            }
        }
    }

    static bool InUse(std::uint64_t token)
    {
        return token != 0 && std::any_of(inUse_.begin(), inUse_.end(),
                                         [token](const auto& slot) { return slot.load() == token; });
    }

    static std::filesystem::path NameFor(const std::filesystem::path& path, std::uint64_t token)
    {
        std::filesystem::path temporary = path;
        temporary += fmt::format("{}-{:016x}", TemporarySuffix, token);
        return temporary;
    }

    // The token of a name NameFor gave, 0 for any other name.
    static std::uint64_t TokenOf(std::string_view candidate, std::string_view name)
    {
        const std::size_t prefix = name.size() + TemporarySuffix.size() + 1;
        if (candidate.size() != prefix + TokenDigits) {
            return 0;
        }
        std::uint64_t token = 0;
        const char* digits = candidate.data() + prefix;
        const auto read = std::from_chars(digits, digits + TokenDigits, token, 16);
        return read.ec == std::errc() && read.ptr == digits + TokenDigits ? token : 0;
    }

private:
    static constexpr std::size_t TokenDigits = 16;
    // More than the plug-in ever writes at once (the settings, the snapshot, the outbox).
    static constexpr std::size_t Slots = 32;
    static inline std::array<std::atomic<std::uint64_t>, Slots> inUse_{};
};

// True for "<name>.tmp" and "<name>.tmp-<anything>".
bool IsTemporaryOf(const std::string& candidate, const std::string& name)
{
    const std::string prefix = name + std::string(TemporarySuffix);
    return candidate.compare(0, prefix.size(), prefix) == 0 &&
           (candidate.size() == prefix.size() || candidate[prefix.size()] == '-');
}

// Removes temporaries of path that no write of this process is using: an earlier run left them
// (a crash mid-write) or someone planted them. A link goes, not what it points at; folders stay.
void RemoveLeftovers(const std::filesystem::path& path)
{
    std::error_code error;
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
    const std::string name = path.filename().string();
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::filesystem::path candidate = entry->path();
        std::error_code ignored;
        if (IsTemporaryOf(candidate.filename().string(), name) &&
            !std::filesystem::is_directory(entry->symlink_status(ignored)) &&
            !TemporaryNames::InUse(TemporaryNames::TokenOf(candidate.filename().string(), name))) {
            std::filesystem::remove(candidate, ignored);
        }
    }
}

// Creates a temporary beside path under a fresh name; `temporary` is the name it got and `token`
// its claim, released by the caller once the write is over.
FileHandle CreateTemporary(const std::filesystem::path& path, std::filesystem::path& temporary,
                           std::uint64_t& token, std::string& failure)
{
    for (int attempt = 0; attempt < NameAttempts; ++attempt) {
        token = TemporaryNames::Claim();
        if (token == 0) {
            failure = "cannot write " + path.u8string() + ": too many writes under way";
            return NoFile;
        }
        temporary = TemporaryNames::NameFor(path, token);
        bool taken = false;
        const FileHandle file = CreateExclusively(temporary, taken, failure);
        if (file != NoFile) {
            return file;
        }
        TemporaryNames::Release(token);
        token = 0;
        if (!taken) {
            return NoFile;
        }
    }
    return NoFile;
}

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
    RemoveLeftovers(path);

    std::filesystem::path temporary;
    std::uint64_t token = 0;
    std::string failure;
    const FileHandle file = CreateTemporary(path, temporary, token, failure);
    if (file == NoFile) {
        return failure;
    }
    failure = WriteDurably(file, temporary, content);
    if (failure.empty()) {
        failure = Replace(path, temporary);
    }
    if (!failure.empty()) {
        std::filesystem::remove(temporary, error);
    }
    TemporaryNames::Release(token);
    return failure;
}

}  // namespace quorvex
