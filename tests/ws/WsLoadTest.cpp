// The local WebSocket server under a bounded load on loopback, as a hostile local process would
// make it: a crowd of clients beyond the connection limit, connections that never finish their
// handshake, frames over the size limit, a ping flood from a client that does not read, a
// message flood, running out of descriptors, and a stop while handshakes are under way and
// clients do not answer the close. Meanwhile one well-behaved client keeps talking to it. The
// server listens on a port the system picks.
//
// Memory is judged by what the process holds before and after the load: its open file
// descriptors (each connection, open or half-open, holds a socket on either side, so a server
// that keeps a connection alive keeps a descriptor) and the bytes live in its heap. The
// figures the test prints are recorded in bench/README.md.
#include "ws/WsServer.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <future>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include "tests/support/HeapUsage.h"
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
using testing::LiveHeapBytes;
using testing::Patience;
using testing::WaitUntil;
using testing::RawConnection;
using testing::TestClients;
using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::duration<double, std::milli>;

// With the probe, the stuck handshakes and the crowd the server holds its 32 connections; the
// extra clients come on top.
constexpr int ConnectionLimit = 32;
constexpr int StuckCount = 10;
constexpr int CrowdSize = ConnectionLimit - 1 - StuckCount;
constexpr int ExtraCount = 100;
constexpr int OversizedPerKind = 4;
constexpr std::size_t MessageLimit = 64 * 1024;
// The server's open-handshake time-out.
constexpr auto HandshakeTimeout = std::chrono::seconds(5);
// A liveness bound, not a speed target: a well-behaved client that waits longer than this for an
// answer has been starved by the load.
constexpr auto ReplyBound = std::chrono::seconds(5);
// Under the server's 10 messages a second.
constexpr auto ProbeInterval = std::chrono::milliseconds(150);
// What the crowd may leave in the heap once every client has gone: log lines and the server's
// recycled buffers. Megabytes kept per connection would be hundreds.
constexpr std::size_t CrowdHeapGrowthLimit = 16u << 20;

const std::string ReplyPrefix = "OK ";
// The message a flooding client ends with; the handler does not answer it.
const std::string FloodEnd = "flood end";
constexpr std::uint8_t Ping = 0x89;
constexpr std::uint8_t Close = 0x88;
constexpr std::size_t PingsPerWrite = 1000;
// 200000 pings of the largest control payload (125 bytes): about 26 MB. Every one answered
// would queue as much again, plus a message object per pong, in the game's memory.
constexpr int PingWrites = 200;
constexpr int Flooders = 8;
constexpr int MessagesPerFlood = 2000;
constexpr int MessageLimitPerSecond = 10;
// Clients whose handshake is under way and clients that never answer the close, at the stop.
constexpr int LateHandshakes = 20;
constexpr int Unanswering = 10;
// What the ping flood may add to the heap: the frames being read. A queued pong per ping would
// be about 60 MiB.
constexpr std::size_t PingFloodHeapGrowthLimit = 8u << 20;

std::string UserCodeMessage(int client)
{
    return "{\"UserCode\":\"load-" + std::to_string(client) + "\"}";
}

int OpenDescriptors()
{
    const auto entries = std::filesystem::directory_iterator("/proc/self/fd");
    return static_cast<int>(std::distance(begin(entries), end(entries)));
}

