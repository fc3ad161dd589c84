// The local WebSocket server against real WebSocket clients over loopback. Each server listens on
// a port the system picks, so these tests run in parallel with each other and with a plug-in on
// the default port.
#include "ws/WsServer.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TestHost.h"
#include "tests/ws/WsTestClients.h"

namespace quorvex {
namespace {

using testing::ClientFrame;
using testing::ClientSession;
using testing::FinalText;
using testing::HandshakeRequest;
using testing::OpenRawWebSocket;
using testing::HasReceived;
using testing::Patience;
using testing::WaitUntil;
using testing::RawConnection;
using testing::TestClients;

// A free loopback port, found by letting the system pick one.
std::uint16_t FreePort()
{
    asio::io_context io;
    asio::ip::tcp::acceptor acceptor(
        io, asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), 0));
    return acceptor.local_endpoint().port();
}

// True when nothing listens on the loopback port any more.
bool CanListenOn(std::uint16_t port)
{
    asio::io_context io;
    asio::ip::tcp::acceptor acceptor(io);
    std::error_code error;
    acceptor.open(asio::ip::tcp::v4(), error);
    acceptor.bind(asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), port), error);
    return !error;
}

class WsServerTest : public ::testing::Test
{
protected:
    // A server with other limits; before StartServer.
    void UseLimits(const WsServer::Limits& limits)
    {
        server_ = std::make_unique<WsServer>(limits);
    }

    // Starts the server on a port the system picks and waits until it listens.
    std::uint16_t StartServer()
    {
        server_->Start(0);
        EXPECT_TRUE(server_->WaitUntilListening(Patience));
        return server_->Port();
    }

    // Registers a handler that answers "<prefix><payload>".
    void RegisterReply(const std::string& name, const std::string& prefix)
    {
        server_->RegisterHandler(name, [prefix](WsMessage& message) {
            message.Send(prefix + message.Payload());
        });
    }

    int Count(const std::string& text)
    {
        return host_.CountConsoleLines(text);
    }

    // Waits for a line from another thread.
    bool WaitForLine(const std::string& text)
    {
        return WaitUntil([&] { return Count(text) > 0; });
    }

    // True when the console holds lines containing each text, in this order (others between).
    bool LoggedInOrder(const std::vector<std::string>& texts)
    {
        const auto lines = host_->ConsoleLines();
        auto line = lines.begin();
        for (const auto& text : texts) {
            line = std::find_if(line, lines.end(), [&](const std::string& candidate) {
                return candidate.find(text) != std::string::npos;
            });
            if (line == lines.end()) {
                return false;
            }
            ++line;
        }
        return true;
    }

    testing::TestHost host_;
    std::unique_ptr<WsServer> server_ = std::make_unique<WsServer>();
    TestClients clients_;
};

// --- Messages and handlers ---

TEST_F(WsServerTest, EveryHandlerSeesEveryMessageWhateverItsFrameAndRepliesReachTheSender)
{
    std::mutex seenMutex;
    std::vector<std::pair<std::string, WsMessage::Opcode>> seen;
    server_->RegisterHandler("record", [&](WsMessage& message) {
        std::lock_guard<std::mutex> lock(seenMutex);
        seen.emplace_back(message.Payload(), message.GetOpcode());
    });
    RegisterReply("echo", "echo:");
    const auto port = StartServer();

    auto session = clients_.Open(port);
    clients_.Send(session, "hello");
    clients_.Send(session, std::string("\x01\x00\x02", 3), websocketpp::frame::opcode::binary);
    // Handlers run one message after another: once the third reply is in, every handler has
    // seen the first two messages.
    clients_.Send(session, "sync");

    ASSERT_TRUE(session->WaitFor([](const ClientSession& s) { return HasReceived(s, 3); }));
    EXPECT_EQ(session->received[0], "echo:hello");
    EXPECT_EQ(session->received[1], std::string("echo:\x01\x00\x02", 8));
    std::lock_guard<std::mutex> lock(seenMutex);
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[0], std::make_pair(std::string("hello"), WsMessage::Opcode::Text));
    EXPECT_EQ(seen[1], std::make_pair(std::string("\x01\x00\x02", 3), WsMessage::Opcode::Binary));
}

