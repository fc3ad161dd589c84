#include "core/AtomicFile.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <cstdint>
#include <random>
#include <system_error>

#include <fmt/format.h>

#include "core/PathText.h"

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
// A file name as the system holds it (UTF-16 on Windows, bytes elsewhere).
using NativeName = std::filesystem::path::string_type;
// Tries at new names when one is taken: a clash of 64 random bits means someone planted it.
constexpr int NameAttempts = 8;

// The file operations the replacement needs, made through the table `os`. Each returns an empty
// text on success, otherwise what failed and the system's reason; paths appear in UTF-8.
#ifdef _WIN32

using FileHandle = HANDLE;
const FileHandle NoFile = INVALID_HANDLE_VALUE;

// The error is taken first: building the text may make system calls that change it.
std::string LastErrorText(DWORD error, const std::string& what)
{
    return what + ": " + std::system_category().message(static_cast<int>(error));
}

// Creates the file only if nothing (file, folder or link) has its name; `taken` tells that case.
FileHandle CreateExclusively(const OsFileCalls& os, const std::filesystem::path& file, bool& taken,
                             std::string& failure)
{
    const HANDLE handle =
        os.createFile(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        taken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
        failure = LastErrorText(error, "cannot create " + PathText(file));
    }
    return handle;
}

// Writes all of content to the temporary of target, flushes it to the disk and closes it.
std::string WriteDurably(const OsFileCalls& os, FileHandle handle, const std::filesystem::path& target,
                         std::string_view content)
{
    // WriteFile takes at most a DWORD of bytes per call.
    constexpr std::size_t MaxChunk = 1u << 30;
    std::string failure;
    while (failure.empty() && !content.empty()) {
        DWORD done = 0;
        const auto chunk = static_cast<DWORD>(content.size() < MaxChunk ? content.size() : MaxChunk);
        if (os.writeFile(handle, content.data(), chunk, &done, nullptr) == 0) {
            failure = LastErrorText(GetLastError(), "cannot write " + PathText(target));
        } else if (done == 0) {
            failure = "cannot write " + PathText(target) + ": the system took no bytes";
        }
        content.remove_prefix(done);
    }
    if (failure.empty() && os.flushFileBuffers(handle) == 0) {
        failure = LastErrorText(GetLastError(), "cannot flush " + PathText(target) + " to the disk");
    }
    if (os.closeHandle(handle) == 0 && failure.empty()) {
        failure = LastErrorText(GetLastError(), "cannot close " + PathText(target));
    }
    return failure;
}

