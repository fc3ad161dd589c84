#include "sim/Console.h"

#include <fstream>
#include <system_error>
#include <utility>

#include "sim/ConsoleLine.h"
#include "sim/Guard.h"
#include "sim/Journal.h"

namespace sim {

Console::Console(Journal& journal) : journal_(journal) {}

Cvar* Console::RegisterCvar(CvarDefinition definition)
{
    if (!IsValidConsoleName(definition.name)) {
        Log("plexar-sim: refused cvar name \"" + definition.name + "\"");
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    auto& slot = cvars_[definition.name];
    if (!slot) {
        slot = std::make_unique<Cvar>(std::move(definition), mutex_,
                                      [this](const std::string& line) { Log(line); });
    }
    return slot.get();
}

Cvar* Console::FindCvar(const std::string& name) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = cvars_.find(name);
    return found == cvars_.end() ? nullptr : found->second.get();
}

void Console::RegisterNotifier(const std::string& name,
                               CVarManagerWrapper::NotifierCallback callback)
{
    if (!IsValidConsoleName(name) || !callback) {
        Log("plexar-sim: refused command \"" + name + "\"");
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    notifiers_[name] = std::move(callback);
}

CVarManagerWrapper::NotifierCallback Console::FindNotifier(const std::string& name) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = notifiers_.find(name);
    return found == notifiers_.end() ? nullptr : found->second;
}

void Console::Execute(const std::string& line)
{
    const ConsoleLine parsed = ParseConsoleLine(line);
    const auto cannotParse = [&] { Log("plexar-sim: cannot parse console line: " + line); };
    switch (parsed.kind) {
    case ConsoleLine::Kind::Blank:
        return;
    case ConsoleLine::Kind::Malformed:
        cannotParse();
        return;
    case ConsoleLine::Kind::Command:
        break;
    }
    if (Cvar* cvar = FindCvar(parsed.name)) {
        if (parsed.rest.empty()) {
            Log(parsed.name + " = \"" + cvar->Value() + "\"");
            return;
        }
        std::string value;
        if (!ReadCvarValue(parsed.rest, value)) {
            cannotParse();
            return;
        }
        cvar->Set(std::move(value));
        return;
    }
    if (const auto notifier = FindNotifier(parsed.name)) {
        CallGuarded([this](const std::string& text) { Log(text); }, "command " + parsed.name,
                    [&] { notifier(SplitArguments(parsed.name, parsed.rest)); });
        return;
    }
    Log("plexar-sim: unknown command: " + parsed.name);
}

void Console::LoadCfg(const std::filesystem::path& path)
{
    std::error_code error;
    const bool exists = std::filesystem::exists(path, error);
    if (!error && !exists) {
        Log("plexar-sim: config file not found: " + path.string());
        return;
    }
    std::ifstream file(path);
    if (error || !file) {
        Log("plexar-sim: cannot read config file: " + path.string());
        return;
    }
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();  // a file written on the host's platform
        }
        Execute(line);
    }
}

void Console::Log(const std::string& text)
{
    journal_.Add(JournalEntry::Kind::Console, text);
}

}  // namespace sim
