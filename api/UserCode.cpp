#include "api/UserCode.h"

#include <algorithm>
#include <utility>

#include <fmt/format.h>

#include "api/Texts.h"
#include "core/Events.h"
#include "core/Log.h"
#include "core/PersistentStorage.h"
#include "core/PluginEventDispatcher.h"
#include "core/WeakCallback.h"

namespace quorvex {
namespace {

// Set while this thread sets the cvar to a code already taken, so that its callback does not
// take the change for a new one.
thread_local bool settingCvar = false;

}  // namespace

std::shared_ptr<UserCode> UserCode::Create(std::shared_ptr<PersistentStorage> storage,
                                           std::shared_ptr<PluginEventDispatcher> dispatcher)
{
    auto userCode = std::make_shared<UserCode>(CreateKey{}, std::move(storage), std::move(dispatcher));
    userCode->cvar_ = userCode->storage_->RegisterOwnedCvar(Cvar, "", texts::api::UserCodeCvarDescription);
    if (userCode->cvar_) {
        userCode->TakeExisting();
        userCode->cvar_.addOnValueChanged(WeakCallback(userCode->weak_from_this(), "UserCode::OnCvarChanged",
                                                       [](UserCode& self, const std::string&, const CVarWrapper&) {
                                                           self.OnCvarChanged();
                                                       }));
    }
    return userCode;
}

UserCode::UserCode(CreateKey, std::shared_ptr<PersistentStorage> storage, std::shared_ptr<PluginEventDispatcher> dispatcher)
    : storage_(std::move(storage)), dispatcher_(std::move(dispatcher))
{
}

void UserCode::TakeExisting()
{
    std::lock_guard<std::mutex> lock(changeMutex_);
    const std::string code = cvar_.getStringValue();
    if (const std::string problem = Problem(code); !problem.empty()) {
        Log(texts::api::UserCodeRefusedLine, problem);
        storage_->StoreLoaded(Cvar, "");
        SetCvar("");
        return;
    }
    current_.Set(code);
}

UserCode::Offered UserCode::Offer(const std::string& code, Saved saved)
{
    std::lock_guard<std::mutex> lock(changeMutex_);
    return Take(code, Source::LinkingPage, std::move(saved));
}

void UserCode::OnCvarChanged()
{
    if (settingCvar) {
        return;
    }
    std::lock_guard<std::mutex> lock(changeMutex_);
    // Read under the lock: of two changes racing, the later one is taken last.
    const std::string code = cvar_.getStringValue();
    const std::string current = current_.Get();
    if (code == current) {
        return;
    }
    const bool fromFile = storage_->IsLoading();
    if (fromFile && acceptedSinceStart_) {
        Log(texts::api::UserCodeKeptOverFileLine, Shown(current), Shown(code));
        SetCvar(current);
        return;
    }
    if (Take(code, fromFile ? Source::SettingsFile : Source::Console).outcome == Outcome::Refused) {
        SetCvar(current);
    }
}

UserCode::Offered UserCode::Take(const std::string& code, Source source, Saved saved)
{
    std::string previous = current_.Get();
    if (code == previous) {
        return {Outcome::Unchanged, {}, {}};
    }
    if (const std::string problem = Problem(code); !problem.empty()) {
        Log(texts::api::UserCodeRefusedLine, problem);
        return {Outcome::Refused, {}, {}};
    }
    current_.Set(code);
    PersistentStorage::SaveOutcome save;
    if (source == Source::SettingsFile) {
        storage_->StoreLoaded(Cvar, code);
    } else {
        acceptedSinceStart_ = true;
        PersistentStorage::Settled settled;
        if (saved) {
            settled = [saved = std::move(saved), previous](const std::string& failure) {
                saved({Outcome::Changed, previous, failure, false});
            };
        }
        save = storage_->Store(Cvar, code, std::move(settled));
    }
    if (source == Source::LinkingPage) {
        SetCvar(code);
    }
    Log(texts::api::UserCodeChangedLine, Shown(previous), Shown(code));
    dispatcher_->Dispatch(EventType::UserCodeChanged, UserCodeChanged(previous, code));
    return {Outcome::Changed, std::move(previous), std::move(save.failure), save.pending};
}

void UserCode::SetCvar(const std::string& code)
{
    if (!cvar_) {
        return;
    }
    settingCvar = true;
    struct Reset {
        ~Reset() { settingCvar = false; }
    } reset;
    cvar_.setValue(code);
}

std::string UserCode::Problem(const std::string& code)
{
    if (code.size() > MaxBytes) {
        return fmt::format("it is {} bytes long, more than {}", code.size(), MaxBytes);
    }
    for (const char c : code) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F) {
            return fmt::format("it holds the byte 0x{:02X}, which is not printable ASCII", byte);
        }
        if (c == '"' || c == '\\') {
            return fmt::format("it holds the character {}", c);
        }
    }
    return {};
}

std::string UserCode::Shown(const std::string& code)
{
    if (code.empty()) {
        return code;
    }
    const std::size_t shown = std::min<std::size_t>(4, code.size() / 2);
    return "\u2026" + code.substr(code.size() - shown);
}

}  // namespace quorvex
