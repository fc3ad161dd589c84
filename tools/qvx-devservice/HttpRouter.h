#pragma once
// The service's HTTP side, on 127.0.0.1 only: routes the six API endpoints (after any injected
// delay or fault) to ApiHandlers and writes their JSON answers; serves the index of its routes
// (GET /), the linking page (GET /sync?code=CODE) and the developer routes under /dev/. Every
// answer of an API or developer route is JSON, errors included ({"message": ...}: 403 a Host
// that is not loopback, 404 unknown path, 405 wrong method, 408 request not read in time, 413
// body too large, 415 a /dev/ POST that is not application/json, 500 internal error). Writes
// one console line per request, except for GET /dev/state, which tests poll.
//
// Two defences against web pages the player visits: every route refuses a Host header that is
// not 127.0.0.1, localhost or [::1] (with any port), so a page cannot reach the service under a
// name of its own that resolves to 127.0.0.1 (DNS rebinding); and every /dev/ route that changes
// something takes only Content-Type: application/json, which a cross-site form cannot send.
//
// Threads: Bind, then Serve on one thread (it blocks until Stop); Stop from any other thread,
// once or more. Requests run on the server's worker pool, concurrently; they touch only
// ApiHandlers, Store and FaultInjector, which are safe for that, and the log sink, which must be.
// Stop also ends every injected delay so that in-flight requests finish at once.
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "tools/qvx-devservice/ApiHandlers.h"
#include "tools/qvx-devservice/BoundedServer.h"
#include "tools/qvx-devservice/FaultInjector.h"
#include "tools/qvx-devservice/Store.h"

namespace qvxdev {

using LogSink = std::function<void(const std::string& line)>;

class HttpRouter {
public:
    // All four references must outlive the router.
    HttpRouter(ApiHandlers& handlers, Store& store, FaultInjector& faults, LogSink log,
               ServerLimits limits = {});

    // Binds 127.0.0.1:port (0: a free port the system picks) and returns the port. Throws
    // std::runtime_error when the port cannot be bound (another program, or another copy of
    // this one, holds it).
    int Bind(int port);

    // Serves until Stop. Returns at once if Stop came first.
    void Serve();

    void Stop();

private:
    using Serve_ = void (HttpRouter::*)(const httplib::Request&, httplib::Response&);
    // A route of the service's own (not of the API), listed by GET /.
    struct OwnRoute {
        std::string_view method;
        std::string_view path;  // as listed; the route matches it without the query
        std::string_view about;
        Serve_ serve;
    };
    static const std::vector<OwnRoute>& OwnRoutes();

    void Route();
    // Routes GET, HEAD, POST, PUT, PATCH, DELETE and OPTIONS for pattern to handler.
    void RouteEveryMethod(const std::string& pattern, const httplib::Server::Handler& handler);
    // The Host and Content-Type checks; true when the request was refused.
    bool Refuse(const httplib::Request& request, httplib::Response& response);
    void ServeApi(const EndpointInfo& endpoint, const httplib::Request& request,
                  httplib::Response& response);
    void ServeIndex(const httplib::Request& request, httplib::Response& response);
    void ServeState(const httplib::Request& request, httplib::Response& response);
    void ServeLinkingPage(const httplib::Request& request, httplib::Response& response);
    void ServeFaultRule(const httplib::Request& request, httplib::Response& response);
    void ServeDelayRule(const httplib::Request& request, httplib::Response& response);
    void ServeRandomFaults(const httplib::Request& request, httplib::Response& response);
    void ServeExpireGuid(const httplib::Request& request, httplib::Response& response);
    void ServeReset(const httplib::Request& request, httplib::Response& response);
    void LogRequest(const httplib::Request& request, const httplib::Response& response);

    ApiHandlers& handlers_;
    Store& store_;
    FaultInjector& faults_;
    const LogSink log_;
    BoundedServer server_;

    std::mutex mutex_;  // guards the two flags below
    std::condition_variable served_;
    bool serving_ = false;
    bool stopping_ = false;
};

}  // namespace qvxdev
