#pragma once
// A read-only view of an engine array of game objects. The SDK library provides it for the
// element types of host/GameData.h that arrays hold (OnlineProductWrapper,
// ProductAttributeWrapper).
#include "host/ObjectWrapper.h"

template <class T>
class ArrayWrapper : public ObjectWrapper {
public:
    using ObjectWrapper::ObjectWrapper;

    // 0 for a null array.
    int Count() const;
    // A null wrapper when index is out of range.
    T Get(int index) const;
};