TEST_F(WsServerTest, RegisteringANameAgainReplacesItAndANewNameAdds)
{
    RegisterReply("a", "first:");
    RegisterReply("a", "second:");
    RegisterReply("b", "b:");
    const auto port = StartServer();

    auto session = clients_.Open(port);
    clients_.Send(session, "x");
    clients_.Send(session, "y");

    // The replies to "x" all come before those to "y": once both "y" replies are in, every
    // reply to "x" is too.
    ASSERT_TRUE(session->WaitFor([](const ClientSession& s) {
        return std::count_if(s.received.begin(), s.received.end(), [](const std::string& reply) {
                   return reply.back() == 'y';
               }) == 2;
    }));
    std::vector<std::string> replies = session->received;
    std::sort(replies.begin(), replies.end());
    EXPECT_EQ(replies, (std::vector<std::string>{"b:x", "b:y", "second:x", "second:y"}));
}

TEST_F(WsServerTest, TwoClientsAtOnceEachGetOnlyTheirOwnReplies)
{
    RegisterReply("echo", "echo:");
    const auto port = StartServer();

    auto first = clients_.Open(port);
    auto second = clients_.Open(port);
    clients_.Send(first, "from first");
    clients_.Send(second, "from second");
    ASSERT_TRUE(second->WaitFor([](const ClientSession& s) { return HasReceived(s, 1); }));
    // A reply sent to the wrong client would reach it before this one.
    clients_.Send(first, "again");
    ASSERT_TRUE(first->WaitFor([](const ClientSession& s) { return HasReceived(s, 2); }));

    EXPECT_EQ(first->received, (std::vector<std::string>{"echo:from first", "echo:again"}));
    EXPECT_EQ(second->received, (std::vector<std::string>{"echo:from second"}));
    EXPECT_EQ(Count("Local websocket server: Client connected"), 2);
}

TEST_F(WsServerTest, AThrowingHandlerIsLoggedAndTheOthersAndLaterMessagesStillRun)
{
    std::mutex ranMutex;
    std::vector<std::string> ran;
    for (const char* name : {"one", "two", "three"}) {
        server_->RegisterHandler(name, [&, name](WsMessage&) {
            std::lock_guard<std::mutex> lock(ranMutex);
            ran.emplace_back(name);
            throw std::runtime_error(std::string("broken ") + name);
        });
    }
    server_->RegisterHandler("odd", [&](WsMessage&) {
        std::lock_guard<std::mutex> lock(ranMutex);
        ran.emplace_back("odd");
        throw 42;
    });
    RegisterReply("echo", "echo:");
    const auto port = StartServer();

    auto session = clients_.Open(port);
    clients_.Send(session, "first");
    clients_.Send(session, "second");
    // Once the third reply is in, every handler has finished with the first two messages.
    clients_.Send(session, "sync");

    ASSERT_TRUE(session->WaitFor([](const ClientSession& s) { return HasReceived(s, 3); }));
    EXPECT_EQ(session->received,
              (std::vector<std::string>{"echo:first", "echo:second", "echo:sync"}));
    {
        std::lock_guard<std::mutex> lock(ranMutex);
        for (const char* name : {"one", "two", "three", "odd"}) {
            EXPECT_GE(std::count(ran.begin(), ran.end(), name), 2) << name;
        }
    }
    EXPECT_GE(Count("Exception in WsServer::OnMessage: broken two"), 2);
    EXPECT_GE(Count("Unknown exception in WsServer::OnMessage"), 2);
}

TEST_F(WsServerTest, HandlersAndStartsAfterStartAreRefusedWithAMessage)
{
    RegisterReply("echo", "echo:");
    const auto port = StartServer();
    RegisterReply("late", "late:");
    server_->Start(0);

    auto session = clients_.Open(port);
    clients_.Send(session, "x");
    clients_.Send(session, "y");
    ASSERT_TRUE(session->WaitFor([](const ClientSession& s) { return HasReceived(s, 2); }));
    EXPECT_EQ(session->received, (std::vector<std::string>{"echo:x", "echo:y"}));
    EXPECT_EQ(Count("Handler late registered after start, ignored"), 1);
    EXPECT_EQ(Count("Already started, start ignored"), 1);
    EXPECT_EQ(Count("Startin server thread"), 1);
}

