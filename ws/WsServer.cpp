// The only translation unit that compiles the WebSocket library: it is slow to build.
#include "ws/WsServer.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include <websocketpp/config/asio_no_tls.hpp>
#include <websocketpp/server.hpp>

#include "core/Boundary.h"
#include "core/Log.h"
#include "core/SafeText.h"
#include "ws/OriginPolicy.h"
#include "ws/Texts.h"

namespace quorvex {
namespace {

using Endpoint = websocketpp::server<websocketpp::config::asio>;
using Handle = websocketpp::connection_hdl;
using SteadyClock = std::chrono::steady_clock;

constexpr std::size_t MaxMessageBytes = 64 * 1024;
constexpr long HandshakeTimeoutMs = 5000;
constexpr auto StopCloseCode = websocketpp::close::status::going_away;
// Open connections get this long to finish their closing handshake once the stop began; then
// they are dropped. With the rest of the stop it stays well inside the unload's 5 s.
constexpr auto StopGrace = std::chrono::seconds(3);
// While accepting fails (no descriptors left), the next attempt waits this long, doubling.
constexpr auto FirstAcceptRetry = std::chrono::milliseconds(100);
constexpr auto LongestAcceptRetry = std::chrono::milliseconds(3200);
// How often idle connections are looked for, at most.
constexpr auto LongestIdleCheck = std::chrono::seconds(1);
// The kernel's send buffer of a connection: our replies are a few bytes, and a small buffer
// makes a client that does not read reach the queue limit soon instead of after megabytes.
constexpr int SocketSendBufferBytes = 64 * 1024;

// At most `perSecond` events a second, and as many at once after a quiet second.
class Allowance
{
public:
    Allowance(double perSecond, SteadyClock::time_point now) : perSecond_(perSecond), tokens_(perSecond), last_(now)
    {
    }

    bool Take(SteadyClock::time_point now)
    {
        const double elapsed = std::chrono::duration<double>(now - last_).count();
        tokens_ = std::min(perSecond_, tokens_ + elapsed * perSecond_);
        last_ = now;
        if (tokens_ < 1) {
            return false;
        }
        tokens_ -= 1;
        return true;
    }

private:
    double perSecond_;
    double tokens_;
    SteadyClock::time_point last_;
};

// What the server knows of one open connection.
struct Peer {
    Peer(const WsServer::Limits& limits, SteadyClock::time_point now)
        : messages(limits.messagesPerSecond, now), pongs(limits.pongsPerSecond, now), lastHeard(now), lastMessage(now)
    {
    }

    Allowance messages;
    Allowance pongs;
    // The last message or ping (the idle rule), and the last message alone (making room).
    SteadyClock::time_point lastHeard;
    SteadyClock::time_point lastMessage;
    // Closed by the server for what it did; what it sends meanwhile is not handled.
    bool refused = false;
};

// A console line for the first event of a burst only: a client repeating what is refused gets
// one line, not one per attempt. The burst ends when End is called (things went well again).
class BurstLine
{
public:
    bool Begin()
    {
        return !std::exchange(inBurst_, true);
    }

    void End()
    {
        inBurst_ = false;
    }

private:
    bool inBurst_ = false;
};

class ReceivedMessage final : public WsMessage
{
public:
    using QueueCheck = std::function<bool(const Handle&, std::size_t)>;

    ReceivedMessage(Endpoint& endpoint, Handle handle, Endpoint::message_ptr message, QueueCheck hasRoom)
        : endpoint_(endpoint), handle_(std::move(handle)), message_(std::move(message)), hasRoom_(std::move(hasRoom))
    {
    }

    const std::string& Payload() const override
    {
        return message_->get_payload();
    }

    Opcode GetOpcode() const override
    {
        return message_->get_opcode() == websocketpp::frame::opcode::binary ? Opcode::Binary
                                                                             : Opcode::Text;
    }

    void Send(const std::string& text) override
    {
        if (!hasRoom_(handle_, text.size())) {
            throw std::system_error(std::make_error_code(std::errc::no_buffer_space),
                                    "Local websocket server: the client does not read its replies");
        }
        std::error_code error;
        endpoint_.send(handle_, text, websocketpp::frame::opcode::text, error);
        if (error) {
            throw std::system_error(error, "Local websocket server: sending a reply failed");
        }
    }

private:
    Endpoint& endpoint_;
    Handle handle_;
    Endpoint::message_ptr message_;
    QueueCheck hasRoom_;
};

}  // namespace

class WsServer::Impl
{
public:
    explicit Impl(const Limits& limits);

