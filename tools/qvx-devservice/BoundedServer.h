#pragma once
// cpp-httplib's server, bounded for a service on 127.0.0.1 that any local process (and, through
// a browser, any web page) can reach:
// - the listening socket is exclusive: the library sets SO_REUSEPORT by default, which lets a
//   second copy bind the same port and take a share of its connections; here only SO_REUSEADDR
//   is set, so a restart can bind at once while an old connection is in TIME_WAIT, and a second
//   copy fails to bind;
// - a fixed pool of workers, more than the library's default of eight;
// - every request must arrive whole (request line, headers and body) within a deadline: the
//   library bounds each single read only, so a client that trickles a byte every few seconds
//   would hold a worker for ever;
// - a request with neither Content-Length nor Transfer-Encoding has an empty body, as HTTP/1.1
//   says; the library would read until the client closes and then refuse it;
// - a handler may drop its connection: no answer is written and the socket is closed (the
//   client sees the connection end without a status), for fault injection.
//
// Threads: configure, bind, listen and stop as an httplib::Server. Connections are served on the
// pool's workers, one connection per worker at a time; DropConnection, ConnectionDropped and
// RequestTimedOut are about the connection of the worker they are called on (they keep their
// state in a thread-local), so they are for handlers, the error handler and the logger.
#include <chrono>
#include <cstddef>
#include <string>

#include <httplib.h>

namespace qvxdev {

struct ServerLimits {
    std::size_t workers = 32;
    // The time from a request's first byte until all of it has been read.
    std::chrono::milliseconds requestReadTimeout{10000};
};

class BoundedServer : public httplib::Server {
public:
    explicit BoundedServer(ServerLimits limits);

    const ServerLimits& Limits() const { return limits_; }

    // Why a request cut off by the read deadline is answered 408.
    std::string TimeoutMessage() const;

    // Closes the connection of the request being handled: its answer is never written.
    static void DropConnection();
    // True when the connection of the request being handled was dropped.
    static bool ConnectionDropped();
    // True when the request being answered was cut off by the read deadline. Cut off in its
    // headers or body, the library answers 400 through the error handler, which can say why;
    // cut off in its request line, the library answers nothing and this server answers 408.
    static bool RequestTimedOut();

private:
    bool process_and_close_socket(socket_t sock) override;

    const ServerLimits limits_;
};

}  // namespace qvxdev
