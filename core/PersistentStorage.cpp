#include "core/PersistentStorage.h"

#include <algorithm>
#include <system_error>
#include <utility>
#include <vector>

#include "core/AtomicFile.h"
#include "core/Boundary.h"
#include "core/Log.h"
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
                                                             bool autoWrite, bool autoLoad)
{
    auto store = std::make_shared<PersistentStorage>(CreateKey{}, plugin, storageName, autoWrite);
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
                                     const std::string& storageName, bool autoWrite)
    : cvarManager_(plugin.cvarManager),
      cfgPath_(plugin.gameWrapper->GetPlexarPath() / "cfg" / (storageName + ".cfg")),
      autoWrite_(autoWrite)
{
    Log(texts::core::StorageCreatedLine, cfgPath_.string());
}

PersistentStorage::~PersistentStorage()
{
    if (loaded_) {
        CatchAndLog("PersistentStorage::~PersistentStorage", [this] { WriteStorage(); });
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

std::string PersistentStorage::Store(const std::string& name, const std::string& value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Keep(name, value);
    if (!loaded_) {
        writeWhenLoaded_ = true;
        return {};
    }
    return autoWrite_ ? WriteLocked() : std::string();
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

std::string PersistentStorage::WriteLocked()
{
    std::string content;
    for (const auto& [name, stored] : cvars_) {
        content += fmt::format("{} \"{}\" //{}\n", name, stored.value, stored.description);
    }
    std::string failure = WriteTextFileAtomically(cfgPath_, content);
    if (!failure.empty()) {
        LogText("PersistentStorage: Failed to write the settings file: " + failure);
    }
    return failure;
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
        cvarManager_->loadCfg(cfgPath_.string());
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
    const std::string problem = RegularFileProblem(cfgPath_, MaxFileBytes);
    if (problem.empty()) {
        return true;
    }
    Log(texts::core::StorageNotLoadedLine, cfgPath_.string(), problem, MoveAside(cfgPath_));
    return false;
}

}  // namespace quorvex
