// The local WebSocket server as a client on this machine reaches it: the input is the bytes a
// client sends over one loopback connection (an HTTP handshake request, then frames), followed by
// the end of its sending side. The server must end every such connection by itself, answer only
// in HTTP first, answer no more than the input can call for (no amplification), and keep serving:
// after each input a well-formed client is answered.
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <iostream>
#include <memory>
#include <string>

#include "tests/fuzz/FuzzSupport.h"
#include "ws/WsServer.h"

namespace {

using quorvex::fuzz::Require;

// The server's handshake time-out is 5 s; a connection still open after this was never ended.
constexpr int ReadTimeoutSeconds = 10;
// Replies echo what was sent, plus a handshake answer, frame headers and a close frame.
constexpr std::size_t FixedReplyAllowance = 4096;

const std::string Handshake =
    "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
    "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
// The text frame "ping?", masked with the all-zero key.
const std::string ProbeFrame = std::string("\x81\x85\0\0\0\0ping?", 11);

quorvex::WsServer& Server()
{
    static const auto server = [] {
        // The library logs every connection to the standard streams; libFuzzer writes through
        // C stdio, which this leaves alone.
        std::cout.rdbuf(nullptr);
        std::cerr.rdbuf(nullptr);
        auto started = std::make_unique<quorvex::WsServer>();
        started->RegisterHandler("echo", [](quorvex::WsMessage& message) { message.Send(message.Payload()); });
        started->Start(0);
        Require(started->WaitUntilListening(std::chrono::seconds(10)), "the server listens");
        return started;
    }();
    return *server;
}

// libFuzzer's alarm timer (its per-input time-out, -timeout) would interrupt the calls that wait
// (connect, send, recv) with EINTR. An exchange has time-outs of its own, so the fuzzing thread
// takes no alarm while one runs; another thread gets it.
class AlarmHeldOff {
public:
    AlarmHeldOff()
    {
        sigset_t alarm;
        sigemptyset(&alarm);
        sigaddset(&alarm, SIGALRM);
        pthread_sigmask(SIG_BLOCK, &alarm, &previous_);
    }
    ~AlarmHeldOff() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    AlarmHeldOff(const AlarmHeldOff&) = delete;
    AlarmHeldOff& operator=(const AlarmHeldOff&) = delete;

private:
    sigset_t previous_;
};

// Sends the bytes on a fresh connection, ends the sending side and reads all the server sends
// until it ends the connection. False when it did not end it in time.
bool Exchange(std::uint16_t port, const std::string& bytes, std::string& received)
{
    const AlarmHeldOff alarmHeldOff;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    Require(fd >= 0, "a socket can be made");
    timeval timeout{ReadTimeoutSeconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    Require(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0, "the server takes a connection");
    // The server may end the connection before it has taken everything: then the rest is moot.
    for (std::size_t sent = 0; sent < bytes.size();) {
        const ssize_t written = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (written <= 0) {
            break;
        }
        sent += static_cast<std::size_t>(written);
    }
    ::shutdown(fd, SHUT_WR);
    bool ended = false;
    char buffer[4096];
    while (true) {
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            ended = got == 0 || errno == ECONNRESET;
            break;
        }
        received.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return ended;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::uint16_t port = Server().Port();
    const std::string input(reinterpret_cast<const char*>(data), size);

    std::string received;
    Require(Exchange(port, input, received), "the server ends a connection whose client stopped sending");
    Require(received.empty() || received.compare(0, 9, "HTTP/1.1 ") == 0, "the server answers in HTTP first");
    Require(received.size() <= 2 * size + FixedReplyAllowance, "the server sends no more than the input calls for");

    std::string answer;
    Require(Exchange(port, Handshake + ProbeFrame, answer), "the server ends a well-formed client's connection");
    Require(answer.find(std::string("\x81\x05ping?", 7)) != std::string::npos, "a well-formed client is answered");
    return 0;
}