std::size_t Growth(std::size_t before, std::size_t after)
{
    return after > before ? after - before : 0;
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
    // Answers so far; any thread.
    std::size_t Answered() const { return answered_.load(); }
    // Waits until `more` answers beyond those so far came; false when the probe stopped.
    bool WaitForMoreAnswers(std::size_t more) const
    {
        const std::size_t target = Answered() + more;
        return WaitUntil([&] { return Answered() >= target || failed_; }) && !failed_;
    }
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
                failed_ = true;
                return;
            }
            latencies_.push_back(Clock::now() - start);
            ++answered_;
            std::this_thread::sleep_until(start + ProbeInterval);
        }
    }

    TestClients clients_;
    std::shared_ptr<ClientSession> session_;
    std::atomic<bool> stop_{false};
    std::atomic<std::size_t> answered_{0};
    std::atomic<bool> failed_{false};
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
        server_->RegisterHandler("UserCode", [this](WsMessage& message) {
            if (message.Payload() == FloodEnd) {
                floodsEnded_++;
                return;
            }
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

    // Console lines so far.
    std::size_t Lines()
    {
        return host_->ConsoleLines().size();
    }

    testing::TestHost host_;
    // Messages FloodEnd the server has seen: a flood sent before it has been taken in.
    std::atomic<int> floodsEnded_{0};
    std::unique_ptr<WsServer> server_ = std::make_unique<WsServer>();
};

TEST_F(WsLoadTest, ACrowdBeyondTheLimitStuckHandshakesAndOversizedFramesNeitherStarveAClientNorLeak)
{
    const auto port = StartServer();
    Probe probe(port);
    const int descriptorsBefore = OpenDescriptors();
    const std::size_t heapBefore = LiveHeapBytes();

    auto stuck = std::make_unique<StuckConnections>(port, StuckCount);
    const auto stuckSince = Clock::now();

    // The crowd connects at once and fills the server up to its limit; the extra clients on top
    // are dropped at once, with one line for all of them.
    const auto crowdSince = Clock::now();
    auto crowdClients = std::make_unique<TestClients>();
    std::vector<std::shared_ptr<ClientSession>> crowd;
    for (int client = 0; client < CrowdSize; ++client) {
        crowd.push_back(crowdClients->Connect(port));
    }
    for (int client = 0; client < CrowdSize; ++client) {
        ASSERT_TRUE(crowd[client]->WaitFor([](const ClientSession& s) { return s.opened; })) << "client " << client;
    }
    std::vector<std::shared_ptr<ClientSession>> extra;
    for (int client = 0; client < ExtraCount; ++client) {
        extra.push_back(crowdClients->Connect(port));
    }
    for (int client = 0; client < ExtraCount; ++client) {
        ASSERT_TRUE(extra[client]->WaitFor([](const ClientSession& s) { return s.failed || s.opened; }));
        EXPECT_TRUE(extra[client]->failed) << "extra client " << client;
    }
    EXPECT_EQ(Count("Local websocket server: 32 connections are open; refusing new ones until one ends"), 1);
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
    const std::size_t heapUnderLoad = LiveHeapBytes();

    EXPECT_EQ(stuck->ClosedByServerBefore(stuckSince + HandshakeTimeout + Patience), StuckCount);

    // Every client leaves at once, without a closing handshake; then the oversized messages.
    crowdClients.reset();
    stuck.reset();
    SendOversizedMessages(port);
    const int connected = Count("Local websocket server: Client connected");
    EXPECT_EQ(connected, 1 + CrowdSize + 3 * OversizedPerKind);
    // The close handler logs the disconnection, then why the server closed it.
    const auto oversizedClosed = [&] { return Count("Closed a connection that sent a message over 65536 bytes"); };
    EXPECT_TRUE(WaitUntil([&] {
        return Count("Client disonnected") == connected - 1 && oversizedClosed() >= 3 * OversizedPerKind;
    })) << "only the probe stays open";
    EXPECT_EQ(oversizedClosed(), 3 * OversizedPerKind);
    int descriptorsAfter = 0;
    EXPECT_TRUE(WaitUntil([&] {
        descriptorsAfter = OpenDescriptors();
        return descriptorsAfter <= descriptorsBefore;
    })) << "open descriptors before " << descriptorsBefore << ", after " << descriptorsAfter;
    const std::size_t heapAfter = LiveHeapBytes();
    EXPECT_LT(Growth(heapBefore, heapAfter), CrowdHeapGrowthLimit);

    probe.Stop();
    EXPECT_EQ(probe.Failure(), "");
    const auto& latencies = probe.Latencies();
    ASSERT_FALSE(latencies.empty());
    EXPECT_LT(std::max_element(latencies.begin(), latencies.end())->count(),
              Milliseconds(ReplyBound).count())
        << Summary(latencies);

    std::cout << "[ load ] well-behaved client: " << Summary(latencies) << "\n"
              << "[ load ] " << CrowdSize << " clients connected and answered, " << ExtraCount
              << " more dropped, in "
              << crowdServed.count() << " ms\n"
              << "[ load ] open descriptors before " << descriptorsBefore << ", after "
              << descriptorsAfter << "\n"
              << "[ load ] live heap KiB before " << heapBefore / 1024 << ", with the crowd open "
              << heapUnderLoad / 1024 << ", after " << heapAfter / 1024 << std::endl;
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

// A client sends pings flat out and never reads: each pong would wait in the server's queue.
TEST_F(WsLoadTest, APingFloodFromAClientThatDoesNotReadGrowsNoMemory)
{
    const auto port = StartServer();
    Probe probe(port);
    ASSERT_TRUE(probe.WaitForMoreAnswers(1)) << "the server has logged the probe's connection";
    const int descriptorsBefore = OpenDescriptors();
    const auto linesBefore = Lines();
    auto flooder = std::make_unique<RawConnection>(port, 4096);
    flooder->Write(HandshakeRequest + "\r\n");
    flooder->ReadUntil("\r\n\r\n");
    const std::size_t heapBefore = LiveHeapBytes();

    std::string pings;
    for (std::size_t i = 0; i < PingsPerWrite; ++i) {
        pings += ClientFrame(Ping, 125, std::string(125, 'p'));
    }
    const auto floodSince = Clock::now();
    for (int write = 0; write < PingWrites; ++write) {
        ASSERT_TRUE(flooder->TryWrite(pings)) << "the server dropped the flooder after " << write << " writes";
    }
    flooder->Write(ClientFrame(FinalText, FloodEnd.size(), FloodEnd));
    ASSERT_TRUE(WaitUntil([&] { return floodsEnded_ == 1; }));
    const Milliseconds flooded = Clock::now() - floodSince;
    const std::size_t heapAfter = LiveHeapBytes();

    EXPECT_LT(Growth(heapBefore, heapAfter), PingFloodHeapGrowthLimit);
    EXPECT_TRUE(probe.WaitForMoreAnswers(2)) << probe.Failure();
    EXPECT_LE(Lines() - linesBefore, 2u) << "the flooder's connect line, and nothing per ping";
    flooder.reset();
    EXPECT_TRUE(WaitUntil([&] { return OpenDescriptors() <= descriptorsBefore; }));
    probe.Stop();
    EXPECT_EQ(probe.Failure(), "");
    std::cout << "[ load ] " << PingsPerWrite * PingWrites << " pings taken in " << flooded.count()
              << " ms; live heap KiB before " << heapBefore / 1024 << ", after " << heapAfter / 1024
              << "; well-behaved client: " << Summary(probe.Latencies()) << std::endl;
}

// What a flooder reads until the server's close frame: the replies, then the close status.
struct FloodOutcome {
    int replies = 0;
    int closeCode = 0;
};

FloodOutcome ReadUntilClosed(RawConnection& connection)
{
    FloodOutcome outcome;
    while (true) {
        const std::string header = connection.ReadBytes(2);
        const std::string payload = connection.ReadBytes(static_cast<unsigned char>(header[1]) & 0x7f);
        if (static_cast<unsigned char>(header[0]) == Close) {
            outcome.closeCode = payload.size() < 2 ? 0
                                                   : static_cast<unsigned char>(payload[0]) * 256 +
                                                         static_cast<unsigned char>(payload[1]);
            return outcome;
        }
        ++outcome.replies;
    }
}

TEST_F(WsLoadTest, AMessageFloodIsAnsweredTenTimesThenClosedWith1008WhileServingGoesOn)
{
    const auto port = StartServer();
    Probe probe(port);
    ASSERT_TRUE(probe.WaitForMoreAnswers(1)) << "the server has logged the probe's connection";
    const auto linesBefore = Lines();
    std::string flood;
    for (int i = 0; i < MessagesPerFlood; ++i) {
        flood += ClientFrame(FinalText, 1, "m");
    }
    std::vector<std::unique_ptr<RawConnection>> flooders;
    for (int i = 0; i < Flooders; ++i) {
        flooders.push_back(OpenRawWebSocket(port));
        flooders.back()->TryWrite(flood);
    }
    for (auto& flooder : flooders) {
        const FloodOutcome outcome = ReadUntilClosed(*flooder);
        EXPECT_EQ(outcome.closeCode, 1008);
        EXPECT_GE(outcome.replies, MessageLimitPerSecond);
        EXPECT_LE(outcome.replies, MessageLimitPerSecond + 1) << "a burst of 10 and what a millisecond adds";
    }
    EXPECT_EQ(Count("Local websocket server: Closed a connection that sent more than 10 messages a second"), Flooders);
    EXPECT_TRUE(probe.WaitForMoreAnswers(2)) << probe.Failure();
    flooders.clear();
    EXPECT_TRUE(WaitUntil([&] { return Count("Client disonnected") == Flooders; }));
    // Per flooder: connected, closed for the flood, disconnected.
    EXPECT_LE(Lines() - linesBefore, static_cast<std::size_t>(3 * Flooders));
    probe.Stop();
    EXPECT_EQ(probe.Failure(), "");
}

// Raises the soft descriptor limit back to what it was when it goes, whatever the test did.
class DescriptorLimit
{
public:
    DescriptorLimit()
    {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
    }

    ~DescriptorLimit()
    {
        Restore();
    }

    // No new descriptor can be made: the limit falls to the highest one open, every free number
    // below it is taken.
    void Exhaust()
    {
        int highest = 0;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
            highest = std::max(highest, std::stoi(entry.path().filename().string()));
        }
        rlimit lowered = saved_;
        lowered.rlim_cur = static_cast<rlim_t>(highest + 1);
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
        for (int fd = ::dup(0); fd >= 0; fd = ::dup(0)) {
            fillers_.push_back(fd);
        }
    }

    void Restore()
    {
        for (const int fd : fillers_) {
            ::close(fd);
        }
        fillers_.clear();
        ::setrlimit(RLIMIT_NOFILE, &saved_);
    }

private:
    rlimit saved_{};
    std::vector<int> fillers_;
};

double ProcessCpuSeconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Clients keep connecting while the game has no descriptor left: the accept loop must wait, not
// spin (which took a core and wrote a line per attempt), and recover once descriptors are back.
TEST_F(WsLoadTest, OutOfDescriptorsTheAcceptLoopBacksOffAndRecovers)
{
    const auto port = StartServer();
    Probe probe(port);
    TestClients goodClients;
    asio::io_context io;
    asio::ip::tcp::socket opensTheReactor(io, asio::ip::tcp::v4());
    ASSERT_TRUE(probe.WaitForMoreAnswers(1)) << "the server has logged the probe's connection";
    const int descriptorsBefore = OpenDescriptors();
    // Made before the descriptors run out: connecting them takes none.
    std::vector<asio::ip::tcp::socket> waiting;
    for (int i = 0; i < ConnectionLimit; ++i) {
        waiting.emplace_back(io);
        waiting.back().open(asio::ip::tcp::v4());
    }
    const auto linesBefore = Lines();

    DescriptorLimit limit;
    limit.Exhaust();
    for (auto& socket : waiting) {
        socket.connect(asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), port));
    }
    ASSERT_TRUE(WaitUntil([&] { return Count("Local websocket server: Accepting a connection failed (Too many open files)") == 1; }));
    // While it lasts the connected client is still served, and the server does not burn a core.
    const double cpuSince = ProcessCpuSeconds();
    const auto wallSince = Clock::now();
    EXPECT_TRUE(probe.WaitForMoreAnswers(5)) << probe.Failure();
    const double cpuShare = (ProcessCpuSeconds() - cpuSince) / std::chrono::duration<double>(Clock::now() - wallSince).count();
    EXPECT_LT(cpuShare, 0.5) << "the process kept a core busy while it could not accept";
    EXPECT_EQ(Count("Accepting a connection failed"), 1) << "one line, not one per attempt";
    limit.Restore();

    // The waiting clients leave; a good client gets in once the accept loop tries again.
    waiting.clear();
    std::shared_ptr<ClientSession> good;
    ASSERT_TRUE(WaitUntil([&] {
        good = goodClients.Connect(port);
        return good->WaitFor([](const ClientSession& s) { return s.opened || s.failed; }) && good->opened;
    }));
    goodClients.Send(good, "back");
    ASSERT_TRUE(good->WaitFor([](const ClientSession& s) { return HasReceived(s, 1); }));
    EXPECT_EQ(good->received[0], ReplyPrefix + "back");
    // Per waiting client at most a connected and a disconnected line, and the one failure line.
    EXPECT_LE(Lines() - linesBefore, static_cast<std::size_t>(2 * ConnectionLimit + 4));
    probe.Stop();
    EXPECT_EQ(probe.Failure(), "");
    goodClients.Send(good, "last");  // keeps the good client's socket counted below until it is answered
    ASSERT_TRUE(good->WaitFor([](const ClientSession& s) { return HasReceived(s, 2); }));
    int descriptorsAfter = 0;
    EXPECT_TRUE(WaitUntil([&] {
        descriptorsAfter = OpenDescriptors();
        return descriptorsAfter <= descriptorsBefore + 2;  // the good client's two ends
    })) << "open descriptors before " << descriptorsBefore << ", after " << descriptorsAfter;
    std::cout << "[ load ] out of descriptors: the process used " << cpuShare * 100 << " % of a core" << std::endl;
}

