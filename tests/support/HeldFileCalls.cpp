#include "tests/support/HeldFileCalls.h"

#ifndef _WIN32
#include <cerrno>
#include <cstdio>
#endif

namespace quorvex::testing {
namespace {

// Counts the attempt and says whether it is refused (the writes of one file are serialised).
bool Refused()
{
    ++HeldTarget::attempts;
    const int left = HeldTarget::refusals;
    if (left > 0) {
        --HeldTarget::refusals;
    }
    return left != 0;
}

}  // namespace

const OsFileCalls& HeldFileCalls()
{
    const OsFileCalls& system = SystemFileCalls();
#ifdef _WIN32
    static const OsFileCalls calls{system.textLineEnd, system.createFile, system.writeFile, system.flushFileBuffers,
                                   system.closeHandle, [](LPCWSTR from, LPCWSTR to, DWORD flags) -> BOOL {
                                       SetLastError(ERROR_SHARING_VIOLATION);
                                       return Refused() ? FALSE : MoveFileExW(from, to, flags);
                                   }};
#else
    static const OsFileCalls calls{system.textLineEnd, system.open, system.write, system.fsync, system.close,
                                   [](const char* from, const char* to) {
                                       errno = EBUSY;
                                       return Refused() ? -1 : std::rename(from, to);
                                   }};
#endif
    return calls;
}

}  // namespace quorvex::testing
