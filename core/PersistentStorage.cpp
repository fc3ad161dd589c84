#include "core/PersistentStorage.h"

#include <algorithm>
#include <system_error>
#include <utility>
#include <vector>

#include "core/AtomicFile.h"
#include "core/Boundary.h"
#include "core/Log.h"
#include "core/PathText.h"
#include "core/Texts.h"
#include "core/UnusableFile.h"
#include "core/WeakCallback.h"
#include "host/GameWrapper.h"

namespace quorvex {
namespace {

// A double quote would end the value early and a line break would start a new console command.
std::string WithoutUnstorableCharacters(std::string value)
{
    value.erase(std::remove_if(value.begin(), value.end(),
                               [](char c) { return c == '"' || c == '\n' || c == '\r'; }),
                value.end());
    return value;
}

}  // namespace

std::shared_ptr<PersistentStorage> PersistentStorage::Create(const Plexar::Plugin::PlexarPlugin& plugin,
                                                             const std::string& storageName,
                                                             bool autoWrite, bool autoLoad, const OsFileCalls& os)
{
    auto store = std::make_shared<PersistentStorage>(CreateKey{}, plugin, storageName, autoWrite, os);
    store->cvarManager_->registerNotifier(
        "writeconfig",
        WeakCallback(store->weak_from_this(), "PersistentStorage::WriteStorage",
                        [](PersistentStorage& self, const std::vector<std::string>&) {
                            if (self.loaded_) {
                                self.WriteStorage();
                            }
                        }),
        "", 0);
    if (autoLoad) {
        plugin.gameWrapper->SetTimeout(
            WeakCallback(store->weak_from_this(), "PersistentStorage::LoadStorage",
                            [](PersistentStorage& self, GameWrapper*) { self.LoadStorage(); }),
            0.1f);
    }
    return store;
}

PersistentStorage::PersistentStorage(CreateKey, const Plexar::Plugin::PlexarPlugin& plugin,
                                     const std::string& storageName, bool autoWrite, const OsFileCalls& os)
    : cvarManager_(plugin.cvarManager),
      gameWrapper_(plugin.gameWrapper),
      os_(os),
      cfgPath_(plugin.gameWrapper->GetPlexarPath() / "cfg" / (storageName + ".cfg")),
      autoWrite_(autoWrite)
{
    Log(texts::core::StorageCreatedLine, PathText(cfgPath_));
}

PersistentStorage::~PersistentStorage()
{
    if (loaded_) {
        // The last write: nothing is left to run a retry, nor to hear how a pending one ended.
        CatchAndLog("PersistentStorage::~PersistentStorage", [this] {
            std::lock_guard<std::mutex> lock(mutex_);
            waiting_.clear();
            WriteLocked(false);
        });
    }
}

CVarWrapper PersistentStorage::RegisterPersistentCvar(const std::string& name,
                                                      const std::string& defaultValue,
                                                      const std::string& description,
                                                      bool searchable, float min, float max)
{
    CVarWrapper cvar =
        cvarManager_->registerCvar(name, defaultValue, description, searchable, false, min, false, max, true);
    if (cvar) {
        AddCVar(name);
    } else {
        Log(texts::core::CvarRegisterFailedLine, name);
    }
    return cvar;
}

CVarWrapper PersistentStorage::RegisterOwnedCvar(const std::string& name, const std::string& defaultValue,
                                                 const std::string& description)
{
    CVarWrapper cvar = cvarManager_->registerCvar(name, defaultValue, description, false, false, 0, false, 0, true);
    if (!cvar) {
        Log(texts::core::CvarRegisterFailedLine, name);
        return cvar;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    cvars_[name].description = cvar.getDescription();
    Keep(name, cvar.getStringValue());
    return cvar;
}

void PersistentStorage::AddCVar(const std::string& name)
{
    CVarWrapper cvar = cvarManager_->getCvar(name);
    if (!cvar) {
        Log(texts::core::CvarNotRegisteredLine,
            name);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cvars_[name].description = cvar.getDescription();
        Keep(name, cvar.getStringValue());
    }
    cvar.addOnValueChanged(WeakCallback(weak_from_this(), "PersistentStorage::OnCvarChanged",
                                    [](PersistentStorage& self, const std::string&, const CVarWrapper& changed) {
                                        self.OnCvarChanged(changed);
                                    }));
}

void PersistentStorage::Keep(const std::string& name, const std::string& value)
{
    const auto found = cvars_.find(name);
    if (found == cvars_.end()) {
        return;
    }
    std::string storable = WithoutUnstorableCharacters(value);
    if (storable != value) {
        Log("PersistentStorage: Warning the value of {} holds double quotes or line breaks, which are not stored",
            name);
    }
    found->second.value = std::move(storable);
}

void PersistentStorage::OnCvarChanged(const CVarWrapper& cvar)
{
    const std::string name = cvar.getCVarName();
    std::lock_guard<std::mutex> lock(mutex_);
    // Read under the lock: a change racing this one stores after it, so the later value stays.
    Keep(name, cvar.getStringValue());
    if (autoWrite_ && loaded_) {
        WriteLocked();
    }
}

PersistentStorage::SaveOutcome PersistentStorage::Store(const std::string& name, const std::string& value,
                                                       Settled settled)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Keep(name, value);
    SaveOutcome outcome;
    if (!loaded_) {
        writeWhenLoaded_ = true;
        outcome.pending = true;
    } else if (autoWrite_) {
        outcome = WriteLocked();
    }
    if (outcome.pending && settled) {
        waiting_.push_back(std::move(settled));
    }
    return outcome;
}

void PersistentStorage::StoreLoaded(const std::string& name, const std::string& value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Keep(name, value);
}

void PersistentStorage::WriteStorage()
{
    std::lock_guard<std::mutex> lock(mutex_);
    WriteLocked();
}

PersistentStorage::SaveOutcome PersistentStorage::WriteLocked(bool mayRetry)
{
    std::string content;
    for (const auto& [name, stored] : cvars_) {
        content += fmt::format("{} \"{}\" //{}\n", name, stored.value, stored.description);
    }
    FileWriteResult result = WriteTextFileAtomically(cfgPath_, content, os_);
    if (mayRetry && retry_.After(result, *gameWrapper_,
                                 WeakCallback(weak_from_this(), "PersistentStorage::RetryWrite",
                                              [](PersistentStorage& self, GameWrapper*) { self.RetryWrite(); })) ==
                        HeldFileRetry::Step::Waiting) {
        return {true, {}};
    }
    if (!result.failure.empty()) {
        LogText("PersistentStorage: Failed to write the settings file: " + result.failure);
    }
    if (!waiting_.empty()) {
        // On the game thread, after the lock is released: a listener may show a toast or store.
        gameWrapper_->Execute([waiting = std::exchange(waiting_, {}), failure = result.failure](GameWrapper*) {
            for (const Settled& settled : waiting) {
                CatchAndLog("PersistentStorage::Settled", [&] { settled(failure); });
            }
        });
    }
    return {false, std::move(result.failure)};
}

void PersistentStorage::RetryWrite()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (retry_.TimerFired()) {
        WriteLocked();
    }
}