    void RegisterHandler(const std::string& name, MessageHandler handler);
    void Start(std::uint16_t port);
    std::uint16_t Port() const;
    bool WaitUntilListening(std::chrono::milliseconds timeout) const;
    bool EndedWithoutListening() const;
    // The destructor's work; never throws.
    void Stop() noexcept;

private:
    enum class Phase { Idle, Starting, Listening, Ended };

    // --- Server thread ---
    void Serve(std::uint16_t port) noexcept;
    void InstallHandlers();
    // Listens unless a stop came first; false when it did.
    bool BeginListening(std::uint16_t port);
    void MarkEnded();
    // The accept loop: one accept at a time, each started when the last one ended.
    void AcceptNext();
    void OnAccepted(const Endpoint::connection_ptr& connection, const std::error_code& error);
    // Accepting failed (out of descriptors, most likely): try again later, less often each time.
    void RetryAcceptLater(const std::error_code& error);
    void OnTerminated(const Endpoint::connection_ptr& connection);
    bool OnValidate(const Handle& handle);
    // Why the handshake is refused (its status set), or an empty text when it may open.
    std::string RefusalOf(const Endpoint::connection_ptr& connection);
    // At the connection limit: closes the connection that sent no message for the longest
    // time, if that is at least limits_.yieldAfter. True when one was closed.
    bool MakeRoom();
    void OnOpen(const Handle& handle);
    void OnClose(const Handle& handle);
    void OnMessage(const Handle& handle, const Endpoint::message_ptr& message);
    // Counts the message against the connection's allowance and hands it to every handler.
    void HandleMessage(const Handle& handle, const Endpoint::message_ptr& message);
    bool OnPing(const Handle& handle, const std::string& payload);
    // True when `bytes` more may be queued for the client; otherwise drops the connection.
    bool HasRoomFor(const Handle& handle, std::size_t bytes);
    // Closes the connection for what it did, with a line saying why.
    void Refuse(const Handle& handle, Peer& peer, websocketpp::close::status::value code, const std::string& reason,
                const std::string& line);
    void ArmIdleCheck();
    void CloseIdleConnections();
    // Stops accepting, drops handshakes under way, closes every open connection and lets run()
    // return once they are done (or dropped when StopGrace has passed).
    void CloseAll();
    void CloseConnection(const Handle& handle);
    void DropRemainingConnections();
    static void Drop(const Endpoint::connection_ptr& connection);

    // --- Owner thread ---
    // Records the stop request; true when the server is listening and so has something to stop.
    bool RequestStop();
    // Hands CloseAll to the server thread and waits until it ran or the server thread ended.
    void CloseOnServerThread();
    void JoinServerThread();

    const Limits limits_;
    Endpoint endpoint_;
    std::unordered_map<std::string, MessageHandler> handlers_;

    // Server thread only.
    // Every accepted connection until it has ended, handshakes under way included.
    std::set<Handle, std::owner_less<Handle>> accepted_;
    // The open connections, whose handshake completed.
    std::map<Handle, Peer, std::owner_less<Handle>> connections_;
    // Connections closed to make room for a new one: their places are taken already.
    std::set<Handle, std::owner_less<Handle>> yielding_;
    bool stopping_ = false;
    std::chrono::milliseconds acceptRetry_ = FirstAcceptRetry;
    BurstLine acceptFailing_;
    BurstLine refusingConnections_;
    // Created with the I/O service, on the server thread.
    std::unique_ptr<asio::steady_timer> acceptRetryTimer_;
    std::unique_ptr<asio::steady_timer> idleTimer_;
    std::unique_ptr<asio::steady_timer> stopGraceTimer_;

    std::atomic<std::uint16_t> port_{UnknownPort};

    mutable std::mutex phaseMutex_;
    mutable std::condition_variable phaseChanged_;
    Phase phase_ = Phase::Idle;  // guarded by phaseMutex_
    bool listened_ = false;      // guarded by phaseMutex_
    bool stopRequested_ = false;  // guarded by phaseMutex_
    bool closedAll_ = false;  // guarded by phaseMutex_

