#include "core/CvarBinding.h"

#include <mutex>
#include <string>
#include <utility>

#include "core/Boundary.h"

namespace quorvex {
namespace {

template <class Value>
struct Binding {
    explicit Binding(const std::shared_ptr<Value>& value) : target(value) {}

    std::mutex mutex;
    const std::weak_ptr<Value> target;
};

// Writes the cvar's current value into the copy now and after every change; copy(value, cvar)
// does one write.
template <class Value, class Copy>
void Bind(CVarWrapper cvar, const std::shared_ptr<Value>& value, Copy copy)
{
    if (!cvar || !value) {
        return;
    }
    auto binding = std::make_shared<Binding<Value>>(value);
    auto write = [binding, copy](const CVarWrapper& source) {
        std::lock_guard<std::mutex> lock(binding->mutex);
        if (auto target = binding->target.lock()) {
            copy(*target, source);
        }
    };
    write(cvar);
    cvar.addOnValueChanged([write](const std::string& /*oldValue*/, CVarWrapper changed) {
        CatchAndLog("CvarBinding::OnValueChanged", [&] { write(changed); });
    });
}

}  // namespace

void BindFlag(CVarWrapper cvar, const std::shared_ptr<std::atomic<bool>>& flag)
{
    Bind(std::move(cvar), flag,
         [](std::atomic<bool>& target, const CVarWrapper& source) { target = source.getBoolValue(); });
}

}  // namespace quorvex