void PersistentStorage::LoadStorage()
{
    LogText(texts::core::StorageLoadingLine);
    const bool usable = CheckFileBeforeLoad();
    if (usable) {
        loading_ = true;
        struct LoadEnd {
            std::atomic<bool>& loading;
            ~LoadEnd() { loading = false; }
        } loadEnd{loading_};
        // CheckFileBeforeLoad made sure the path converts, when there is a file.
        if (const auto path = PathUtf8(cfgPath_)) {
            cvarManager_->loadCfg(*path);
        }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    loaded_ = true;
    if (std::exchange(writeWhenLoaded_, false) || !usable) {
        WriteLocked();
    }
}

bool PersistentStorage::CheckFileBeforeLoad()
{
    std::error_code error;
    if (std::filesystem::status(cfgPath_, error).type() == std::filesystem::file_type::not_found) {
        return true;  // the host says so; the first change writes it
    }
    const std::string problem = PathUtf8(cfgPath_) ? RegularFileProblem(cfgPath_, MaxFileBytes)
                                                   : "its path holds characters the host cannot take";
    if (problem.empty()) {
        return true;
    }
    Log(texts::core::StorageNotLoadedLine, PathText(cfgPath_), problem, MoveAside(cfgPath_));
    return false;
}

}  // namespace quorvex