    // Held by the server thread for its whole run: the owner locks it to wait for the end.
    std::mutex runMutex_;
    std::thread serverThread_;
};

WsServer::Impl::Impl(const Limits& limits) : limits_(limits)
{
    // Connection and HTTP lines, never frame contents: a message carries the player's user code.
    endpoint_.clear_access_channels(websocketpp::log::alevel::all);
    endpoint_.set_access_channels(websocketpp::log::alevel::access_core);
    endpoint_.set_error_channels(websocketpp::log::elevel::all ^ websocketpp::log::elevel::devel);
#ifdef _WIN32
    // There address reuse would let another program take the port over: keep it exclusive.
    endpoint_.set_reuse_addr(false);
#else
    // Here it only allows listening again while connections of an earlier run are in TIME_WAIT
    // (a plug-in reloaded within a minute); two listeners on the port are still refused.
    endpoint_.set_reuse_addr(true);
#endif
    endpoint_.set_max_message_size(MaxMessageBytes);
    // A handshake needs no body. One declared larger than a message is refused (413) at once
    // rather than held in memory until the handshake times out.
    endpoint_.set_max_http_body_size(MaxMessageBytes);
    // A client that never finishes a handshake is dropped instead of holding its connection.
    endpoint_.set_open_handshake_timeout(HandshakeTimeoutMs);
    endpoint_.set_close_handshake_timeout(HandshakeTimeoutMs);
}

void WsServer::Impl::RegisterHandler(const std::string& name, MessageHandler handler)
{
    {
        std::lock_guard<std::mutex> lock(phaseMutex_);
        if (phase_ == Phase::Idle) {
            handlers_[name] = std::move(handler);
            return;
        }
    }
    Log("Local websocket server: Handler {} registered after start, ignored", name);
}

void WsServer::Impl::Start(std::uint16_t port)
{
    {
        std::lock_guard<std::mutex> lock(phaseMutex_);
        if (phase_ != Phase::Idle) {
            Log("Local websocket server: Already started, start ignored");
            return;
        }
        phase_ = Phase::Starting;
    }
    LogText(texts::ws::StartingLine);
    try {
        serverThread_ = std::thread([this, port] { Serve(port); });
    } catch (...) {
        std::lock_guard<std::mutex> lock(phaseMutex_);
        phase_ = Phase::Idle;
        throw;
    }
}

std::uint16_t WsServer::Impl::Port() const
{
    return port_.load();
}

bool WsServer::Impl::WaitUntilListening(std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(phaseMutex_);
    phaseChanged_.wait_for(lock, timeout, [this] {
        return phase_ == Phase::Listening || phase_ == Phase::Ended;
    });
    return phase_ == Phase::Listening;
}

void WsServer::Impl::Serve(std::uint16_t port) noexcept
{
    std::lock_guard<std::mutex> run(runMutex_);
    port_ = port;
    try {
        endpoint_.init_asio();
        for (auto* timer : {&acceptRetryTimer_, &idleTimer_, &stopGraceTimer_}) {
            *timer = std::make_unique<asio::steady_timer>(endpoint_.get_io_service());
        }
        InstallHandlers();
        endpoint_.reset();
        if (BeginListening(port)) {
            Log(texts::ws::ListeningLine, port_.load());
            endpoint_.run();
            LogText(texts::ws::StoppingLine);
        }
    } catch (const websocketpp::exception& error) {
        CatchAndLog("WsServer::StartWebSocketServer", [&error] {
            LogText(texts::ws::InitFailedLine);
            LogText(error.code().message());
            Log("{}", error.code().value());
            LogText(error.what());
        });
    } catch (const std::exception& error) {
        CatchAndLog("WsServer::StartWebSocketServer", [&error] { LogText(error.what()); });
    } catch (...) {
        LogUnknownException("WsServer::StartWebSocketServer");
    }
    MarkEnded();
}

void WsServer::Impl::InstallHandlers()
{
    endpoint_.set_validate_handler([this](Handle handle) { return OnValidate(handle); });
    endpoint_.set_open_handler([this](Handle handle) { OnOpen(handle); });
    endpoint_.set_close_handler([this](Handle handle) { OnClose(handle); });
    endpoint_.set_message_handler(
        [this](Handle handle, Endpoint::message_ptr message) { OnMessage(handle, message); });
    endpoint_.set_ping_handler([this](Handle handle, std::string payload) { return OnPing(handle, payload); });
    endpoint_.set_socket_init_handler([](Handle, asio::ip::tcp::socket& socket) {
        std::error_code ignored;
        socket.set_option(asio::socket_base::send_buffer_size(SocketSendBufferBytes), ignored);
    });
}

bool WsServer::Impl::BeginListening(std::uint16_t port)
{
    std::lock_guard<std::mutex> lock(phaseMutex_);
    if (stopRequested_) {
        return false;
    }
    // Loopback only: no other machine may hand the plug-in anything.
    endpoint_.listen(asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), port));
    AcceptNext();
    ArmIdleCheck();
    // run() keeps going without connections until CloseAll lets it end.
    endpoint_.start_perpetual();
    std::error_code error;
    const asio::ip::tcp::endpoint bound = endpoint_.get_local_endpoint(error);
    if (!error) {
        port_ = bound.port();
    }
    phase_ = Phase::Listening;
    listened_ = true;
    phaseChanged_.notify_all();
    return true;
}

