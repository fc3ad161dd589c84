#pragma once
// How the SDK entry points turn a wrapper's address back into the host's object.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace sim {

// The object at the address. A null wrapper is a caller's mistake that would crash the real
// host; here it throws std::logic_error naming the wrapper, which the plug-in's boundary logs.
template <class T>
T& ObjectAt(std::uintptr_t address, const char* wrapper)
{
    if (address == 0) {
        throw std::logic_error(std::string("plexar-sim: ") + wrapper + " used while null");
    }
    return *reinterpret_cast<T*>(address);
}

}  // namespace sim
