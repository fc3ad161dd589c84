// CVarManagerWrapper (the address is the sim::Console) and CVarWrapper (a sim::Cvar).
#include <filesystem>
#include <utility>

#include "host/CVarManagerWrapper.h"
#include "host/CVarWrapper.h"
#include "sim/Console.h"
#include "sim/Cvar.h"
#include "sim/sdk/ObjectAt.h"

namespace {

sim::Console& ConsoleOf(const CVarManagerWrapper& manager)
{
    return sim::ObjectAt<sim::Console>(manager.memory_address, "CVarManagerWrapper");
}

sim::Cvar& CvarOf(const CVarWrapper& cvar)
{
    return sim::ObjectAt<sim::Cvar>(cvar.memory_address, "CVarWrapper");
}

CVarWrapper WrapperOf(sim::Cvar* cvar)
{
    return CVarWrapper(reinterpret_cast<std::uintptr_t>(cvar));
}

}  // namespace

CVarWrapper CVarManagerWrapper::registerCvar(const std::string& name,
                                             const std::string& defaultValue,
                                             const std::string& description, bool searchable,
                                             bool hasMin, float min, bool hasMax, float max,
                                             bool saveToCfg)
{
    return WrapperOf(ConsoleOf(*this).RegisterCvar(
        {name, defaultValue, description, searchable, hasMin, min, hasMax, max, saveToCfg}));
}

CVarWrapper CVarManagerWrapper::getCvar(const std::string& name)
{
    return WrapperOf(ConsoleOf(*this).FindCvar(name));
}

// The substitute host has no command descriptions or permission levels.
void CVarManagerWrapper::registerNotifier(const std::string& name, NotifierCallback callback,
                                          const std::string& /*description*/,
                                          unsigned char /*permissions*/)
{
    ConsoleOf(*this).RegisterNotifier(name, std::move(callback));
}

void CVarManagerWrapper::loadCfg(const std::string& path)
{
    ConsoleOf(*this).LoadCfg(std::filesystem::u8path(path));  // the host takes paths as UTF-8
}

void CVarManagerWrapper::log(const std::string& text)
{
    ConsoleOf(*this).Log(text);
}

std::string CVarWrapper::getCVarName() const
{
    return CvarOf(*this).Definition().name;
}

std::string CVarWrapper::getDescription() const
{
    return CvarOf(*this).Definition().description;
}

std::string CVarWrapper::getStringValue() const
{
    return CvarOf(*this).Value();
}

bool CVarWrapper::getBoolValue() const
{
    return sim::CvarTextIsOn(getStringValue());
}

void CVarWrapper::setValue(const std::string& value)
{
    CvarOf(*this).Set(value);
}

void CVarWrapper::setValue(int value)
{
    CvarOf(*this).Set(std::to_string(value));
}

void CVarWrapper::bindTo(std::shared_ptr<bool> value)
{
    CvarOf(*this).Bind(std::move(value));
}

void CVarWrapper::bindTo(std::shared_ptr<std::string> value)
{
    CvarOf(*this).Bind(std::move(value));
}

void CVarWrapper::addOnValueChanged(ValueChanged callback)
{
    CvarOf(*this).AddOnValueChanged(std::move(callback));
}
