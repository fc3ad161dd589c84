#include "sim/Console.h"

#include <fstream>
#include <set>

#include <fmt/format.h>
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
        Log("plexar-sim: refused cvar name \"" + ShownText(definition.name) + "\"");
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
        Log("plexar-sim: refused command \"" + ShownText(name) + "\"");
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
    const auto cannotParse = [&] { Log("plexar-sim: cannot parse console line: " + ShownText(line)); };
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
            Log(parsed.name + " = \"" + ShownText(cvar->Value()) + "\"");
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
        CallGuardedOnGameThread([this](const std::string& text) { Log(text); }, "command " + parsed.name,
                    [&] { notifier(SplitArguments(parsed.name, parsed.rest)); });
        return;
    }
    if (RunBuiltIn(SplitArguments(parsed.name, parsed.rest))) {
        return;
    }
    Log("plexar-sim: unknown command: " + ShownText(parsed.name));
}

bool Console::RunBuiltIn(const std::vector<std::string>& arguments)
{
    const std::string& name = arguments.front();
    if (name == "cvarlist" && arguments.size() <= 2) {
        ListCvars(arguments.size() == 2 ? arguments[1] : std::string());
        return true;
    }
    if (name == "help" && arguments.size() == 1) {
        ListCommands();
        return true;
    }
    if (name == "cvarlist" || name == "help") {
        Log(name == "help" ? "plexar-sim: usage: help" : "plexar-sim: usage: cvarlist [PREFIX]");
        return true;
    }
    return false;
}

void Console::ListCvars(const std::string& prefix)
{
    std::vector<const Cvar*> listed;  // cvars are never removed: safe to read after the lock
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& [name, cvar] : cvars_) {
            if (name.rfind(prefix, 0) == 0) {
                listed.push_back(cvar.get());
            }
        }
    }
    for (const Cvar* cvar : listed) {
        const auto& definition = cvar->Definition();
        Log(definition.name + " = \"" + ShownText(cvar->Value()) + "\"" +
            (definition.description.empty() ? "" : "  " + ShownText(definition.description)));
    }
    Log(fmt::format("{} cvar{}{}", listed.size(), listed.size() == 1 ? "" : "s",
                    prefix.empty() ? std::string() : " starting with " + ShownText(prefix)));
}

void Console::ListCommands()
{
    std::vector<std::string> names;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& entry : notifiers_) {
            names.push_back(entry.first);
        }
    }
    for (const auto& name : names) {
        Log(name);
    }
    Log("cvarlist [PREFIX]");
    Log("help");
}

std::vector<std::string> Console::Names() const
{
    std::set<std::string> names{"cvarlist", "help"};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& entry : cvars_) {
            names.insert(entry.first);
        }
        for (const auto& entry : notifiers_) {
            names.insert(entry.first);
        }
    }
    return {names.begin(), names.end()};
}

void Console::LoadCfg(const std::filesystem::path& path)
{
    std::error_code error;
    const bool exists = std::filesystem::exists(path, error);
    if (!error && !exists) {
        Log("plexar-sim: config file not found: " + path.u8string());
        return;
    }
    // As a host must: a FIFO or a device would block the game thread, a folder is no file.
    if (!error && !std::filesystem::is_regular_file(path, error)) {
        Log("plexar-sim: config file is not a regular file, not read: " + path.u8string());
        return;
    }
    std::ifstream file(path);
    if (error || !file) {
        Log("plexar-sim: cannot read config file: " + path.u8string());
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