// --- Who may connect and what it may send ---

TEST_F(WsServerTest, PagesFromTheSiteOrThisMachineAndClientsWithoutOriginConnect)
{
    const auto port = StartServer();
    for (const char* origin : {"", "https://quorvex.com", "http://localhost:3000"}) {
        auto session = clients_.Connect(port, origin);
        ASSERT_TRUE(session->WaitFor([](const ClientSession& s) { return s.opened || s.failed; }));
        EXPECT_TRUE(session->opened) << "origin '" << origin << "'";
    }
    EXPECT_EQ(Count("Refused a connection"), 0);
}

TEST_F(WsServerTest, OtherPagesAreRefusedWith403AndALine)
{
    RegisterReply("echo", "echo:");
    const auto port = StartServer();
    for (const char* origin : {"https://evil.example", "http://localhost.evil.com"}) {
        auto session = clients_.Connect(port, origin);
        ASSERT_TRUE(session->WaitFor([](const ClientSession& s) { return s.opened || s.failed; }));
        EXPECT_TRUE(session->failed) << origin;
        EXPECT_EQ(session->httpStatus, 403) << origin;
        EXPECT_EQ(Count(std::string("Local websocket server: Refused a connection from origin ") +
                        origin),
                  1);
    }
    EXPECT_EQ(Count("Client connected"), 0);

    auto allowed = clients_.Open(port);
    clients_.Send(allowed, "still here");
    ASSERT_TRUE(allowed->WaitFor([](const ClientSession& s) { return HasReceived(s, 1); }));
}

// Each version the library parses against each rule a client could break. The hixie-76
// handshake (hybi-00: no version) is refused before any frame, whatever its origin: the library
// bounds none of its messages. The library reads only the origin header of the version declared;
// both are checked, and two that disagree are refused.
TEST_F(WsServerTest, EveryProtocolVersionIsBoundedForSizeRateIdleAndOrigin)
{
    WsServer::Limits limits;
    limits.idle = std::chrono::milliseconds(300);
    UseLimits(limits);
    const auto port = StartServer();
    const auto status = [](RawConnection& client) { return client.ReadUntil("\r\n").substr(9, 3); };
    for (const char* origin : {"http://localhost", "https://evil.example"}) {
        RawConnection client(port);
        client.Write(testing::Hixie76Request(origin));
        EXPECT_EQ(status(client), "426") << origin;
        EXPECT_NE(client.ReadUntil("\r\n\r\n").find("Sec-WebSocket-Version: 13\r\n"), std::string::npos);
    }
    const std::vector<std::pair<std::string, std::string>> origins = {
        {"Origin: https://evil.example\r\n", "403"},
        {"Sec-WebSocket-Origin: https://evil.example\r\n", "403"},
        {"Origin: https://quorvex.com\r\nSec-WebSocket-Origin: http://localhost\r\n", "403"},
        {"Origin: http://localhost\r\nOrigin: https://evil.example\r\n", "403"},
        {"Origin: http://localhost:80\r\nSec-WebSocket-Origin: http://localhost:80\r\n", "101"}};
    std::string burst;
    for (int i = 0; i < 11; ++i) {
        burst += ClientFrame(FinalText, 1, "r");
    }
    const std::vector<std::pair<std::string, int>> abuses = {
        {ClientFrame(FinalText, 65537, std::string(65537, 's')), 1009}, {burst, 1008}, {"", 1000}};
    for (const char* version : {"7", "8", "13"}) {
        const std::string request = testing::HandshakeRequestOfVersion(version);
        for (const auto& [headers, expected] : origins) {
            RawConnection client(port);
            client.Write(request + headers + "\r\n");
            EXPECT_EQ(status(client), expected) << version << " " << headers;
        }
        for (const auto& [frames, closeCode] : abuses) {
            RawConnection client(port);
            client.Write(request + "Sec-WebSocket-Origin: http://localhost\r\n\r\n");
            ASSERT_EQ(status(client), "101") << version;
            client.ReadUntil("\r\n\r\n");
            client.TryWrite(frames);
            EXPECT_EQ(testing::CloseCodeReceived(client), closeCode) << version;
        }
    }
    EXPECT_EQ(Count("Refused a connection speaking the hixie-76 protocol (no Sec-WebSocket-Version)"), 2);
    EXPECT_EQ(Count("Local websocket server: Refused a connection from origin https://evil.example"), 6);
    EXPECT_EQ(Count("Refused a connection with two origins, https://quorvex.com and http://localhost"), 3);
    EXPECT_EQ(Count("Refused a connection from origin http://localhost, https://evil.example"), 3);
    EXPECT_EQ(Count("Closed a connection idle for 0.3 s"), 3);
    EXPECT_EQ(Count("Closed a connection that sent more than 10 messages a second"), 3);
    EXPECT_TRUE(WaitUntil([&] { return Count("Closed a connection that sent a message over 65536 bytes") == 3; }));

    // An origin is shown, not obeyed.
    RawConnection shown(port);
    shown.Write(HandshakeRequest + "Origin: https://e\x1b[2J\x01\r\n\r\n");
    EXPECT_EQ(status(shown), "403");
    EXPECT_EQ(Count("Refused a connection from origin https://e\\x1b[2J\\x01"), 1);
}