bool WsServer::Impl::EndedWithoutListening() const
{
    std::lock_guard<std::mutex> lock(phaseMutex_);
    return phase_ == Phase::Ended && !listened_;
}

void WsServer::Impl::MarkEnded()
{
    std::lock_guard<std::mutex> lock(phaseMutex_);
    phase_ = Phase::Ended;
    phaseChanged_.notify_all();
}

bool WsServer::Impl::OnValidate(const Handle& handle)
{
    bool allowed = false;
    CatchAndLog("WsServer::OnValidate", [&] {
        std::error_code error;
        const Endpoint::connection_ptr connection = endpoint_.get_con_from_hdl(handle, error);
        if (error) {
            Log("Local websocket server: A connecting client is gone: {}", error.message());
            return;
        }
        const std::string refusal = RefusalOf(connection);
        if (refusal.empty()) {
            allowed = true;
            return;
        }
        LogText("Local websocket server: Refused a connection " + refusal);
    });
    return allowed;
}

std::string WsServer::Impl::RefusalOf(const Endpoint::connection_ptr& connection)
{
    // The hixie-76 handshake (hybi-00) declares no version. The library bounds neither the size
    // of its messages nor reads them in bounded steps, and no browser of this decade speaks it.
    if (connection->get_request_header("Sec-WebSocket-Version").empty()) {
        connection->set_status(websocketpp::http::status_code::upgrade_required);
        connection->replace_header("Sec-WebSocket-Version", "13");
        return "speaking the hixie-76 protocol (no Sec-WebSocket-Version)";
    }
    // Either header may carry the page's origin, whatever version the client declares, and the
    // library reads only the one of that version. Both are checked; a repeated header arrives
    // joined by ", " and so matches no origin. Clients other than browsers send none.
    const std::string& origin = connection->get_request_header("Origin");
    const std::string& secOrigin = connection->get_request_header("Sec-WebSocket-Origin");
    std::string refusal;
    for (const std::string* carried : {&origin, &secOrigin}) {
        if (refusal.empty() && !carried->empty() && !IsAllowedOrigin(*carried)) {
            refusal = "from origin " + ConsoleText(*carried);
        }
    }
    if (refusal.empty() && !origin.empty() && !secOrigin.empty() && origin != secOrigin) {
        refusal = "with two origins, " + ConsoleText(origin) + " and " + ConsoleText(secOrigin);
    }
    if (!refusal.empty()) {
        connection->set_status(websocketpp::http::status_code::forbidden);
    }
    return refusal;
}

void WsServer::Impl::OnOpen(const Handle& handle)
{
    CatchAndLog("WsServer::OnOpen", [&] {
        LogText(texts::ws::ClientConnectedLine);
        if (stopping_) {
            // Its handshake was under way when the stop began: dropped, so that it cannot hold
            // the stop with a closing handshake of its own.
            std::error_code error;
            if (const Endpoint::connection_ptr connection = endpoint_.get_con_from_hdl(handle, error)) {
                Drop(connection);
            }
            return;
        }
        connections_.emplace(handle, Peer(limits_, SteadyClock::now()));
    });
}

