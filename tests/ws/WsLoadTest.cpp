// The local WebSocket server under a bounded load on loopback: a crowd of clients connecting at
// once, connections that never finish their handshake and frames over the size limit, while one
// well-behaved client keeps talking to it. The server listens on a port the system picks.
//
// Memory is judged by what the process holds before and after the load: its open file
// descriptors (each connection, open or half-open, holds a socket on either side, so a server
// that keeps a connection alive keeps a descriptor) and, more loosely, its resident memory. The
// figures the test prints are recorded in bench/README.md.
#include "ws/WsServer.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/support/TestHost.h"
#include "tests/ws/WsTestClients.h"

namespace quorvex {
namespace {

using testing::ClientFrame;
using testing::ClientSession;
using testing::CloseCodeReceived;
using testing::FinalContinuation;
using testing::FinalText;
using testing::FirstTextFragment;
using testing::HandshakeRequest;
using testing::OpenRawWebSocket;
using testing::HasReceived;
using testing::Patience;
using testing::RawConnection;
using testing::TestClients;
using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::duration<double, std::milli>;

constexpr int CrowdSize = 200;
constexpr int StuckCount = 50;
constexpr int OversizedPerKind = 4;
constexpr std::size_t MessageLimit = 64 * 1024;
// The server's open-handshake time-out.
constexpr auto HandshakeTimeout = std::chrono::seconds(5);
// A liveness bound, not a speed target: a well-behaved client that waits longer than this for an
// answer has been starved by the load.
constexpr auto ReplyBound = std::chrono::seconds(1);
constexpr auto ProbeInterval = std::chrono::milliseconds(50);
// Resident memory may grow by allocator caches (about 6 MiB here) and, under a sanitizer, by the
// shadow memory of all the load touched (about 64 MiB under ThreadSanitizer) and AddressSanitizer's
// quarantine of freed blocks. The descriptor count is what shows every connection released;
// this only catches gross retention, such as megabytes kept per connection.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr long ResidentGrowthLimitKiB = 256 * 1024;
#else
constexpr long ResidentGrowthLimitKiB = 32 * 1024;
#endif

const std::string ReplyPrefix = "OK ";

std::string UserCodeMessage(int client)
{
    return "{\"UserCode\":\"load-" + std::to_string(client) + "\"}";
}

int OpenDescriptors()
{
    const auto entries = std::filesystem::directory_iterator("/proc/self/fd");
    return static_cast<int>(std::distance(begin(entries), end(entries)));
}

long ResidentKiB()
{
    long sizePages = 0;
    long residentPages = 0;
    std::ifstream("/proc/self/statm") >> sizePages >> residentPages;
    return residentPages * (sysconf(_SC_PAGESIZE) / 1024);
}

template <class Condition>
bool WaitUntil(Condition condition)
{
    const auto deadline = Clock::now() + Patience;
    while (!condition()) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// A well-behaved client on a thread of its own: sends a message every ProbeInterval, waits for
// its answer and records how long that took, until stopped.
class Probe
{
public:
    explicit Probe(std::uint16_t port) : session_(clients_.Open(port))
    {
        thread_ = std::thread([this] { Run(); });
    }

    ~Probe()
    {
        Stop();
    }

    // Stops sending; afterwards the results below may be read.
    void Stop()
    {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
    }

    // Answer times in order; a message that got no or a wrong answer ends the list.
    const std::vector<Milliseconds>& Latencies() const { return latencies_; }
    const std::string& Failure() const { return failure_; }

private:
    void Run()
    {
        for (std::size_t sent = 0; !stop_; ++sent) {
            const std::string message = "probe " + std::to_string(sent);
            const auto start = Clock::now();
            clients_.Send(session_, message);
            std::string reply;
            const bool answered = session_->WaitFor([&](const ClientSession& s) {
                if (!HasReceived(s, sent + 1)) {
                    return false;
                }
                reply = s.received[sent];
                return true;
            });
            if (!answered || reply != ReplyPrefix + message) {
                failure_ = "'" + message + "' answered with '" + reply + "'";
                return;
            }
            latencies_.push_back(Clock::now() - start);
            std::this_thread::sleep_until(start + ProbeInterval);
        }
    }

    TestClients clients_;
    std::shared_ptr<ClientSession> session_;
    std::atomic<bool> stop_{false};
    // Written by the probe thread; read by the test after Stop joined it.
    std::vector<Milliseconds> latencies_;
    std::string failure_;
    std::thread thread_;
};

// TCP connections that never finish a WebSocket handshake: half send nothing, half the start of
// a request. Used from the test thread only.
class StuckConnections
{
public:
    StuckConnections(std::uint16_t port, int count)
    {
        sockets_.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            sockets_.emplace_back(io_);
            sockets_.back().connect(
                asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), port));
            if (i % 2 == 1) {
                asio::write(sockets_.back(), asio::buffer(HandshakeRequest));
            }
        }
    }