TEST_F(WsServerTest, ConnectionsBeyondTheLimitAreDroppedAtOnceWithOneLinePerBurst)
{
    WsServer::Limits limits;
    limits.connections = 4;
    UseLimits(limits);
    RegisterReply("echo", "echo:");
    const auto port = StartServer();
    std::vector<std::unique_ptr<RawConnection>> open;
    for (int i = 0; i < 4; ++i) {
        open.push_back(OpenRawWebSocket(port));
    }
    const auto refusedBurst = [&] {
        for (int i = 0; i < 10; ++i) {
            RawConnection refused(port);
            refused.TryWrite(HandshakeRequest + "\r\n");
            EXPECT_FALSE(refused.TryReadUntil("\r\n")) << "attempt " << i;
        }
    };
    refusedBurst();
    EXPECT_EQ(Count("Local websocket server: 4 connections are open; refusing new ones until one ends"), 1);

    // One leaves: the next client gets its place (once the server has seen it go), then the limit
    // holds again and a new burst has its own line.
    open.pop_back();
    std::unique_ptr<RawConnection> next;
    ASSERT_TRUE(WaitUntil([&] {
        auto candidate = std::make_unique<RawConnection>(port);
        candidate->Write(HandshakeRequest + "\r\n");
        if (!candidate->TryReadUntil("\r\n\r\n")) {
            return false;
        }
        next = std::move(candidate);
        return true;
    }));
    next->Write(ClientFrame(FinalText, 1, "x"));
    EXPECT_EQ(next->ReadBytes(8), "\x81\x06" + std::string("echo:x"));
    refusedBurst();
    EXPECT_EQ(Count("connections are open; refusing new ones"), 2);
}

// Accepting fails (out of descriptors; the seam stands for it): the loop waits 100 ms, then twice
// as long each time, with one line, and serves again once accepting works. A timer never fires
// early, so the gaps between attempts are at least the waits.
TEST_F(WsServerTest, AFailingAcceptIsTriedAgainLessOftenWithOneLineAndServingGoesOn)
{
    std::mutex mutex;
    std::vector<std::chrono::steady_clock::time_point> attempts;
    WsServer::Limits limits;
    limits.acceptFailure = [&] {
        std::lock_guard<std::mutex> lock(mutex);
        attempts.push_back(std::chrono::steady_clock::now());
        return attempts.size() <= 4 ? std::make_error_code(std::errc::too_many_files_open) : std::error_code();
    };
    UseLimits(limits);
    RegisterReply("echo", "echo:");
    const auto port = StartServer();
    const auto client = clients_.Connect(port);
    ASSERT_TRUE(client->WaitFor([](const ClientSession& s) { return s.opened || s.failed; }) && client->opened);
    clients_.Send(client, "back");
    ASSERT_TRUE(client->WaitFor([](const ClientSession& s) { return HasReceived(s, 1); }));
    EXPECT_EQ(Count("Local websocket server: Accepting a connection failed ("), 1);
    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_GE(attempts.size(), 5u);
    for (std::size_t gap = 1; gap < 5; ++gap) {
        EXPECT_GE(attempts[gap] - attempts[gap - 1], std::chrono::milliseconds(100 << (gap - 1))) << gap;
    }
}

