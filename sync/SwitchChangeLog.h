#pragma once
// The console line a sync feature writes when the player switches it: "<Feature>::enabled: true ->
// false", written on the game thread after each change of the feature's enable cvar.
//
//   LogSwitchChanges(cvar, weak, gameWrapper, "LoadoutSync::OnEnabledChanged", "LoadoutSync::enabled: {} -> {}");
//
// Threads: the cvar's callback runs on whichever thread changed the cvar and only reads the new
// value and the previous text; the line is written by a task handed to the game thread. Both hold
// a weak reference to the feature and do nothing once it is gone.
#include <memory>
#include <string>

#include <fmt/format.h>

#include "core/CvarText.h"
#include "core/Log.h"
#include "core/WeakCallback.h"
#include "host/CVarWrapper.h"
#include "host/GameWrapper.h"

namespace quorvex {

// `where` names the operation for the boundary; `line` holds two "{}": previous and new value.
// Does nothing for a null cvar (the host refused it).
template <class Feature>
void LogSwitchChanges(CVarWrapper cvar, std::weak_ptr<Feature> feature, std::shared_ptr<GameWrapper> gameWrapper,
                      const char* where, const char* line)
{
    if (!cvar) {
        return;
    }
    cvar.addOnValueChanged(WeakCallback(
        feature, where,
        [feature, gameWrapper = std::move(gameWrapper), where, line](Feature&, const std::string& oldText,
                                                                    const CVarWrapper& changed) {
            const bool newValue = changed.getBoolValue();
            const bool oldValue = CvarTextToBool(oldText);
            gameWrapper->Execute(WeakCallback(feature, where, [line, oldValue, newValue](Feature&, GameWrapper*) {
                Log(fmt::runtime(line), oldValue, newValue);
            }));
        }));
}

}  // namespace quorvex