// A hixie-76 text frame that never ends and a hybi-13 one that never ends either; 30 more clients
// never answer the close. The server holds no more than its message limit for either, and the
// stop ends on its own bound.
TEST_F(WsLoadTest, UnterminatedFramesOfEitherProtocolHoldNeitherMemoryNorTheStop)
{
    constexpr std::size_t StreamedBytes = 128u << 20;
    constexpr std::size_t HeapGrowthLimit = 64u << 20;
    const auto port = StartServer();
    const std::size_t heapBefore = LiveHeapBytes();

    RawConnection hixie(port);
    hixie.Write(testing::Hixie76Request("http://localhost"));
    EXPECT_EQ(hixie.ReadUntil("\r\n").substr(0, 12), "HTTP/1.1 426");
    std::size_t hixieTaken = 0;
    const std::string chunk = std::string(1, '\0') + std::string((1u << 20) - 1, 'h');
    while (hixieTaken < StreamedBytes && hixie.TryWrite(chunk)) {
        hixieTaken += chunk.size();
    }
    const std::size_t heapAfterHixie = LiveHeapBytes();

    // A frame of 64 KiB that comes a few bytes at a time and never ends: the server holds it open.
    auto trickle = OpenRawWebSocket(port);
    trickle->Write(ClientFrame(FinalText, MessageLimit, std::string(4000, 't')));
    std::vector<std::unique_ptr<RawConnection>> unanswering;
    for (int i = 0; i < ConnectionLimit - 2; ++i) {
        unanswering.push_back(OpenRawWebSocket(port));
        trickle->Write("tttt");
    }
    const std::size_t heapWithStreams = LiveHeapBytes();

    const auto stopSince = Clock::now();
    auto stopped = std::async(std::launch::async, [this] { server_.reset(); });
    EXPECT_EQ(stopped.wait_for(Patience), std::future_status::ready) << "the stop hangs";
    const Milliseconds took = Clock::now() - stopSince;
    EXPECT_LT(Growth(heapBefore, heapAfterHixie), HeapGrowthLimit);
    EXPECT_LT(Growth(heapBefore, heapWithStreams), HeapGrowthLimit);
    // The stop's own bound: 3 s for the closing handshakes, then the rest is dropped.
    EXPECT_EQ(Count("connections that did not finish closing"), 1);
    std::cout << "[ stream ] hixie-76 stream: " << hixieTaken / 1024 << " KiB taken before the refusal ended it; live heap KiB before "
              << heapBefore / 1024 << ", after it " << heapAfterHixie / 1024 << ", with the trickle and "
              << unanswering.size() << " clients that do not answer " << heapWithStreams / 1024 << "; stop "
              << took.count() << " ms" << std::endl;
}

