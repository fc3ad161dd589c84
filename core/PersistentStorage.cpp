#include "core/PersistentStorage.h"

#include <algorithm>
#include <vector>

#include "core/AtomicFile.h"
#include "core/Boundary.h"
#include "core/Log.h"
#include "core/Texts.h"
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

void PersistentStorage::AddCVar(const std::string& name)
{
    CVarWrapper cvar = cvarManager_->getCvar(name);
    if (!cvar) {
        Log(texts::core::CvarNotRegisteredLine,
            name);
        return;
    }
    StoredCvar stored = ReadStorable(cvar);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cvars_[name] = std::move(stored);
    }
    cvar.addOnValueChanged(WeakCallback(weak_from_this(), "PersistentStorage::OnCvarChanged",
                                    [](PersistentStorage& self, const std::string&, const CVarWrapper& changed) {
                                        self.OnCvarChanged(changed);
                                    }));
}

PersistentStorage::StoredCvar PersistentStorage::ReadStorable(const CVarWrapper& cvar) const
{
    const std::string value = cvar.getStringValue();
    std::string storable = WithoutUnstorableCharacters(value);
    if (storable != value) {
        Log("PersistentStorage: Warning the value of {} holds double quotes or line breaks, which are not stored",
            cvar.getCVarName());
    }
    return {std::move(storable), cvar.getDescription()};
}

void PersistentStorage::OnCvarChanged(const CVarWrapper& cvar)
{
    const std::string name = cvar.getCVarName();
    StoredCvar stored = ReadStorable(cvar);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (auto found = cvars_.find(name); found != cvars_.end()) {
            found->second = std::move(stored);
        }
    }
    if (autoWrite_ && loaded_) {
        WriteStorage();
    }
}

void PersistentStorage::WriteStorage()
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::string content;
    for (const auto& [name, stored] : cvars_) {
        content += fmt::format("{} \"{}\" //{}\n", name, stored.value, stored.description);
    }
    if (const std::string failure = WriteTextFileAtomically(cfgPath_, content); !failure.empty()) {
        LogText("PersistentStorage: Failed to write the settings file: " + failure);
    }
}

void PersistentStorage::LoadStorage()
{
    LogText(texts::core::StorageLoadingLine);
    cvarManager_->loadCfg(cfgPath_.string());
    loaded_ = true;
}

}  // namespace quorvex
