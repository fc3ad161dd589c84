#pragma once
// Callbacks handed to the host (timers, Execute tasks, HTTP completions, hooks, cvar and console
// callbacks) may outlive the object that registered them. WeakCallback wraps such a callback: it
// holds a weak reference, does nothing once the object is gone or the plug-in is being deleted
// (core/CallbackGate.h), keeps the object alive while it runs, and is a boundary: whatever the
// body throws is logged under `where` and goes no further.
#include <memory>
#include <utility>

#include "core/Boundary.h"
#include "core/CallbackGate.h"

namespace quorvex {

// body(T& self, arguments...) is called with the callback's arguments.
template <class T, class Body>
auto WeakCallback(std::weak_ptr<T> weak, const char* where, Body body)
{
    return [weak = std::move(weak), where, body = std::move(body)](auto&&... arguments) {
        CatchAndLog(where, [&] {
            const CallbackGate::Pass pass;
            if (!pass) {
                return;
            }
            if (auto self = weak.lock()) {
                body(*self, arguments...);
            }
        });
    };
}

}  // namespace quorvex