    // Waits until the server has closed each of them or the deadline has passed; how many it
    // closed.
    int ClosedByServerBefore(Clock::time_point deadline)
    {
        int closed = 0;
        std::vector<std::array<char, 512>> buffers(sockets_.size());
        std::function<void(std::size_t)> readOn = [&](std::size_t i) {
            sockets_[i].async_read_some(asio::buffer(buffers[i]),
                                        [&, i](const std::error_code& error, std::size_t) {
                                            if (error) {
                                                ++closed;
                                            } else {
                                                readOn(i);  // an answer before the close
                                            }
                                        });
        };
        for (std::size_t i = 0; i < sockets_.size(); ++i) {
            readOn(i);
        }
        io_.run_until(deadline);
        const int closedByServer = closed;
        // Let reads still pending end here, while what they refer to exists.
        for (auto& socket : sockets_) {
            std::error_code ignored;
            socket.close(ignored);
        }
        io_.restart();
        io_.run();
        return closedByServer;
    }

private:
    asio::io_context io_;
    std::vector<asio::ip::tcp::socket> sockets_;
};

// Sends a message over the limit in each way a client can and expects each connection closed
// with 1009: a frame sent in full, a frame that only declares an enormous length, and a message
// whose fragments are each under the limit. The server may drop a connection before it has taken
// all of a refused message, so those writes may fail.
void SendOversizedMessages(std::uint16_t port)
{
    const std::string fragment(40000, 'f');
    for (int round = 0; round < OversizedPerKind; ++round) {
        auto whole = OpenRawWebSocket(port);
        whole->TryWrite(
            ClientFrame(FinalText, MessageLimit + 1, std::string(MessageLimit + 1, 'w')));
        EXPECT_EQ(CloseCodeReceived(*whole), 1009) << "a frame one byte over the limit";

        auto declared = OpenRawWebSocket(port);
        declared->Write(ClientFrame(FinalText, std::uint64_t{1} << 62, ""));
        EXPECT_EQ(CloseCodeReceived(*declared), 1009) << "a frame declaring 2^62 bytes";

        auto fragmented = OpenRawWebSocket(port);
        fragmented->Write(ClientFrame(FirstTextFragment, fragment.size(), fragment));
        fragmented->TryWrite(ClientFrame(FinalContinuation, fragment.size(), fragment));
        EXPECT_EQ(CloseCodeReceived(*fragmented), 1009) << "two fragments over the limit";
    }
}

std::string Summary(std::vector<Milliseconds> latencies)
{
    if (latencies.empty()) {
        return "no answers";
    }
    std::sort(latencies.begin(), latencies.end());
    return std::to_string(latencies.size()) + " answers, median " +
           std::to_string(latencies[latencies.size() / 2].count()) + " ms, max " +
           std::to_string(latencies.back().count()) + " ms";
}

class WsLoadTest : public ::testing::Test
{
protected:
    std::uint16_t StartServer()
    {
        server_->RegisterHandler("UserCode", [](WsMessage& message) {
            message.Send(ReplyPrefix + message.Payload());
        });
        server_->Start(0);
        EXPECT_TRUE(server_->WaitUntilListening(Patience));
        return server_->Port();
    }

    int Count(const std::string& text)
    {
        return host_.CountConsoleLines(text);
    }

    testing::TestHost host_;
    std::unique_ptr<WsServer> server_ = std::make_unique<WsServer>();
};