// One process holding every place must not keep the page out for as long as it likes.
TEST_F(WsServerTest, AtTheLimitTheConnectionWithoutAMessageLongestMakesRoomPingsNotCounting)
{
    WsServer::Limits limits;
    limits.connections = 2;
    limits.yieldAfter = std::chrono::milliseconds(0);  // every open connection may yield at once
    UseLimits(limits);
    RegisterReply("echo", "echo:");
    const auto port = StartServer();
    auto first = OpenRawWebSocket(port);
    first->Write(ClientFrame(FinalText, 1, "a"));
    EXPECT_EQ(first->ReadBytes(8), "\x81\x06" + std::string("echo:a"));
    auto second = OpenRawWebSocket(port);
    second->Write(ClientFrame(FinalText, 1, "b"));
    EXPECT_EQ(second->ReadBytes(8), "\x81\x06" + std::string("echo:b"));
    first->Write(ClientFrame(0x89, 1, "p"));
    EXPECT_EQ(first->ReadBytes(3), "\x8a\x01p");

    auto third = OpenRawWebSocket(port);
    EXPECT_EQ(testing::CloseCodeReceived(*first), 1013);
    EXPECT_EQ(Count("Closed the connection without a message for the longest time"), 1);
    third->Write(ClientFrame(FinalText, 1, "c"));
    EXPECT_EQ(third->ReadBytes(8), "\x81\x06" + std::string("echo:c"));
    second->Write(ClientFrame(FinalText, 1, "d"));
    EXPECT_EQ(second->ReadBytes(8), "\x81\x06" + std::string("echo:d"));
}

TEST_F(WsServerTest, AConnectionSilentForTheIdleTimeIsClosedAndATalkingOneStays)
{
    WsServer::Limits limits;
    limits.idle = std::chrono::milliseconds(300);
    UseLimits(limits);
    RegisterReply("echo", "echo:");
    const auto port = StartServer();
    auto silent = clients_.Open(port);
    auto talking = clients_.Open(port);

    // The talking client speaks every 150 ms (pacing, well inside the idle time) until the silent
    // one has been closed.
    std::size_t sent = 0;
    while (!silent->WaitFor([](const ClientSession& s) { return s.closed; }, std::chrono::milliseconds(150))) {
        clients_.Send(talking, "still here");
        ++sent;
        ASSERT_LT(sent, 200u) << "the silent client was never closed";
    }
    EXPECT_EQ(silent->closeCode, 1000);
    EXPECT_EQ(silent->closeReason, "Idle");
    EXPECT_EQ(Count("Local websocket server: Closed a connection idle for 0.3 s"), 1);
    ASSERT_TRUE(talking->WaitFor([&](const ClientSession& s) { return HasReceived(s, sent); }));
    EXPECT_FALSE(talking->closed);
}

// Replies the client never reads would pile up in the game's memory.
TEST_F(WsServerTest, AClientThatDoesNotReadIsDroppedOnceItsQueueIsFull)
{
    server_->RegisterHandler("big", [](WsMessage& message) { message.Send(std::string(60 * 1024, 'r')); });
    const auto port = StartServer();
    RawConnection hoarder(port, 4096);
    hoarder.Write(HandshakeRequest + "\r\n");
    for (int i = 0; i < 10 && hoarder.TryWrite(ClientFrame(FinalText, 1, "x")); ++i) {
    }
    EXPECT_TRUE(WaitForLine("Local websocket server: Dropped a connection that does not read: over 65536 bytes waited"));
    EXPECT_TRUE(WaitForLine("Exception in WsServer::OnMessage: Local websocket server: the client does not read"));
    EXPECT_TRUE(WaitForLine("Client disonnected"));

    auto next = clients_.Open(port);
    clients_.Send(next, "y");
    ASSERT_TRUE(next->WaitFor([](const ClientSession& s) { return HasReceived(s, 1); }));
}

