#pragma once
// One message the local WebSocket server received, as a message handler sees it: the payload,
// whether it came in a text or a binary frame, and a way to answer on the same connection.
//
// Threads: handed to a handler on the server thread and valid only for that call; Send must be
// called during the call, on that thread.
#include <string>

namespace quorvex {

class WsMessage
{
public:
    enum class Opcode { Text, Binary };

    virtual ~WsMessage() = default;

    virtual const std::string& Payload() const = 0;
    virtual Opcode GetOpcode() const = 0;
    // Sends the text as a text frame to the client the message came from. Throws
    // std::system_error when the connection cannot take it (already closing, closed).
    virtual void Send(const std::string& text) = 0;
};

}  // namespace quorvex
