#pragma once
// The boundary between the host and plug-in code: every callback the host makes (task, timer,
// hook, cvar callback, console command, HTTP completion, modal button) runs through CallGuarded,
// so nothing the plug-in throws reaches the host's own loops and threads.
#include <exception>
#include <string>
#include <string_view>

namespace sim {

// Marks the calling thread as running plug-in code on the game thread while it exists (scopes
// nest). Where the host
// makes the process's clocks virtual (plexar-sim --virtual-time), the steady clock reads as the
// host's inside such a scope, for the plug-in's durations, and stays real outside it, for the
// host's own waits and the libraries' time-outs.
class PluginCallScope {
public:
    PluginCallScope();
    ~PluginCallScope();
    PluginCallScope(const PluginCallScope&) = delete;
    PluginCallScope& operator=(const PluginCallScope&) = delete;

    // True on a thread inside a scope.
    static bool Active();
};

// Runs body(); whatever it throws becomes one line "plexar-sim: <what> threw: <message>" handed
// to report (normally the console log). Runs on the caller's thread.
template <class Report, class Body>
void CallGuarded(Report&& report, std::string_view what, Body&& body)
{
    try {
        body();
    } catch (const std::exception& error) {
        report("plexar-sim: " + std::string(what) + " threw: " + error.what());
    } catch (...) {
        report("plexar-sim: " + std::string(what) + " threw: unknown exception");
    }
}

// CallGuarded for a call of plug-in code on the game thread (task, timer, hook, cvar callback,
// console command), inside a PluginCallScope. HTTP completions, on the host's HTTP thread, read
// no duration and get none.
template <class Report, class Body>
void CallGuardedOnGameThread(Report&& report, std::string_view what, Body&& body)
{
    const PluginCallScope pluginCall;
    CallGuarded(report, what, body);
}

}  // namespace sim
