#pragma once
// The bytes the program's heap holds in live blocks now: what a test of memory growth compares.
// The resident size is no measure of that: allocator caches, a sanitizer's quarantine and shadow
// memory, and the machine's other load all move it.
#include <cstddef>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizer runtime's count (GCC ships the runtime without its interface headers).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace quorvex::testing {

inline std::size_t LiveHeapBytes()
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = ::mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

}  // namespace quorvex::testing
