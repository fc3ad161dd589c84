#pragma once
// Hooks on engine functions: callbacks before ("pre") and after ("post") each call.
//
// Threads: Add* may be called from any thread; Call runs the callbacks on the calling thread
// (the game thread when the game plays the call). The tables are guarded by mutex_, and Call
// runs a copy of the lists taken under it, so a callback may add hooks (they take effect from
// the next call) without disturbing the call in progress.
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "host/GameWrapper.h"

namespace sim {

class Hooks {
public:
    using ErrorReport = std::function<void(const std::string& line)>;

    // A pre callback gets the calling actor's address, the raw parameter block and the name.
    using PreCallback = std::function<void(std::uintptr_t caller, void* params, std::string functionName)>;

    explicit Hooks(ErrorReport report);

    // HookEvent and HookEventWithCaller share one pre list, in registration order.
    void AddPre(const std::string& functionName, PreCallback callback);
    void AddPost(const std::string& functionName, GameWrapper::EventCallback callback);

    // One call of the function: the pre callbacks, then the post callbacks.
    void Call(const std::string& functionName, std::uintptr_t caller, void* params);

private:
    const ErrorReport report_;
    std::mutex mutex_;
    std::map<std::string, std::vector<PreCallback>> pre_;
    std::map<std::string, std::vector<GameWrapper::EventCallback>> post_;
};

}  // namespace sim
