#include "core/Boundary.h"

#include "core/Log.h"

namespace quorvex {

void LogException(std::string_view where, const std::exception& error) noexcept
{
    try {
        Log("Exception in {}: {}", where, error.what());
    } catch (...) {
        // Out of memory while reporting: nothing more can be said, and nothing may escape.
    }
}

void LogUnknownException(std::string_view where) noexcept
{
    try {
        Log("Unknown exception in {}", where);
    } catch (...) {
    }
}

}  // namespace quorvex