TEST_F(WsServerTest, PingsGetAFewPongsASecondAndTheConnectionServesOn)
{
    RegisterReply("echo", "echo:");
    const auto port = StartServer();
    auto flooder = OpenRawWebSocket(port);
    std::string pings;
    for (int i = 0; i < 100; ++i) {
        pings += ClientFrame(0x89, 4, "ping");
    }
    flooder->Write(pings + ClientFrame(FinalText, 4, "done"));

    // The pongs come before the reply to the message that followed the pings.
    int pongs = 0;
    while (true) {
        const std::string header = flooder->ReadBytes(2);
        const std::string payload = flooder->ReadBytes(static_cast<unsigned char>(header[1]) & 0x7f);
        if (static_cast<unsigned char>(header[0]) != 0x8a) {
            EXPECT_EQ(payload, "echo:done");
            break;
        }
        EXPECT_EQ(payload, "ping");
        ++pongs;
    }
    EXPECT_GE(pongs, 1);
    EXPECT_LE(pongs, 5) << "at most the burst of 4 and what a few milliseconds add";
}

TEST_F(WsServerTest, AMessageOf64KiBPassesOneByteMoreClosesWith1009AndServingGoesOn)
{
    server_->RegisterHandler("size", [](WsMessage& message) {
        message.Send(std::to_string(message.Payload().size()));
    });
    const auto port = StartServer();

    auto session = clients_.Open(port);
    clients_.Send(session, std::string(65536, 'a'));
    ASSERT_TRUE(session->WaitFor([](const ClientSession& s) { return HasReceived(s, 1); }));
    EXPECT_EQ(session->received[0], "65536");

    clients_.Send(session, std::string(65537, 'a'));
    ASSERT_TRUE(session->WaitFor([](const ClientSession& s) { return s.closed; }));
    EXPECT_EQ(session->closeCode, 1009);
    EXPECT_EQ(session->received.size(), 1u);
    EXPECT_TRUE(WaitForLine("Closed a connection that sent a message over 65536 bytes"));

    auto next = clients_.Open(port);
    clients_.Send(next, "x");
    ASSERT_TRUE(next->WaitFor([](const ClientSession& s) { return HasReceived(s, 1); }));
    EXPECT_EQ(next->received[0], "1");
}

TEST_F(WsServerTest, AClientStuckInItsHandshakeDoesNotHoldUpOthers)
{
    RegisterReply("echo", "echo:");
    const auto port = StartServer();

    RawConnection stuck(port);
    stuck.Write("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n");

    auto session = clients_.Open(port);
    clients_.Send(session, "x");
    ASSERT_TRUE(session->WaitFor([](const ClientSession& s) { return HasReceived(s, 1); }));
}

