#pragma once
// A read-only view of an engine array of game objects.
#include <cstdint>

#include "host/ObjectWrapper.h"

namespace Plexar::Sdk {
// Implemented by the SDK library for every engine array.
int ArrayCount(std::uintptr_t array);
std::uintptr_t ArrayElement(std::uintptr_t array, int index);
}  // namespace Plexar::Sdk

template <class T>
class ArrayWrapper : public ObjectWrapper {
public:
    using ObjectWrapper::ObjectWrapper;

    // 0 for a null array.
    int Count() const { return IsNull() ? 0 : Plexar::Sdk::ArrayCount(memory_address); }
    // A null wrapper when index is out of range.
    T Get(int index) const
    {
        return T(IsNull() ? 0 : Plexar::Sdk::ArrayElement(memory_address, index));
    }
};
