#include "bench/AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include <malloc.h>

namespace quorvex::bench {
namespace {

std::atomic<std::size_t> allocated{0};
std::atomic<std::size_t> peak{0};

void* Allocate(std::size_t size)
{
    void* memory = std::malloc(size == 0 ? 1 : size);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    const std::size_t now = allocated.fetch_add(malloc_usable_size(memory)) + malloc_usable_size(memory);
    std::size_t seen = peak.load();
    while (now > seen && !peak.compare_exchange_weak(seen, now)) {
    }
    return memory;
}

void Release(void* memory) noexcept
{
    if (memory != nullptr) {
        allocated.fetch_sub(malloc_usable_size(memory));
        std::free(memory);
    }
}

}  // namespace

std::size_t AllocatedBytes()
{
    return allocated.load();
}

std::size_t PeakAllocatedBytes()
{
    return peak.load();
}

void ResetPeak()
{
    peak.store(allocated.load());
}

}  // namespace quorvex::bench

void* operator new(std::size_t size)
{
    return quorvex::bench::Allocate(size);
}

void* operator new[](std::size_t size)
{
    return quorvex::bench::Allocate(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return quorvex::bench::Allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return operator new(size, std::nothrow);
}

void operator delete(void* memory) noexcept
{
    quorvex::bench::Release(memory);
}

void operator delete[](void* memory) noexcept
{
    quorvex::bench::Release(memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    quorvex::bench::Release(memory);
}

void operator delete[](void* memory, std::size_t) noexcept
{
    quorvex::bench::Release(memory);
}