TEST_F(WsServerTest, APlainHttpRequestGetsUpgradeRequiredAndServingGoesOn)
{
    RegisterReply("echo", "echo:");
    const auto port = StartServer();

    RawConnection browser(port);
    browser.Write("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    EXPECT_EQ(browser.ReadUntil("\r\n").substr(0, 12), "HTTP/1.1 426");

    auto session = clients_.Open(port);
    clients_.Send(session, "x");
    ASSERT_TRUE(session->WaitFor([](const ClientSession& s) { return HasReceived(s, 1); }));
}

// --- Start-up and stop ---

TEST_F(WsServerTest, DestroyingClosesEachClientWith1001AndLogsTheStopInOrder)
{
    RegisterReply("echo", "echo:");
    const auto port = StartServer();
    auto first = clients_.Open(port);
    auto second = clients_.Open(port);
    // A reply proves the server has recorded the connection as open.
    for (const auto& session : {first, second}) {
        clients_.Send(session, "x");
        ASSERT_TRUE(session->WaitFor([](const ClientSession& s) { return HasReceived(s, 1); }));
    }

    server_.reset();

    for (const auto& session : {first, second}) {
        ASSERT_TRUE(session->WaitFor([](const ClientSession& s) { return s.closed; }));
        EXPECT_EQ(session->closeCode, 1001);
        EXPECT_EQ(session->closeReason, "Server stopping");
    }
    EXPECT_TRUE(LoggedInOrder({"Local websocket server: Not accepting new connections",
                               "Local websocket server: Closing a client connection",
                               "Local websocket server: Closing a client connection",
                               "Local websocket server: Waiting..", "joining?", "joined"}));
    EXPECT_TRUE(LoggedInOrder({"Local websocket server: Stopping", "joining?"}));
    EXPECT_EQ(Count("Client disonnected"), 2);
}

// Each handshake under way could otherwise hold the stop for its 5 s time-out and then for a
// closing handshake of its own.
TEST_F(WsServerTest, HandshakesUnderWayWhenTheStopBeginsAreDroppedAtOnce)
{
    RegisterReply("echo", "echo:");
    const auto port = StartServer();
    std::vector<std::unique_ptr<RawConnection>> late;
    for (int i = 0; i < 20; ++i) {
        late.push_back(std::make_unique<RawConnection>(port));
        late.back()->Write("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                           "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n");
    }
    // Connections are accepted in order: once a later one has had a reply, the server holds
    // all the half-done handshakes.
    auto earlier = clients_.Open(port);
    clients_.Send(earlier, "x");
    ASSERT_TRUE(earlier->WaitFor([](const ClientSession& s) { return HasReceived(s, 1); }));

    const auto stopBegan = std::chrono::steady_clock::now();
    auto stopped = std::async(std::launch::async, [this] { server_.reset(); });
    EXPECT_TRUE(WaitForLine("Local websocket server: Waiting.."));
    for (auto& connection : late) {
        // Finishing the handshake now is too late: the connection is gone, no 101 came.
        connection->TryWrite("\r\n");
        EXPECT_FALSE(connection->TryReadUntil("\r\n"));
    }
    // The one open client answers the close; nothing else holds the stop.
    EXPECT_EQ(stopped.wait_for(Patience), std::future_status::ready);
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - stopBegan;
    std::cout << "[ stop ] with 20 handshakes under way and one open client: " << took.count() << " ms\n";
    EXPECT_EQ(Count("Closing a client connection"), 1) << "only the connection open before the stop";
    EXPECT_EQ(Count("Client connected"), 1);
    EXPECT_EQ(Count("Client disonnected"), 1);
    ASSERT_TRUE(earlier->WaitFor([](const ClientSession& s) { return s.closed; }));
    EXPECT_EQ(earlier->closeCode, 1001);
}

TEST_F(WsServerTest, DestroyingWithoutClientsLogsTheStopAndFreesThePort)
{
    const auto port = StartServer();

    server_.reset();

    EXPECT_TRUE(LoggedInOrder({"Local websocket server: Not accepting new connections",
                               "Local websocket server: Waiting..", "joining?", "joined"}));
    EXPECT_EQ(Count("Closing a client connection"), 0);
    EXPECT_TRUE(CanListenOn(port));
}

TEST_F(WsServerTest, APortInUseLogsTheFailureAndNeverListens)
{
    asio::io_context io;
    asio::ip::tcp::acceptor taken(io,
                                  asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), 0));
    const auto port = taken.local_endpoint().port();

    server_->Start(port);
    EXPECT_FALSE(server_->WaitUntilListening(Patience));
    server_.reset();

    const auto lines = host_->ConsoleLines();
    const auto failed =
        std::find(lines.begin(), lines.end(), "Local websocket server: failed to init.");
    ASSERT_GE(lines.end() - failed, 4);
    const std::error_code inUse = asio::error::address_in_use;
    EXPECT_EQ(failed[1], inUse.message());
    EXPECT_EQ(failed[2], std::to_string(inUse.value()));
    EXPECT_EQ(failed[3], inUse.message());
    EXPECT_EQ(Count("Listening on"), 0);
    EXPECT_EQ(Count("Not accepting new connections"), 0);
    EXPECT_EQ(Count("joined"), 0);
}

TEST_F(WsServerTest, DestroyingDuringStartUpEndsTheThreadWithoutLeavingItListening)
{
    const auto port = FreePort();
    // Most rounds stop the server before it listens; one that got there first must be stopped
    // in full. Either way the destructor returns and the port is free again.
    for (int round = 0; round < 20; ++round) {
        WsServer server;
        server.Start(port);
    }

    EXPECT_EQ(Count("Startin server thread"), 20);
    EXPECT_EQ(Count("Listening on"), Count("Not accepting new connections"));
    EXPECT_EQ(Count("Listening on"), Count("joined"));
    EXPECT_TRUE(CanListenOn(port));
}

}  // namespace
}  // namespace quorvex