// The unload waits for the stop: handshakes under way and clients that never answer the close
// must not hold it past 5 s.
TEST_F(WsLoadTest, TheStopEndsWithinItsBoundWithHandshakesUnderWayAndClientsThatDoNotAnswer)
{
    const auto port = StartServer();
    std::vector<std::unique_ptr<RawConnection>> unanswering;
    for (int i = 0; i < Unanswering; ++i) {
        unanswering.push_back(OpenRawWebSocket(port));
        unanswering.back()->Write(ClientFrame(FinalText, 1, "x"));
    }
    std::vector<std::unique_ptr<RawConnection>> late;
    for (int i = 0; i < LateHandshakes; ++i) {
        late.push_back(std::make_unique<RawConnection>(port));
        late.back()->Write(HandshakeRequest);
    }
    // Accepted in order: once this one is answered, the server holds all the others.
    auto last = OpenRawWebSocket(port);
    last->Write(ClientFrame(FinalText, 1, "y"));
    EXPECT_EQ(last->ReadBytes(2 + ReplyPrefix.size() + 1), "\x81\x04" + ReplyPrefix + "y");

    const auto stopSince = Clock::now();
    auto stopped = std::async(std::launch::async, [this] { server_.reset(); });
    EXPECT_EQ(stopped.wait_for(Patience), std::future_status::ready) << "the stop hangs";
    const Milliseconds took = Clock::now() - stopSince;
    EXPECT_EQ(Count("Local websocket server: Dropping 11 connections that did not finish closing"), 1);
    EXPECT_EQ(Count("Closing a client connection"), Unanswering + 1);
    std::cout << "[ stop ] with " << LateHandshakes << " handshakes under way and " << Unanswering + 1
              << " clients that do not answer the close: " << took.count() << " ms" << std::endl;
}

}  // namespace
}  // namespace quorvex