void WsServer::Impl::OnClose(const Handle& handle)
{
    CatchAndLog("WsServer::OnClose", [&] {
        LogText(texts::ws::ClientDisconnectedLine);
        std::error_code error;
        const Endpoint::connection_ptr connection = endpoint_.get_con_from_hdl(handle, error);
        if (connection &&
            connection->get_local_close_code() == websocketpp::close::status::message_too_big) {
            Log("Local websocket server: Closed a connection that sent a message over {} bytes",
                MaxMessageBytes);
        }
        connections_.erase(handle);
    });
}

void WsServer::Impl::OnMessage(const Handle& handle, const Endpoint::message_ptr& message)
{
    CatchAndLog("WsServer::OnMessage", [&] { HandleMessage(handle, message); });
}

void WsServer::Impl::HandleMessage(const Handle& handle, const Endpoint::message_ptr& message)
{
    const auto peer = connections_.find(handle);
    if (peer == connections_.end() || peer->second.refused) {
        return;
    }
    const auto now = SteadyClock::now();
    peer->second.lastHeard = now;
    peer->second.lastMessage = now;
    if (!peer->second.messages.Take(now)) {
        Refuse(handle, peer->second, websocketpp::close::status::policy_violation, "Too many messages",
               fmt::format("Local websocket server: Closed a connection that sent more than {} messages a second",
                           limits_.messagesPerSecond));
        return;
    }
    ReceivedMessage received(endpoint_, handle, message,
                             [this](const Handle& to, std::size_t bytes) { return HasRoomFor(to, bytes); });
    for (auto& entry : handlers_) {
        CatchAndLog("WsServer::OnMessage", [&] { entry.second(received); });
    }
}

bool WsServer::Impl::OnPing(const Handle& handle, const std::string& payload)
{
    bool answer = false;
    CatchAndLog("WsServer::OnPing", [&] {
        const auto peer = connections_.find(handle);
        if (peer == connections_.end() || peer->second.refused) {
            return;
        }
        const auto now = SteadyClock::now();
        peer->second.lastHeard = now;
        // The library would queue a pong for every ping, however fast they come.
        answer = peer->second.pongs.Take(now) && HasRoomFor(handle, payload.size());
    });
    return answer;
}

bool WsServer::Impl::HasRoomFor(const Handle& handle, std::size_t bytes)
{
    std::error_code error;
    const Endpoint::connection_ptr connection = endpoint_.get_con_from_hdl(handle, error);
    if (!connection) {
        return false;
    }
    if (connection->get_buffered_amount() + bytes <= limits_.queuedBytes) {
        return true;
    }
    Log("Local websocket server: Dropped a connection that does not read: over {} bytes waited for it",
        limits_.queuedBytes);
    Drop(connection);
    return false;
}

void WsServer::Impl::Refuse(const Handle& handle, Peer& peer, websocketpp::close::status::value code,
                            const std::string& reason, const std::string& line)
{
    peer.refused = true;
    LogText(line);
    std::error_code error;
    endpoint_.close(handle, code, reason, error);
}

void WsServer::Impl::ArmIdleCheck()
{
    idleTimer_->expires_after(std::min<std::chrono::milliseconds>(limits_.idle / 4 + std::chrono::milliseconds(1),
                                                                  LongestIdleCheck));
    idleTimer_->async_wait([this](const std::error_code& error) {
        if (error || stopping_) {
            return;
        }
        CatchAndLog("WsServer::CloseIdleConnections", [this] { CloseIdleConnections(); });
        ArmIdleCheck();
    });
}

void WsServer::Impl::CloseIdleConnections()
{
    const auto now = SteadyClock::now();
    // Collected first: closing may end a connection, and so change the map, at once.
    std::vector<Handle> idle;
    for (const auto& [handle, peer] : connections_) {
        if (!peer.refused && now - peer.lastHeard >= limits_.idle) {
            idle.push_back(handle);
        }
    }
    for (const Handle& handle : idle) {
        if (const auto peer = connections_.find(handle); peer != connections_.end()) {
            Refuse(handle, peer->second, websocketpp::close::status::normal, "Idle",
                   fmt::format("Local websocket server: Closed a connection idle for {:g} s",
                               std::chrono::duration<double>(limits_.idle).count()));
        }
    }
}

