#pragma once
// Clients for the local WebSocket server's tests: WebSocket++ clients that record what each
// connection saw, and a plain TCP connection for bytes no WebSocket client would send.
#include <chrono>
#include <cstdint>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <websocketpp/client.hpp>
#include <websocketpp/config/asio_no_tls_client.hpp>

#include "tests/support/WaitUntil.h"

namespace quorvex::testing {

using Client = websocketpp::client<websocketpp::config::asio_client>;
using ClientHandle = websocketpp::connection_hdl;

// What one client connection saw; written on the client thread, read by the test.
class ClientSession
{
public:
    template <class Predicate>
    bool WaitFor(Predicate done, std::chrono::milliseconds patience = Patience)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, patience, [&] { return done(*this); });
    }

    template <class Change>
    void Update(Change change)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        change(*this);
        changed_.notify_all();
    }

    // Written only inside Update; the test reads them once WaitFor has seen the last change it
    // expects.
    bool opened = false;
    bool failed = false;
    bool closed = false;
    int httpStatus = 0;
    int closeCode = 0;
    std::string closeReason;
    std::vector<std::string> received;
    ClientHandle handle;

private:
    std::mutex mutex_;
    std::condition_variable changed_;
};

inline bool HasReceived(const ClientSession& session, std::size_t count)
{
    return session.received.size() >= count;
}

// WebSocket clients sharing one thread; every library call runs on that thread. Destroying it
// drops every connection at once, without a closing handshake.
class TestClients
{
public:
    TestClients()
    {
        client_.clear_access_channels(websocketpp::log::alevel::all);
        client_.clear_error_channels(websocketpp::log::elevel::all);
        client_.init_asio();
        client_.start_perpetual();
        thread_ = std::thread([this] { client_.run(); });
    }

    ~TestClients()
    {
        client_.stop();
        thread_.join();
    }

    TestClients(const TestClients&) = delete;
    TestClients& operator=(const TestClients&) = delete;

    // Starts a connection; an empty origin sends no Origin header.
    std::shared_ptr<ClientSession> Connect(std::uint16_t port, const std::string& origin = "")
    {
        auto session = std::make_shared<ClientSession>();
        OnClientThread([this, session, port, origin] { StartConnection(session, port, origin); });
        return session;
    }

    // Connects and waits for the handshake to succeed.
    std::shared_ptr<ClientSession> Open(std::uint16_t port)
    {
        auto session = Connect(port);
        EXPECT_TRUE(session->WaitFor([](const ClientSession& s) { return s.opened; }));
        return session;
    }

    void Send(const std::shared_ptr<ClientSession>& session, const std::string& payload,
              websocketpp::frame::opcode::value opcode = websocketpp::frame::opcode::text)
    {
        OnClientThread([this, session, payload, opcode] {
            std::error_code error;
            client_.send(session->handle, payload, opcode, error);
            EXPECT_FALSE(error) << error.message();
        });
    }

private:
    template <class Work>
    void OnClientThread(Work work)
    {
        asio::post(client_.get_io_service(), std::move(work));
    }

    void StartConnection(const std::shared_ptr<ClientSession>& session, std::uint16_t port,
                         const std::string& origin)
    {
        std::error_code error;
        Client::connection_ptr connection =
            client_.get_connection("ws://127.0.0.1:" + std::to_string(port) + "/", error);
        if (error) {
            session->Update([](ClientSession& s) { s.failed = true; });
            return;
        }
        if (!origin.empty()) {
            connection->replace_header("Origin", origin);
        }
        connection->set_open_handler([session](ClientHandle handle) {
            session->Update([&](ClientSession& s) {
                s.opened = true;
                s.handle = handle;
            });
        });
        connection->set_fail_handler([this, session](ClientHandle handle) {
            const int status = client_.get_con_from_hdl(handle)->get_response_code();
            session->Update([&](ClientSession& s) {
                s.failed = true;
                s.httpStatus = status;
            });
        });
        connection->set_message_handler([session](ClientHandle, Client::message_ptr message) {
            session->Update([&](ClientSession& s) { s.received.push_back(message->get_payload()); });
        });
        connection->set_close_handler([this, session](ClientHandle handle) {
            const Client::connection_ptr closedConnection = client_.get_con_from_hdl(handle);
            session->Update([&](ClientSession& s) {
                s.closed = true;
                s.closeCode = closedConnection->get_remote_close_code();
                s.closeReason = closedConnection->get_remote_close_reason();
            });
        });
        client_.connect(connection);
    }

    Client client_;
    std::thread thread_;
};

