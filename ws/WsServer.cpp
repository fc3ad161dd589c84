// The only translation unit that compiles the WebSocket library: it is slow to build.
#include "ws/WsServer.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>

#include <websocketpp/config/asio_no_tls.hpp>
#include <websocketpp/server.hpp>

#include "core/Boundary.h"
#include "core/Log.h"
#include "ws/OriginPolicy.h"

namespace quorvex {
namespace {

using Endpoint = websocketpp::server<websocketpp::config::asio>;
using Handle = websocketpp::connection_hdl;

constexpr std::size_t MaxMessageBytes = 64 * 1024;
constexpr long HandshakeTimeoutMs = 5000;
constexpr auto StopCloseCode = websocketpp::close::status::going_away;
constexpr const char* StopCloseReason = "Server stopping";

class ReceivedMessage final : public WsMessage
{
public:
    ReceivedMessage(Endpoint& endpoint, Handle handle, Endpoint::message_ptr message)
        : endpoint_(endpoint), handle_(std::move(handle)), message_(std::move(message))
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
};

}  // namespace

class WsServer::Impl
{
public:
    Impl();

    void RegisterHandler(const std::string& name, MessageHandler handler);
    void Start(std::uint16_t port);
    std::uint16_t Port() const;
    bool WaitUntilListening(std::chrono::milliseconds timeout) const;
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
    bool OnValidate(const Handle& handle);
    void OnOpen(const Handle& handle);
    void OnClose(const Handle& handle);
    void OnMessage(const Handle& handle, const Endpoint::message_ptr& message);
    // Stops accepting, closes every open connection and lets run() return once they are done.
    void CloseAll();
    void CloseConnection(const Handle& handle);

    // --- Owner thread ---
    // Records the stop request; true when the server is listening and so has something to stop.
    bool RequestStop();
    // Hands CloseAll to the server thread and waits until it ran or the server thread ended.
    void CloseOnServerThread();
    void JoinServerThread();

    Endpoint endpoint_;
    std::unordered_map<std::string, MessageHandler> handlers_;

    // Server thread only.
    std::set<Handle, std::owner_less<Handle>> connections_;
    bool stopping_ = false;

    std::atomic<std::uint16_t> port_{UnknownPort};

    mutable std::mutex phaseMutex_;
    mutable std::condition_variable phaseChanged_;
    Phase phase_ = Phase::Idle;  // guarded by phaseMutex_
    bool stopRequested_ = false;  // guarded by phaseMutex_
    bool closedAll_ = false;  // guarded by phaseMutex_

    // Held by the server thread for its whole run: the owner locks it to wait for the end.
    std::mutex runMutex_;
    std::thread serverThread_;
};

WsServer::Impl::Impl()
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
    Log("Local websocket server: Startin server thread");
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
        InstallHandlers();
        endpoint_.reset();
        if (BeginListening(port)) {
            Log("Local websocket server: Listening on {}.", port_.load());
            endpoint_.run();
            Log("Local websocket server: Stopping");
        }
    } catch (const websocketpp::exception& error) {
        CatchAndLog("WsServer::StartWebSocketServer", [&error] {
            Log("Local websocket server: failed to init.");
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
}

bool WsServer::Impl::BeginListening(std::uint16_t port)
{
    std::lock_guard<std::mutex> lock(phaseMutex_);
    if (stopRequested_) {
        return false;
    }
    // Loopback only: no other machine may hand the plug-in anything.
    endpoint_.listen(asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), port));
    endpoint_.start_accept();
    // run() keeps going without connections until CloseAll lets it end.
    endpoint_.start_perpetual();
    std::error_code error;
    const asio::ip::tcp::endpoint bound = endpoint_.get_local_endpoint(error);
    if (!error) {
        port_ = bound.port();
    }
    phase_ = Phase::Listening;
    phaseChanged_.notify_all();
    return true;
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
        const auto& headers = connection->get_request().get_headers();
        const auto origin = headers.find("Origin");
        if (origin == headers.end() || IsAllowedOrigin(origin->second)) {
            allowed = true;
            return;
        }
        connection->set_status(websocketpp::http::status_code::forbidden);
        Log("Local websocket server: Refused a connection from origin {}", origin->second);
    });
    return allowed;
}

void WsServer::Impl::OnOpen(const Handle& handle)
{
    CatchAndLog("WsServer::OnOpen", [&] {
        Log("Local websocket server: Client connected");
        if (stopping_) {
            // Its handshake was under way when the stop began.
            std::error_code error;
            endpoint_.close(handle, StopCloseCode, StopCloseReason, error);
            return;
        }
        connections_.insert(handle);
    });
}

void WsServer::Impl::OnClose(const Handle& handle)
{
    CatchAndLog("WsServer::OnClose", [&] {
        Log("Local websocket server: Client disonnected");
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
    ReceivedMessage received(endpoint_, handle, message);
    for (auto& entry : handlers_) {
        CatchAndLog("WsServer::OnMessage", [&] { entry.second(received); });
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
    const auto open = connections_;
    for (const Handle& handle : open) {
        CatchAndLog("WsServer::CloseAll", [&] { CloseConnection(handle); });
    }
    endpoint_.stop_perpetual();
}

void WsServer::Impl::CloseConnection(const Handle& handle)
{
    std::error_code error;
    const Endpoint::connection_ptr connection = endpoint_.get_con_from_hdl(handle, error);
    if (error) {
        Log("Local websocket server: A client connection is gone: {}", error.message());
        return;
    }
    Log("Local websocket server: Closing a client connection");
    connection->close(StopCloseCode, StopCloseReason, error);
    if (error) {
        Log("Local websocket server: Closing a client connection failed: {}", error.message());
    }
}

void WsServer::Impl::Stop() noexcept
{
    if (RequestStop()) {
        CatchAndLog("WsServer::Stop", [this] { CloseOnServerThread(); });
        CatchAndLog("WsServer::Stop", [this] {
            Log("Local websocket server: Waiting..");
            std::lock_guard<std::mutex> run(runMutex_);
            Log("joining?");
            JoinServerThread();
            Log("joined");
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
    Log("Local websocket server: Not accepting new connections");
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

WsServer::WsServer() : impl_(std::make_unique<Impl>())
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

}  // namespace quorvex