void WsServer::Impl::AcceptNext()
{
    if (limits_.acceptFailure) {
        if (const std::error_code failure = limits_.acceptFailure()) {
            RetryAcceptLater(failure);
            return;
        }
    }
    const Endpoint::connection_ptr connection = endpoint_.get_connection();
    if (!connection) {
        RetryAcceptLater(websocketpp::error::make_error_code(websocketpp::error::con_creation_failed));
        return;
    }
    std::error_code error;
    endpoint_.async_accept(
        connection,
        [this, connection](const std::error_code& accepted) {
            CatchAndLog("WsServer::OnAccepted", [&] { OnAccepted(connection, accepted); });
        },
        error);
    if (error) {
        // Not listening any more: the stop has begun.
        connection->terminate(std::error_code());
    }
}

void WsServer::Impl::OnAccepted(const Endpoint::connection_ptr& connection, const std::error_code& error)
{
    if (error) {
        connection->terminate(error);
        if (error != websocketpp::error::operation_canceled && !stopping_) {
            RetryAcceptLater(error);
        }
        return;
    }
    acceptFailing_.End();
    acceptRetry_ = FirstAcceptRetry;
    if (stopping_) {
        // Accepted just as the stop began.
        connection->terminate(std::error_code());
        return;
    }
    if (accepted_.size() - yielding_.size() >= limits_.connections && !MakeRoom()) {
        if (refusingConnections_.Begin()) {
            Log("Local websocket server: {} connections are open; refusing new ones until one ends",
                accepted_.size());
        }
        connection->terminate(std::error_code());
    } else {
        refusingConnections_.End();
        accepted_.insert(connection);
        connection->set_termination_handler([this](Endpoint::connection_ptr ended) {
            CatchAndLog("WsServer::OnTerminated", [&] { OnTerminated(ended); });
        });
        connection->start();
    }
    AcceptNext();
}

bool WsServer::Impl::MakeRoom()
{
    const auto now = SteadyClock::now();
    auto longestSilent = connections_.end();
    for (auto peer = connections_.begin(); peer != connections_.end(); ++peer) {
        if (!peer->second.refused && now - peer->second.lastMessage >= limits_.yieldAfter &&
            (longestSilent == connections_.end() || peer->second.lastMessage < longestSilent->second.lastMessage)) {
            longestSilent = peer;
        }
    }
    if (longestSilent == connections_.end()) {
        return false;
    }
    const Handle handle = longestSilent->first;
    yielding_.insert(handle);
    Refuse(handle, longestSilent->second, websocketpp::close::status::try_again_later, "Making room",
           fmt::format("Local websocket server: Closed the connection without a message for the longest time "
                       "({:.0f} s) to make room for a new one",
                       std::chrono::duration<double>(now - longestSilent->second.lastMessage).count()));
    return true;
}

void WsServer::Impl::RetryAcceptLater(const std::error_code& error)
{
    if (acceptFailing_.Begin()) {
        Log("Local websocket server: Accepting a connection failed ({}); trying again in {} ms, and less often "
            "while it fails",
            error.message(), acceptRetry_.count());
    }
    acceptRetryTimer_->expires_after(acceptRetry_);
    acceptRetryTimer_->async_wait([this](const std::error_code& cancelled) {
        if (!cancelled && !stopping_) {
            CatchAndLog("WsServer::AcceptNext", [this] { AcceptNext(); });
        }
    });
    acceptRetry_ = std::min(acceptRetry_ * 2, LongestAcceptRetry);
}

void WsServer::Impl::OnTerminated(const Endpoint::connection_ptr& connection)
{
    accepted_.erase(connection);
    yielding_.erase(connection);
    if (stopping_ && accepted_.empty()) {
        stopGraceTimer_->cancel();
    }
}

