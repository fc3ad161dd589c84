#pragma once
// Base of every wrapper over a game object: the object's address, or 0 for none.
#include <cstdint>

class ObjectWrapper {
public:
    explicit ObjectWrapper(std::uintptr_t mem = 0) : memory_address(mem) {}

    bool IsNull() const { return memory_address == 0; }
    explicit operator bool() const { return !IsNull(); }

    std::uintptr_t memory_address;
};

// Any engine actor; hooks called "with caller" hand the calling actor as one.
class ActorWrapper : public ObjectWrapper {
public:
    using ObjectWrapper::ObjectWrapper;
};
