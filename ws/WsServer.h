#pragma once
// The local WebSocket server through which the Quorvex web page hands the plug-in messages (the
// player's user code). It listens on the loopback interface only, accepts pages from the Quorvex
// site or from the player's own machine (every origin header a handshake carries is checked),
// refuses the old hixie-76 handshake, whose messages the library does not bound, refuses
// messages (and handshake request bodies) over 64 KiB, and hands every message to every
// registered handler.
//
// Any local process can reach it, so what one client can make it hold or do is bounded (Limits):
// open connections (beyond them a new one is dropped at once, unless one that sent no message for
// 10 s gives its place), messages and pongs a second,
// bytes queued for a client that does not read, and time without a word. When the process runs
// out of descriptors the accept loop waits (100 ms, doubling up to 3.2 s) instead of spinning.
// The stop drops handshakes still under way and gives open connections 3 s to finish their
// closing handshake before dropping them, so it ends within the 5 s the plug-in's unload may take.
//
// Threads:
// - The constructor, RegisterHandler, Start and the destructor run on one owner thread (the game
//   thread, in onLoad and onUnload); the destructor must not run on the server thread.
// - Start launches the server thread. Handlers, the connection bookkeeping and, during a stop,
//   the closing of the connections all run there: the connection library is only ever used from
//   that thread. The destructor hands the closing work to it and waits, so a handler must never
//   wait for the owner thread.
// - Port, WaitUntilListening and EndedWithoutListening may be called from any thread.
// Shared state: the start-up phase and the stop request are guarded by one mutex with a condition
// variable; the handler registry and the limits are set before the server thread starts and only
// read by it; the port is atomic; the bookkeeping of connections is the server thread's alone.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <system_error>

#include "ws/WsMessage.h"

namespace quorvex {

class WsServer
{
public:
    // Called on the server thread for each message; an exception it throws is logged and the
    // server goes on serving.
    using MessageHandler = std::function<void(WsMessage& message)>;

    // What Port returns until the server thread has stored the port it serves on.
    static constexpr std::uint16_t UnknownPort = 65535;

    // What one client may make the server hold or do. The web page opens one connection and
    // sends one message, so a client near any of these is not the page.
    struct Limits {
        // Connections at once, counting those still in their handshake.
        std::size_t connections = 32;
        // Messages handed to the handlers, per connection and second (as many in a burst); one
        // more closes the connection with 1008.
        double messagesPerSecond = 10;
        // Pings answered, per connection and second (as many in a burst); others get no pong.
        double pongsPerSecond = 4;
        // Bytes waiting to be sent to one client; a frame that would pass it drops the
        // connection (a client that does not read cannot take a closing handshake either).
        std::size_t queuedBytes = 64 * 1024;
        // A connection that sent nothing (no message, no ping) for this long is closed.
        std::chrono::milliseconds idle = std::chrono::seconds(60);
        // At the connection limit, the open connection that sent no message (pings do not
        // count) for the longest time, if at least this long, is closed with 1013 to make room
        // for a new handshake: a process holding every place cannot keep the page out.
        std::chrono::milliseconds yieldAfter = std::chrono::seconds(10);
        // Tests only (empty otherwise): asked before each accept, on the server thread; an error
        // it returns stands for the system failing the accept, which Winsock cannot be made to
        // do on purpose, and takes the accept loop's way back off.
        std::function<std::error_code()> acceptFailure;
    };

    // Builds the server with the limits above (or the ones given); opens nothing.
    WsServer();
    explicit WsServer(const Limits& limits);
    // Stops accepting, drops handshakes under way, closes every open connection with 1001
    // "Server stopping", waits until their closing handshakes end (3 s at most, then they are
    // dropped) and joins the server thread. Never throws.
    ~WsServer();
    WsServer(const WsServer&) = delete;
    WsServer& operator=(const WsServer&) = delete;

    // Adds the handler, or replaces the one registered under the name. Only before Start: a
    // later call is refused with a console line.
    void RegisterHandler(const std::string& name, MessageHandler handler);

    // Starts the server thread, which listens on 127.0.0.1:port (port 0: a free port the system
    // picks), and returns at once. A failure to listen is logged on the server thread; the
    // server is not restarted. Throws std::system_error when the system refuses the thread. A
    // second call is refused with a console line.
    void Start(std::uint16_t port);

    // The port the server listens on once listening (the picked one for port 0), the requested
    // one while it starts, UnknownPort before.
    std::uint16_t Port() const;

    // Blocks until the server listens (true), or it failed or the timeout passed (false).
    bool WaitUntilListening(std::chrono::milliseconds timeout) const;

    // True once the server thread has ended without ever listening: the port was taken or the
    // system refused the socket. Does not block.
    bool EndedWithoutListening() const;

private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace quorvex
