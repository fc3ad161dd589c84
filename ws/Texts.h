#pragma once
// The local WebSocket server's console lines and its close reason.
// These are the system's own texts: players, the service's staff and whoever searches a console
// log read them as they are, so each stays exactly as it is, byte for byte, odd spellings
// included. "{}" marks a {fmt} field.

namespace quorvex::texts::ws {

inline constexpr char StartingLine[] = "Local websocket server: Startin server thread";
inline constexpr char ListeningLine[] = "Local websocket server: Listening on {}.";
inline constexpr char StoppingLine[] = "Local websocket server: Stopping";
inline constexpr char InitFailedLine[] = "Local websocket server: failed to init.";
inline constexpr char ClientConnectedLine[] = "Local websocket server: Client connected";
inline constexpr char ClientDisconnectedLine[] = "Local websocket server: Client disonnected";
inline constexpr char NotAcceptingLine[] = "Local websocket server: Not accepting new connections";
inline constexpr char ClosingConnectionLine[] = "Local websocket server: Closing a client connection";
inline constexpr char WaitingLine[] = "Local websocket server: Waiting..";
inline constexpr char JoiningLine[] = "joining?";
inline constexpr char JoinedLine[] = "joined";
// The reason of the close frame each open connection gets when the server stops.
inline constexpr char StopCloseReason[] = "Server stopping";

}  // namespace quorvex::texts::ws
