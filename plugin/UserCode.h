#pragma once
// The linking page's "UserCode" message: {"UserCode": "..."} sets the player's user code, shows
// "Your user code was set!" and is answered "OK". The same code again is only answered "OK": the
// settings file is not rewritten and no toast shows, so a page (or a client) repeating it costs
// nothing. A code QvxApi::UserCodeProblem refuses changes nothing and is not answered; other JSON
// is ignored; malformed JSON and a code that is not a text throw (the caller logs them).
//
// Threads: runs on the WebSocket server thread. It sets a cvar (the host serialises changes)
// and dispatches a toast event from there.
class CVarManagerWrapper;

namespace quorvex {

class PluginEventDispatcher;
class WsMessage;

void TakeUserCodeMessage(WsMessage& message, CVarManagerWrapper& cvarManager, PluginEventDispatcher& dispatcher);

}  // namespace quorvex
