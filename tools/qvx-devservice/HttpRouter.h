#pragma once
// The service's HTTP side, on 127.0.0.1 only: routes the six API endpoints (after any injected
// delay or fault) to ApiHandlers and writes their JSON answers; serves the linking page
// (GET /sync?code=CODE) and the developer routes (GET /dev/state; POST /dev/fail, /dev/delay
// and /dev/expire-guid). Every answer of an API or developer route is JSON, errors included
// ({"message": ...}: 404 unknown path, 405 wrong method, 413 body too large, 500 internal
// error). Writes one console line per request, except for GET /dev/state, which tests poll.
//
// Threads: Bind, then Serve on one thread (it blocks until Stop); Stop from any other thread,
// once or more. Requests run on the HTTP library's worker pool, concurrently; they touch only
// ApiHandlers, Store and FaultInjector, which are safe for that, and the log sink, which must be.
// Stop also ends every injected delay so that in-flight requests finish at once.
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#include <httplib.h>

#include "tools/qvx-devservice/ApiHandlers.h"
#include "tools/qvx-devservice/FaultInjector.h"
#include "tools/qvx-devservice/Store.h"

namespace qvxdev {

using LogSink = std::function<void(const std::string& line)>;

class HttpRouter {
public:
    // All four must outlive the router.
    HttpRouter(ApiHandlers& handlers, Store& store, FaultInjector& faults, LogSink log);

    // Binds 127.0.0.1:port (0: a free port the system picks) and returns the port. Throws
    // std::runtime_error when the port cannot be bound.
    int Bind(int port);

    // Serves until Stop. Returns at once if Stop came first.
    void Serve();

    void Stop();

private:
    void Route();
    // Routes GET, HEAD, POST, PUT, PATCH, DELETE and OPTIONS for pattern to handler.
    void RouteEveryMethod(const std::string& pattern, const httplib::Server::Handler& handler);
    void ServeApi(const EndpointInfo& endpoint, const httplib::Request& request,
                  httplib::Response& response);
    void ServeState(httplib::Response& response);
    void ServeLinkingPage(const httplib::Request& request, httplib::Response& response);
    void ServeRule(const httplib::Request& request, httplib::Response& response,
                   const std::function<void(const std::string&)>& add);
    void ServeExpireGuid(const httplib::Request& request, httplib::Response& response);
    void LogRequest(const httplib::Request& request, const httplib::Response& response);

    ApiHandlers& handlers_;
    Store& store_;
    FaultInjector& faults_;
    const LogSink log_;
    httplib::Server server_;

    std::mutex mutex_;  // guards the two flags below
    std::condition_variable served_;
    bool serving_ = false;
    bool stopping_ = false;
};

}  // namespace qvxdev