// Puts replacement in target's place in one step; target's old content is never half-replaced.
FileWriteResult Replace(const OsFileCalls& os, const std::filesystem::path& target,
                        const std::filesystem::path& replacement)
{
    if (os.moveFileEx(replacement.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
        const DWORD error = GetLastError();
        const bool inUse =
            error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
        return {LastErrorText(error, "cannot replace " + PathText(target)), inUse};
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
FileHandle CreateExclusively(const OsFileCalls& os, const std::filesystem::path& file, bool& taken,
                             std::string& failure)
{
    int fd = -1;
    do {
        fd = os.open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        taken = errno == EEXIST;
        failure = ErrnoText("cannot create " + PathText(file));
    }
    return fd;
}

// Writes all of content to fd, which may take it in parts or be interrupted by a signal.
std::string WriteAll(const OsFileCalls& os, int fd, const std::filesystem::path& target, std::string_view content)
{
    while (!content.empty()) {
        const ssize_t written = os.write(fd, content.data(), content.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0) {
            return ErrnoText("cannot write " + PathText(target));
        }
        if (written == 0) {  // no error and no progress: trying again would spin
            return "cannot write " + PathText(target) + ": the system took no bytes";
        }
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

// Writes all of content to the temporary of target, flushes it to the disk and closes it.
std::string WriteDurably(const OsFileCalls& os, FileHandle fd, const std::filesystem::path& target,
                         std::string_view content)
{
    std::string failure = WriteAll(os, fd, target, content);
    if (failure.empty()) {
        int flushed = -1;
        do {
            flushed = os.fsync(fd);
        } while (flushed != 0 && errno == EINTR);
        if (flushed != 0) {
            failure = ErrnoText("cannot flush " + PathText(target) + " to the disk");
        }
    }
    // Never retried: after a failed close the descriptor is gone, and its number may be reused.
    if (os.close(fd) != 0 && failure.empty()) {
        failure = ErrnoText("cannot close " + PathText(target));
    }
    return failure;
}

// Puts replacement in target's place in one step; target's old content is never half-replaced.
FileWriteResult Replace(const OsFileCalls& os, const std::filesystem::path& target,
                        const std::filesystem::path& replacement)
{
    if (os.rename(replacement.c_str(), target.c_str()) != 0) {
        const bool inUse = errno == EBUSY || errno == ETXTBSY;
        return {ErrnoText("cannot replace " + PathText(target)), inUse};
    }
    return {};
}

#endif

// The text as a text-mode stream writes it: on CR LF platforms every line break gains a CR.
std::string InTextFormat(std::string_view text, LineEnd lineEnd)
{
    if (lineEnd == LineEnd::Lf) {
        return std::string(text);
    }
    std::string converted;
    converted.reserve(text.size() + static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')));
    for (const char c : text) {
        if (c == '\n') {
            converted += '\r';
        }
        converted += c;
    }
    return converted;
}

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

    // The token of a name NameFor gave, 0 for any other name. Names are compared as the system
    // holds them: a name in a folder need not convert to any other form.
    static std::uint64_t TokenOf(const NativeName& candidate, const NativeName& name)
    {
        const std::size_t prefix = name.size() + TemporarySuffix.size() + 1;
        if (candidate.size() != prefix + TokenDigits) {
            return 0;
        }
        std::string digits;
        for (std::size_t at = prefix; at < candidate.size(); ++at) {
            if (candidate[at] < '0' || candidate[at] > 'f') {
                return 0;
            }
            digits += static_cast<char>(candidate[at]);
        }
        std::uint64_t token = 0;
        const auto read = std::from_chars(digits.data(), digits.data() + digits.size(), token, 16);
        return read.ec == std::errc() && read.ptr == digits.data() + digits.size() ? token : 0;
    }

private:
    static constexpr std::size_t TokenDigits = 16;
    // More than the plug-in ever writes at once (the settings, the snapshot, the outbox).
    static constexpr std::size_t Slots = 32;
    static inline std::array<std::atomic<std::uint64_t>, Slots> inUse_{};
};

// True for "<name>.tmp" and "<name>.tmp-<anything>".
bool IsTemporaryOf(const NativeName& candidate, const NativeName& name)
{
    const NativeName prefix = name + NativeName(TemporarySuffix.begin(), TemporarySuffix.end());
    return candidate.compare(0, prefix.size(), prefix) == 0 &&
           (candidate.size() == prefix.size() || candidate[prefix.size()] == '-');
}

// Removes temporaries of path that no write of this process is using: an earlier run left them
// (a crash mid-write) or someone planted them. A link goes, not what it points at; folders stay.
void RemoveLeftovers(const std::filesystem::path& path)
{
    std::error_code error;
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
    const NativeName name = path.filename().native();
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::filesystem::path candidate = entry->path();
        const NativeName candidateName = candidate.filename().native();
        std::error_code ignored;
        if (IsTemporaryOf(candidateName, name) && !std::filesystem::is_directory(entry->symlink_status(ignored)) &&
            !TemporaryNames::InUse(TemporaryNames::TokenOf(candidateName, name))) {
            std::filesystem::remove(candidate, ignored);
        }
    }
}

// Creates a temporary beside path under a fresh name; `temporary` is the name it got and `token`
// its claim, released by the caller once the write is over.
FileHandle CreateTemporary(const OsFileCalls& os, const std::filesystem::path& path, std::filesystem::path& temporary,
                           std::uint64_t& token, std::string& failure)
{
    for (int attempt = 0; attempt < NameAttempts; ++attempt) {
        token = TemporaryNames::Claim();
        if (token == 0) {
            failure = "cannot write " + PathText(path) + ": too many writes under way";
            return NoFile;
        }
        temporary = TemporaryNames::NameFor(path, token);
        bool taken = false;
        const FileHandle file = CreateExclusively(os, temporary, taken, failure);
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

// Constant data, made at compile time: nothing to construct or destroy, so writes after exit
// handlers have run still find it.
const OsFileCalls& SystemFileCalls()
{
#ifdef _WIN32
    static const OsFileCalls calls{LineEnd::CrLf, CreateFileW, WriteFile, FlushFileBuffers, CloseHandle, MoveFileExW};
#else
    static const OsFileCalls calls{
        LineEnd::Lf,
        [](const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); },  // open is variadic
        ::write,
        ::fsync,
        ::close,
        ::rename,
    };
#endif
    return calls;
}

FileWriteResult WriteFileAtomically(const std::filesystem::path& path, std::string_view content, const OsFileCalls& os)
{
    std::error_code error;
    if (path.has_parent_path()) {
        std::filesystem::create_directories(path.parent_path(), error);
        if (error) {
            return {"cannot create " + PathText(path.parent_path()) + ": " + error.message()};
        }
    }
    RemoveLeftovers(path);

    std::filesystem::path temporary;
    std::uint64_t token = 0;
    std::string failure;
    const FileHandle file = CreateTemporary(os, path, temporary, token, failure);
    if (file == NoFile) {
        return {failure};
    }
    FileWriteResult result{WriteDurably(os, file, path, content)};
    if (result.failure.empty()) {
        result = Replace(os, path, temporary);
    }
    if (!result.failure.empty()) {
        std::filesystem::remove(temporary, error);
    }
    TemporaryNames::Release(token);
    return result;
}

FileWriteResult WriteTextFileAtomically(const std::filesystem::path& path, std::string_view text, const OsFileCalls& os)
{
    return WriteFileAtomically(path, InTextFormat(text, os.textLineEnd), os);
}

}  // namespace quorvex
