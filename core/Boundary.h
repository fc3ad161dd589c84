#pragma once
// The boundary of every host callback (hook, timer, Execute task, HTTP completion, WebSocket
// handler, console notifier): whatever the work throws is logged and goes no further, so no
// exception ever reaches the host.
#include <exception>
#include <string_view>

namespace quorvex {

// Logs "Exception in {where}: {what}".
void LogException(std::string_view where, const std::exception& error) noexcept;
// Logs "Unknown exception in {where}".
void LogUnknownException(std::string_view where) noexcept;

// Runs body(); `where` is the qualified name of the operation, as "InventorySync::Sync".
template <class Body>
void CatchAndLog(std::string_view where, Body&& body) noexcept
{
    try {
        body();
    } catch (const std::exception& error) {
        LogException(where, error);
    } catch (...) {
        LogUnknownException(where);
    }
}

}  // namespace quorvex