// A plain TCP connection, for requests no WebSocket client would send.
class RawConnection
{
public:
    explicit RawConnection(std::uint16_t port) : socket_(io_)
    {
        socket_.connect(asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), port));
    }

    // With a small receive buffer: a client that does not read stops taking bytes soon.
    RawConnection(std::uint16_t port, int receiveBufferBytes) : socket_(io_)
    {
        socket_.open(asio::ip::tcp::v4());
        socket_.set_option(asio::socket_base::receive_buffer_size(receiveBufferBytes));
        socket_.connect(asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), port));
    }

    void Write(const std::string& bytes)
    {
        asio::write(socket_, asio::buffer(bytes));
    }

    // Writes what the peer takes: false once it has dropped the connection, as a server may do
    // in the middle of a message it refuses.
    bool TryWrite(const std::string& bytes)
    {
        std::error_code error;
        asio::write(socket_, asio::buffer(bytes), error);
        return !error;
    }

    // The bytes up to and including the delimiter.
    std::string ReadUntil(const std::string& delimiter)
    {
        return Take(asio::read_until(socket_, buffer_, delimiter));
    }

    // Reads up to the delimiter: false when the peer closed the connection before it came.
    bool TryReadUntil(const std::string& delimiter)
    {
        std::error_code error;
        const std::size_t length = asio::read_until(socket_, buffer_, delimiter, error);
        if (error) {
            return false;
        }
        Take(length);
        return true;
    }

    std::string ReadBytes(std::size_t count)
    {
        if (buffer_.size() < count) {
            asio::read(socket_, buffer_, asio::transfer_exactly(count - buffer_.size()));
        }
        return Take(count);
    }

private:
    std::string Take(std::size_t count)
    {
        const auto begin = asio::buffers_begin(buffer_.data());
        std::string bytes(begin, begin + static_cast<std::ptrdiff_t>(count));
        buffer_.consume(count);
        return bytes;
    }

    asio::io_context io_;
    asio::ip::tcp::socket socket_;
    asio::streambuf buffer_;
};

// The start of a hybi-13 handshake request; a blank line ends it.
inline const std::string HandshakeRequest =
    "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
    "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n";

// The start of a handshake request of the given protocol version ("7", "8" or "13"); a blank
// line ends it.
inline std::string HandshakeRequestOfVersion(const std::string& version)
{
    return "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
           "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: " +
           version + "\r\n";
}

// A whole hixie-76 (hybi-00) handshake request: no version, two keys, and the eight key bytes
// after the blank line.
inline std::string Hixie76Request(const std::string& origin)
{
    return "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: WebSocket\r\nConnection: Upgrade\r\nOrigin: " + origin +
           "\r\nSec-WebSocket-Key1: 4 @1  46546xW%0l 1 5\r\nSec-WebSocket-Key2: 12998 5 Y3 1  .P00\r\n\r\n^n:ds[4U";
}

// A frame as a client sends it: masked, here with the all-zero key so the payload stays as is.
// The declared length may differ from the payload sent.
inline std::string ClientFrame(std::uint8_t finAndOpcode, std::uint64_t declaredLength,
                        const std::string& payload)
{
    std::string frame(1, static_cast<char>(finAndOpcode));
    if (declaredLength < 126) {
        frame += static_cast<char>(0x80 | declaredLength);
    } else if (declaredLength <= 0xffff) {
        frame += static_cast<char>(0x80 | 126);
        for (int shift = 8; shift >= 0; shift -= 8) {
            frame += static_cast<char>((declaredLength >> shift) & 0xff);
        }
    } else {
        frame += static_cast<char>(0x80 | 127);
        for (int shift = 56; shift >= 0; shift -= 8) {
            frame += static_cast<char>((declaredLength >> shift) & 0xff);
        }
    }
    return frame + std::string(4, '\0') + payload;
}

inline constexpr std::uint8_t FinalText = 0x81;
inline constexpr std::uint8_t FirstTextFragment = 0x01;
inline constexpr std::uint8_t FinalContinuation = 0x80;

inline std::unique_ptr<RawConnection> OpenRawWebSocket(std::uint16_t port)
{
    auto connection = std::make_unique<RawConnection>(port);
    connection->Write(HandshakeRequest + "\r\n");
    EXPECT_EQ(connection->ReadUntil("\r\n").substr(0, 12), "HTTP/1.1 101");
    connection->ReadUntil("\r\n\r\n");
    return connection;
}

// The status code of the close frame the server sent. After a refused message the server drops
// the connection right after that frame, so there is nothing to answer.
inline int CloseCodeReceived(RawConnection& connection)
{
    const std::string header = connection.ReadBytes(2);
    EXPECT_EQ(static_cast<unsigned char>(header[0]), 0x88u) << "a close frame";
    const std::string body = connection.ReadBytes(static_cast<unsigned char>(header[1]) & 0x7f);
    return body.size() < 2 ? 0
                           : static_cast<unsigned char>(body[0]) * 256 +
                                 static_cast<unsigned char>(body[1]);
}

}  // namespace quorvex::testing
