#include "sim/Hooks.h"

#include <utility>

#include "sim/Guard.h"

namespace sim {
namespace {

template <class Callback>
std::vector<Callback> CopyList(const std::map<std::string, std::vector<Callback>>& table,
                               const std::string& functionName)
{
    const auto found = table.find(functionName);
    return found == table.end() ? std::vector<Callback>{} : found->second;
}

}  // namespace

Hooks::Hooks(ErrorReport report) : report_(std::move(report)) {}

void Hooks::AddPre(const std::string& functionName, PreCallback callback)
{
    if (!callback) {
        report_("plexar-sim: empty hook callback ignored for " + functionName);
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    pre_[functionName].push_back(std::move(callback));
}

void Hooks::AddPost(const std::string& functionName, GameWrapper::EventCallback callback)
{
    if (!callback) {
        report_("plexar-sim: empty hook callback ignored for " + functionName);
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    post_[functionName].push_back(std::move(callback));
}

void Hooks::Call(const std::string& functionName, std::uintptr_t caller, void* params)
{
    std::vector<PreCallback> pre;
    std::vector<GameWrapper::EventCallback> post;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pre = CopyList(pre_, functionName);
        post = CopyList(post_, functionName);
    }
    for (const auto& callback : pre) {
        CallGuardedOnGameThread(report_, "hook", [&] { callback(caller, params, functionName); });
    }
    for (const auto& callback : post) {
        CallGuardedOnGameThread(report_, "hook", [&] { callback(functionName); });
    }
}

}  // namespace sim
