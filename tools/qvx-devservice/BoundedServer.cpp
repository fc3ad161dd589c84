#include "tools/qvx-devservice/BoundedServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace qvxdev {
namespace {

using Clock = std::chrono::steady_clock;

// How often a wait looks whether the server is stopping, so that Stop does not wait for the
// deadlines of slow clients.
constexpr std::chrono::milliseconds StopCheckInterval{100};

// The connection a worker is serving.
struct Connection {
    int socket = -1;
    bool dropped = false;
    bool timedOut = false;
    bool answered = false;  // anything written for the current request
};

thread_local Connection* current = nullptr;

// Waits until socket is ready for events or until the time is up or the server stops. True when
// ready.
bool WaitFor(int socket, short events, Clock::time_point until,
             const std::atomic<socket_t>& listening)
{
    for (;;) {
        // Rounded up, so that "no time left" means the time is up.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
        if (left.count() <= 0 || listening == INVALID_SOCKET) {
            return false;
        }
        pollfd entry{socket, events, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(std::min(left, StopCheckInterval).count()));
        if (ready > 0) {
            return true;
        }
        if (ready < 0 && errno != EINTR) {
            return false;
        }
    }
}

void AddressOf(int socket, bool peer, std::string& ip, int& port)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    const int got = peer ? ::getpeername(socket, reinterpret_cast<sockaddr*>(&address), &length)
                         : ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
    if (got != 0 || address.ss_family != AF_INET) {
        return;  // the service listens on IPv4 loopback only
    }
    const auto& in = reinterpret_cast<const sockaddr_in&>(address);
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &in.sin_addr, text, sizeof text);
    ip = text;
    port = ntohs(in.sin_port);
}

// One request's view of the connection: reads end at the request's deadline.
class DeadlineStream : public httplib::Stream {
public:
    DeadlineStream(Connection& connection, Clock::time_point deadline,
                   std::chrono::seconds writeTimeout, const std::atomic<socket_t>& listening)
        : connection_(connection), deadline_(deadline), writeTimeout_(writeTimeout),
          listening_(listening)
    {
    }

    bool is_readable() const override
    {
        if (connection_.dropped) {
            return false;
        }
        if (!WaitFor(connection_.socket, POLLIN, deadline_, listening_)) {
            connection_.timedOut = Clock::now() >= deadline_;
            return false;
        }
        return true;
    }

    bool is_writable() const override
    {
        return !connection_.dropped &&
               WaitFor(connection_.socket, POLLOUT, Clock::now() + writeTimeout_, listening_);
    }

    ssize_t read(char* data, size_t size) override
    {
        if (!is_readable()) {
            return -1;
        }
        ssize_t got;
        do {
            got = ::recv(connection_.socket, data, size, 0);
        } while (got < 0 && errno == EINTR);
        return got;
    }

    // Writes everything or fails: the library does not retry a short write everywhere.
    ssize_t write(const char* data, size_t size) override
    {
        connection_.answered = true;
        size_t written = 0;
        while (written < size) {
            if (!is_writable()) {
                return -1;
            }
            const ssize_t sent =
                ::send(connection_.socket, data + written, size - written, MSG_NOSIGNAL);
            if (sent < 0 && errno != EINTR && errno != EAGAIN) {
                return -1;
            }
            written += static_cast<size_t>(std::max<ssize_t>(sent, 0));
        }
        return static_cast<ssize_t>(size);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override
    {
        AddressOf(connection_.socket, true, ip, port);
    }

    void get_local_ip_and_port(std::string& ip, int& port) const override
    {
        AddressOf(connection_.socket, false, ip, port);
    }

    socket_t socket() const override { return connection_.socket; }

private:
    Connection& connection_;
    const Clock::time_point deadline_;
    const std::chrono::seconds writeTimeout_;
    const std::atomic<socket_t>& listening_;
};

// HTTP/1.1: a request with neither Content-Length nor Transfer-Encoding has no body.
void EmptyBodyWhenUnannounced(httplib::Request& request)
{
    if (!request.has_header("Content-Length") && !request.has_header("Transfer-Encoding")) {
        request.set_header("Content-Length", "0");
    }
}

void ExclusiveAddress(socket_t socket)
{
    const int yes = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

}  // namespace

BoundedServer::BoundedServer(ServerLimits limits) : limits_(limits)
{
    set_socket_options(ExclusiveAddress);
    new_task_queue = [workers = limits_.workers] { return new httplib::ThreadPool(workers); };
}

void BoundedServer::DropConnection()
{
    if (current != nullptr && !current->dropped) {
        current->dropped = true;
        ::shutdown(current->socket, SHUT_RDWR);
    }
}

bool BoundedServer::ConnectionDropped()
{
    return current != nullptr && current->dropped;
}

bool BoundedServer::RequestTimedOut()
{
    return current != nullptr && current->timedOut;
}

std::string BoundedServer::TimeoutMessage() const
{
    return fmt::format("The request was not read whole within {} ms.",
                       limits_.requestReadTimeout.count());
}

bool BoundedServer::process_and_close_socket(socket_t sock)
{
    Connection connection{sock};
    current = &connection;
    bool served = false;
    for (std::size_t left = keep_alive_max_count_; left > 0; --left) {
        // An idle keep-alive connection waits for its next request's first byte; the request's
        // deadline starts then.
        if (!WaitFor(sock, POLLIN, Clock::now() + std::chrono::seconds(keep_alive_timeout_sec_),
                     svr_sock_)) {
            break;
        }
        DeadlineStream stream(connection, Clock::now() + limits_.requestReadTimeout,
                              std::chrono::seconds(std::max<time_t>(write_timeout_sec_, 1)),
                              svr_sock_);
        bool closed = false;
        connection.timedOut = false;
        connection.answered = false;
        served = process_request(stream, left == 1, closed, EmptyBodyWhenUnannounced);
        if (connection.timedOut && !connection.answered) {
            const std::string body = nlohmann::json{{"message", TimeoutMessage()}}.dump();
            const std::string answer = fmt::format(
                "HTTP/1.1 408 Request Timeout\r\nConnection: close\r\nContent-Length: {}\r\n"
                "Content-Type: application/json\r\n\r\n{}",
                body.size(), body);
            stream.write(answer.data(), answer.size());
        }
        if (!served || closed || connection.dropped || connection.timedOut) {
            break;
        }
    }
    current = nullptr;
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return served;
}

}  // namespace qvxdev
