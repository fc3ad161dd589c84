#pragma once
// The core's console lines and its cvar description.
// These are the system's own texts: players, the service's staff and whoever searches a console
// log read them as they are, so each stays exactly as it is, byte for byte, odd spellings
// included. "{}" marks a {fmt} field.

namespace quorvex::texts::core {

// Where, then the exception's text.
inline constexpr char ExceptionLine[] = "Exception in {}: {}";
inline constexpr char UnknownExceptionLine[] = "Unknown exception in {}";
inline constexpr char NoListenersLine[] = "Warning: Dispatching event with no listeners ";
inline constexpr char StorageCreatedLine[] = "PersistentStorage: created and will store the data in {}";
inline constexpr char StorageLoadingLine[] = "PersistentStorage: Loading the persistent storage cfg";
// The path, why it is not loaded, and where it went (core/UnusableFile.h).
inline constexpr char StorageNotLoadedLine[] =
    "PersistentStorage: The settings file {} is not loaded: {}; {}; the defaults apply and it is written afresh";
inline constexpr char CvarRegisterFailedLine[] = "PersistentStorage: Failed to register the cvar {}";
inline constexpr char CvarNotRegisteredLine[] =
    "PersistentStorage: Warning the cvar {} should be registered before adding it to persistent storage";
inline constexpr char ToastsCvarDescription[] = "If QVX toasts should pop up";

}  // namespace quorvex::texts::core