void WsServer::Impl::CloseAll()
{
    stopping_ = true;
    std::error_code error;
    endpoint_.stop_listening(error);
    if (error) {
        Log("Local websocket server: Stopping to listen failed: {}", error.message());
    }
    acceptRetryTimer_->cancel();
    idleTimer_->cancel();
    // Handshakes under way are dropped: each could hold the stop for its 5 s time-out and then
    // for a closing handshake.
    const auto accepted = accepted_;
    for (const Handle& handle : accepted) {
        std::error_code gone;
        const Endpoint::connection_ptr connection = endpoint_.get_con_from_hdl(handle, gone);
        if (connection && connection->get_state() == websocketpp::session::state::connecting) {
            Drop(connection);
        }
    }
    std::vector<Handle> open;
    for (const auto& entry : connections_) {
        open.push_back(entry.first);
    }
    for (const Handle& handle : open) {
        CatchAndLog("WsServer::CloseAll", [&] { CloseConnection(handle); });
    }
    if (!accepted_.empty()) {
        stopGraceTimer_->expires_after(StopGrace);
        stopGraceTimer_->async_wait([this](const std::error_code& cancelled) {
            if (!cancelled) {
                CatchAndLog("WsServer::CloseAll", [this] { DropRemainingConnections(); });
            }
        });
    }
    endpoint_.stop_perpetual();
}

void WsServer::Impl::DropRemainingConnections()
{
    Log("Local websocket server: Dropping {} connections that did not finish closing", accepted_.size());
    const auto remaining = accepted_;
    for (const Handle& handle : remaining) {
        std::error_code gone;
        if (const Endpoint::connection_ptr connection = endpoint_.get_con_from_hdl(handle, gone)) {
            Drop(connection);
        }
    }
}

void WsServer::Impl::Drop(const Endpoint::connection_ptr& connection)
{
    connection->terminate(std::error_code());
}

void WsServer::Impl::CloseConnection(const Handle& handle)
{
    std::error_code error;
    const Endpoint::connection_ptr connection = endpoint_.get_con_from_hdl(handle, error);
    if (error) {
        Log("Local websocket server: A client connection is gone: {}", error.message());
        return;
    }
    LogText(texts::ws::ClosingConnectionLine);
    connection->close(StopCloseCode, texts::ws::StopCloseReason, error);
    if (error) {
        Log("Local websocket server: Closing a client connection failed: {}", error.message());
    }
}

void WsServer::Impl::Stop() noexcept
{
    if (RequestStop()) {
        CatchAndLog("WsServer::Stop", [this] { CloseOnServerThread(); });
        CatchAndLog("WsServer::Stop", [this] {
            LogText(texts::ws::WaitingLine);
            std::lock_guard<std::mutex> run(runMutex_);
            LogText(texts::ws::JoiningLine);
            JoinServerThread();
            LogText(texts::ws::JoinedLine);
        });
    }
    // Never started, failed, stopped during start-up (the thread ends by itself), or a step
    // above failed: the thread must still be joined before it is destroyed.
    CatchAndLog("WsServer::Stop", [this] { JoinServerThread(); });
}

bool WsServer::Impl::RequestStop()
{
    std::lock_guard<std::mutex> lock(phaseMutex_);
    stopRequested_ = true;
    return phase_ == Phase::Listening;
}

void WsServer::Impl::CloseOnServerThread()
{
    LogText(texts::ws::NotAcceptingLine);
    asio::post(endpoint_.get_io_service(), [this] {
        CatchAndLog("WsServer::CloseAll", [this] { CloseAll(); });
        std::lock_guard<std::mutex> lock(phaseMutex_);
        closedAll_ = true;
        phaseChanged_.notify_all();
    });
    std::unique_lock<std::mutex> lock(phaseMutex_);
    phaseChanged_.wait(lock, [this] { return closedAll_ || phase_ == Phase::Ended; });
}

void WsServer::Impl::JoinServerThread()
{
    if (serverThread_.joinable()) {
        serverThread_.join();
    }
}

WsServer::WsServer() : WsServer(Limits())
{
}

WsServer::WsServer(const Limits& limits) : impl_(std::make_unique<Impl>(limits))
{
}

WsServer::~WsServer()
{
    impl_->Stop();
}

void WsServer::RegisterHandler(const std::string& name, MessageHandler handler)
{
    impl_->RegisterHandler(name, std::move(handler));
}

void WsServer::Start(std::uint16_t port)
{
    impl_->Start(port);
}

std::uint16_t WsServer::Port() const
{
    return impl_->Port();
}

bool WsServer::WaitUntilListening(std::chrono::milliseconds timeout) const
{
    return impl_->WaitUntilListening(timeout);
}

bool WsServer::EndedWithoutListening() const
{
    return impl_->EndedWithoutListening();
}

}  // namespace quorvex
