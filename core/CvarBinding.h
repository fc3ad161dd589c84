#pragma once
// Keeps a copy of a switch cvar's value that any thread may read, as an atomic flag. The host's
// own binding writes a plain bool from whichever thread changed the cvar, which a reader on
// another thread cannot read safely; this one is built from the host's value-changed callback
// instead.
//
//   auto enabled = std::make_shared<std::atomic<bool>>(true);
//   BindFlag(storage.RegisterPersistentCvar(...), enabled);  // *enabled follows the cvar
//
// How it is made safe: the copy is written once at once (on the binding thread) and then after
// every change by a value-changed callback, on the thread that changed the cvar (the game thread,
// the WebSocket thread). Each write reads the cvar's value current at that moment and stores it
// under the binding's own mutex, so the writes of one binding never interleave and the last of
// them, which starts after the last change, leaves the copy equal to the cvar. Readers never
// take that mutex: the flag is atomic.
//
// The host calls value-changed callbacks in the order they were added, so bind before adding a
// callback of your own that reads the copy. The plug-in may write the copy itself (a refused
// request clears a feature's flag); the next change of the cvar overwrites that. The callback
// holds the copy weakly: once its owners let it go, later changes write nothing. A null cvar
// (refused by the host) binds nothing.
#include <atomic>
#include <memory>

#include "host/CVarWrapper.h"

namespace quorvex {

// The flag is on when the host reads the cvar as true (CVarWrapper::getBoolValue).
void BindFlag(CVarWrapper cvar, const std::shared_ptr<std::atomic<bool>>& flag);

}  // namespace quorvex
