#pragma once
// What AtomicFile needs from the operating system, in one table: the file calls it makes, and
// how a line ends in a file written in the platform's text format (CR LF on Windows, LF
// elsewhere). Everything goes through the table, so a test can put calls of its own in place of
// the system's (a short write, EINTR, a full disk, a failed fsync, close or rename) and check
// that each is handled, and can write both text formats on any platform.
//
// Threads: a table is plain constant data; any thread may use it.
#include <cstddef>

#ifdef _WIN32
#include "core/WindowsApi.h"
#else
#include <sys/types.h>
#endif

namespace quorvex {

enum class LineEnd { Lf, CrLf };

#ifdef _WIN32

struct OsFileCalls {
    LineEnd textLineEnd;
    HANDLE(WINAPI* createFile)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    BOOL(WINAPI* writeFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL(WINAPI* flushFileBuffers)(HANDLE);
    BOOL(WINAPI* closeHandle)(HANDLE);
    BOOL(WINAPI* moveFileEx)(LPCWSTR, LPCWSTR, DWORD);
};

#else

// The POSIX calls, with their usual meaning (-1 and errno on failure).
struct OsFileCalls {
    LineEnd textLineEnd;
    int (*open)(const char* path, int flags, mode_t mode);
    ssize_t (*write)(int fd, const void* bytes, std::size_t count);
    int (*fsync)(int fd);
    int (*close)(int fd);
    int (*rename)(const char* from, const char* to);
};

#endif

// The running platform's own calls and text format.
const OsFileCalls& SystemFileCalls();

}  // namespace quorvex
