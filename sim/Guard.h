#pragma once
// The boundary between the host and plug-in code: every callback the host makes (task, timer,
// hook, cvar callback, console command, HTTP completion, modal button) runs through CallGuarded,
// so nothing the plug-in throws reaches the host's own loops and threads.
#include <exception>
#include <string>
#include <string_view>

namespace sim {

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

}  // namespace sim