TEST_F(WsLoadTest, ACrowdStuckHandshakesAndOversizedFramesNeitherStarveAClientNorLeak)
{
    const auto port = StartServer();
    Probe probe(port);
    const int descriptorsBefore = OpenDescriptors();
    const long residentBefore = ResidentKiB();

    auto stuck = std::make_unique<StuckConnections>(port, StuckCount);
    const auto stuckSince = Clock::now();

    // The crowd connects at once; the oversized messages go out while it does.
    const auto crowdSince = Clock::now();
    auto crowdClients = std::make_unique<TestClients>();
    std::vector<std::shared_ptr<ClientSession>> crowd;
    for (int client = 0; client < CrowdSize; ++client) {
        crowd.push_back(crowdClients->Connect(port));
    }
    SendOversizedMessages(port);
    for (int client = 0; client < CrowdSize; ++client) {
        ASSERT_TRUE(crowd[client]->WaitFor([](const ClientSession& s) { return s.opened; }))
            << "client " << client;
        crowdClients->Send(crowd[client], UserCodeMessage(client));
    }
    for (int client = 0; client < CrowdSize; ++client) {
        std::vector<std::string> received;
        ASSERT_TRUE(crowd[client]->WaitFor([&](const ClientSession& s) {
            received = s.received;
            return HasReceived(s, 1);
        })) << "client " << client;
        EXPECT_EQ(received, std::vector<std::string>{ReplyPrefix + UserCodeMessage(client)});
    }
    const Milliseconds crowdServed = Clock::now() - crowdSince;
    const long residentUnderLoad = ResidentKiB();

    EXPECT_EQ(stuck->ClosedByServerBefore(stuckSince + HandshakeTimeout + Patience), StuckCount);

    // Every client leaves at once, without a closing handshake.
    crowdClients.reset();
    stuck.reset();
    const int connected = Count("Local websocket server: Client connected");
    EXPECT_EQ(connected, 1 + CrowdSize + 3 * OversizedPerKind);
    EXPECT_TRUE(WaitUntil([&] { return Count("Client disonnected") == connected - 1; }))
        << "only the probe stays open";
    EXPECT_EQ(Count("Closed a connection that sent a message over 65536 bytes"),
              3 * OversizedPerKind);
    int descriptorsAfter = 0;
    EXPECT_TRUE(WaitUntil([&] {
        descriptorsAfter = OpenDescriptors();
        return descriptorsAfter <= descriptorsBefore;
    })) << "open descriptors before " << descriptorsBefore << ", after " << descriptorsAfter;
    const long residentAfter = ResidentKiB();
    EXPECT_LT(residentAfter - residentBefore, ResidentGrowthLimitKiB);

    probe.Stop();
    EXPECT_EQ(probe.Failure(), "");
    const auto& latencies = probe.Latencies();
    ASSERT_FALSE(latencies.empty());
    EXPECT_LT(std::max_element(latencies.begin(), latencies.end())->count(),
              Milliseconds(ReplyBound).count())
        << Summary(latencies);

    std::cout << "[ load ] well-behaved client: " << Summary(latencies) << "\n"
              << "[ load ] " << CrowdSize << " clients connected and answered in "
              << crowdServed.count() << " ms\n"
              << "[ load ] open descriptors before " << descriptorsBefore << ", after "
              << descriptorsAfter << "\n"
              << "[ load ] resident KiB before " << residentBefore << ", with the crowd open "
              << residentUnderLoad << ", after " << residentAfter << std::endl;
}

TEST_F(WsLoadTest, AHandshakeDeclaringABodyOverTheLimitIsRefusedAtOnceAndServingGoesOn)
{
    const auto port = StartServer();

    // Held until the body came, such requests would let each connection make the server keep
    // megabytes until its handshake time-out.
    RawConnection heavy(port);
    heavy.Write(HandshakeRequest + "Content-Length: " + std::to_string(MessageLimit + 1) +
                "\r\n\r\n");
    EXPECT_EQ(heavy.ReadUntil("\r\n").substr(0, 12), "HTTP/1.1 413");

    auto next = OpenRawWebSocket(port);
    next->Write(ClientFrame(FinalText, 1, "x"));
    EXPECT_EQ(next->ReadBytes(2 + ReplyPrefix.size() + 1),
              "\x81\x04" + ReplyPrefix + "x");
}

}  // namespace
}  // namespace quorvex
