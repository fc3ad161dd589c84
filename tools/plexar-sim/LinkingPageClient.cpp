// The one source of plexar-sim that compiles the WebSocket library.
#include "tools/plexar-sim/LinkingPageClient.h"

#include <fmt/format.h>
#include <websocketpp/client.hpp>
#include <websocketpp/config/asio_no_tls_client.hpp>

namespace plexarsim {
namespace {

using Client = websocketpp::client<websocketpp::config::asio_client>;

// How long the closing handshake may take once the exchange is over.
constexpr std::chrono::milliseconds CloseTimeout{1000};
// The ping sent right after the message. The server reads a connection's frames in order and
// answers a message in its handler, so its pong coming first means it handled the message and
// sent nothing back: no reply, known without waiting out the time-out.
const std::string ProbePayload = "plexar-sim: was the message answered?";

}  // namespace

LinkingPageResult SendOnce(std::uint16_t port, const std::string& message, const std::string& origin,
                           std::chrono::milliseconds replyTimeout)
{
    Client client;
    client.clear_access_channels(websocketpp::log::alevel::all);
    client.clear_error_channels(websocketpp::log::elevel::all);
    client.init_asio();

    LinkingPageResult result{LinkingPageResult::Outcome::NoReply, {}};
    bool finished = false;
    websocketpp::connection_hdl connection;

    const auto close = [&](const std::string& reason) {
        websocketpp::lib::error_code ignored;
        client.close(connection, websocketpp::close::status::normal, reason, ignored);
    };
    client.set_open_handler([&](websocketpp::connection_hdl handle) {
        websocketpp::lib::error_code error;
        client.send(handle, message, websocketpp::frame::opcode::text, error);
        if (!error) {
            client.ping(handle, ProbePayload, error);
        }
        if (error) {
            result = {LinkingPageResult::Outcome::Failed, "cannot send: " + error.message()};
            finished = true;
            close("send failed");
        }
    });
    client.set_pong_handler([&](websocketpp::connection_hdl, const std::string& payload) {
        if (!finished && payload == ProbePayload) {
            result = {LinkingPageResult::Outcome::NoReply, "handled"};
            finished = true;
            close("no reply");
        }
    });
    client.set_message_handler([&](websocketpp::connection_hdl, Client::message_ptr reply) {
        if (!finished) {
            result = {LinkingPageResult::Outcome::Replied, reply->get_payload()};
            finished = true;
            close("done");
        }
    });
    client.set_fail_handler([&](websocketpp::connection_hdl handle) {
        const auto failed = client.get_con_from_hdl(handle);
        const int status = static_cast<int>(failed->get_response_code());
        result = status != 0
                     ? LinkingPageResult{LinkingPageResult::Outcome::Refused, fmt::format("HTTP {}", status)}
                     : LinkingPageResult{LinkingPageResult::Outcome::Failed, failed->get_ec().message()};
        finished = true;
    });
    client.set_close_handler([&](websocketpp::connection_hdl handle) {
        if (!finished) {
            const auto closed = client.get_con_from_hdl(handle);
            result = {LinkingPageResult::Outcome::Failed,
                      fmt::format("closed by the server ({} {})", closed->get_remote_close_code(),
                                  closed->get_remote_close_reason())};
            finished = true;
        }
    });

    websocketpp::lib::error_code error;
    const auto created = client.get_connection(fmt::format("ws://127.0.0.1:{}/", port), error);
    if (error) {
        return {LinkingPageResult::Outcome::Failed, error.message()};
    }
    if (!origin.empty()) {
        created->replace_header("Origin", origin);
    }
    connection = created->get_handle();
    client.connect(created);

    auto& io = client.get_io_service();
    const auto deadline = std::chrono::steady_clock::now() + replyTimeout;
    while (!finished && !io.stopped() && std::chrono::steady_clock::now() < deadline) {
        io.run_one_until(deadline);
    }
    if (!finished) {
        finished = true;  // our own close below is not a failure
        close("no reply");
    }
    io.restart();
    io.run_for(CloseTimeout);
    return result;
}

std::string Describe(const LinkingPageResult& result)
{
    switch (result.outcome) {
    case LinkingPageResult::Outcome::Replied:
        return "reply: " + result.text;
    case LinkingPageResult::Outcome::NoReply:
        return result.text.empty() ? "no reply in time" : "no reply";
    case LinkingPageResult::Outcome::Refused:
        return "refused: " + result.text;
    case LinkingPageResult::Outcome::Failed:
        break;
    }
    return "failed: " + result.text;
}

}  // namespace plexarsim
