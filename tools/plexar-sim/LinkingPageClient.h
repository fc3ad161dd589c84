#pragma once
// Plays the service's linking page: opens a WebSocket connection to the plug-in's server on
// loopback, sends one text message, waits for the answer (or for the sign that none is coming)
// and closes.
//
// Threads: SendOnce runs the connection on the calling thread and returns when it is over.
#include <chrono>
#include <cstdint>
#include <string>

namespace plexarsim {

// The port the plug-in's WebSocket server listens on, where the linking page connects.
constexpr std::uint16_t PluginLinkingPort = 9100;

struct LinkingPageResult {
    enum class Outcome {
        Replied,  // `text` is the first message the server sent back
        NoReply,  // connected and sent; nothing came back: `text` is "handled" when the server's
                  // pong to a ping sent after the message came first, empty when time ran out
        Refused,  // the handshake was refused; `text` says how (HTTP status)
        Failed,   // no connection or the connection broke; `text` says why
    };
    Outcome outcome;
    std::string text;
};

// origin: the page's "Origin" header, none when empty.
LinkingPageResult SendOnce(std::uint16_t port, const std::string& message, const std::string& origin,
                           std::chrono::milliseconds replyTimeout);

// One line for people: "reply: OK", "no reply", "no reply in time", "refused: HTTP 403",
// "failed: ...".
std::string Describe(const LinkingPageResult& result);

}  // namespace plexarsim
