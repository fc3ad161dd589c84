#include "tools/qvx-devservice/HttpRouter.h"

#include <chrono>
#include <exception>
#include <stdexcept>

#include <strings.h>

#include <fmt/format.h>

#include "tools/qvx-devservice/LinkingPage.h"
#include "tools/qvx-devservice/RuleText.h"

namespace qvxdev {
namespace {

using nlohmann::json;

constexpr const char* ListenAddress = "127.0.0.1";
// Large enough for an inventory of tens of thousands of items.
constexpr std::size_t MaxBodyBytes = 32 * 1024 * 1024;
// The response header that carries the service's one-line account of what it did, for the
// console and for people using curl -i.
constexpr const char* NoteHeader = "X-Qvx-Devservice-Note";

void WriteJson(httplib::Response& response, int status, const json& body)
{
    response.status = status;
    // Header values are echoed in messages and may hold any bytes: never fail on them.
    response.set_content(body.dump(-1, ' ', false, json::error_handler_t::replace),
                         "application/json");
}

void WriteMessage(httplib::Response& response, int status, const std::string& message)
{
    WriteJson(response, status, {{"message", message}});
}

void WriteInternalError(httplib::Response& response, const std::string& what)
{
    WriteMessage(response, 500, "Internal error: " + what);
}

// "smartSync\\.php": a path as a regular expression that matches only itself.
std::string ExactPattern(std::string_view path)
{
    std::string pattern;
    for (const char c : path) {
        if (c == '.') {
            pattern += '\\';
        }
        pattern += c;
    }
    return pattern;
}

// Notes and console lines quote texts from requests (names, ids, headers, paths): control
// characters become '?' so that they can break neither a response's header block nor the
// console.
std::string Printable(std::string text)
{
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            c = '?';
        }
    }
    return text;
}

void SetNote(httplib::Response& response, const std::string& note)
{
    response.set_header(NoteHeader, Printable(note));
}

// The message for a refusal the HTTP library makes itself, before any route runs.
std::string LibraryRefusal(int status)
{
    switch (status) {
    case 400:
        return "The HTTP request could not be read.";
    case 413:
        return fmt::format("The body is larger than {} bytes.", MaxBodyBytes);
    case 414:
        return "The request's URI is too long.";
    default:
        return fmt::format("The request was refused with status {}.", status);
    }
}

ApiRequest ToApiRequest(const httplib::Request& request)
{
    ApiRequest api;
    api.apiKey = request.get_header_value("x-qvx-key");
    api.version = request.get_header_value("x-qvx-version");
    api.userCode = request.get_header_value("x-qvx-user-code");
    api.platform = request.get_header_value("x-qvx-user-platform");
    api.userId = request.get_header_value("x-qvx-user-id");
    for (const auto& [name, value] : request.params) {
        api.query.emplace(name, value);  // the first of repeated names wins
    }
    api.body = request.body;
    return api;
}


std::string_view MediaType(std::string_view contentType)
{
    contentType = contentType.substr(0, contentType.find(';'));
    while (!contentType.empty() && (contentType.back() == ' ' || contentType.back() == '\t')) {
        contentType.remove_suffix(1);
    }
    return contentType;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// 127.0.0.1, localhost or [::1], each with or without a port.
bool IsLoopbackHost(std::string_view host)
{
    const std::size_t nameEnd = host.rfind(host.front() == '[' ? ']' : ':');
    std::string_view name = host;
    std::string_view port;
    if (host.front() == '[') {
        if (nameEnd == std::string_view::npos) {
            return false;
        }
        name = host.substr(0, nameEnd + 1);
        port = host.substr(nameEnd + 1);
    } else if (nameEnd != std::string_view::npos) {
        name = host.substr(0, nameEnd);
        port = host.substr(nameEnd);
    }
    if (!port.empty() && (port.front() != ':' || !Number(port.substr(1), 0, 65535))) {
        return false;
    }
    return name == "127.0.0.1" || name == "[::1]" || EqualsIgnoringCase(name, "localhost");
}

// A text quoted in a message: printable and at most a line long.
std::string Quoted(const std::string& text)
{
    constexpr std::size_t Longest = 80;
    return Printable(text.size() > Longest ? text.substr(0, Longest) + "..." : text);
}

// The rule of POST /dev/fail and /dev/delay: the flag's text, bare or as a JSON string.
std::string RuleText(const std::string& body)
{
    const json parsed = json::parse(body, nullptr, false);
    return parsed.is_string() ? parsed.get<std::string>() : body;
}

std::string WithDelay(std::string note, std::chrono::milliseconds delay)
{
    if (delay.count() > 0) {
        note += fmt::format("{}after an injected delay of {} ms", note.empty() ? "" : ", ",
                            delay.count());
    }
    return note;
}

// "200 POST /api/... (user code X): note", the console line of one request.
std::string RequestLine(const httplib::Request& request, std::string_view status,
                        const std::string& note)
{
    std::string line = fmt::format("{} {} {}", status, request.method, request.target);
    const std::string userCode = request.get_header_value("x-qvx-user-code");
    if (!userCode.empty()) {
        line += fmt::format(" (user code {})", userCode);
    }
    if (!note.empty()) {
        line += ": " + note;
    }
    return Printable(line);
}

}  // namespace

HttpRouter::HttpRouter(ApiHandlers& handlers, Store& store, FaultInjector& faults, LogSink log,
                       ServerLimits limits)
    : handlers_(handlers), store_(store), faults_(faults), log_(std::move(log)), server_(limits)
{
    server_.set_payload_max_length(MaxBodyBytes);
    // Idle keep-alive connections hold a worker; a short timeout keeps Stop quick.
    server_.set_keep_alive_timeout(1);
    Route();
}
int HttpRouter::Bind(int port)
{
    const int bound = port == 0 ? server_.bind_to_any_port(ListenAddress)
                                : (server_.bind_to_port(ListenAddress, port) ? port : -1);
    if (bound < 0) {
        throw std::runtime_error(fmt::format(
            "cannot listen on {}:{} (the port is in use or not allowed)", ListenAddress, port));
    }
    return bound;
}

void HttpRouter::Serve()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) {
            return;
        }
        serving_ = true;
    }
    server_.listen_after_bind();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        serving_ = false;
    }
    served_.notify_all();
}

void HttpRouter::Stop()
{
    faults_.Shutdown();
    std::unique_lock<std::mutex> lock(mutex_);
    stopping_ = true;
    // Serve may have been entered but not yet have started the library's loop, whose stop
    // does nothing before that: ask again until the loop has run and ended.
    bool stopped = false;
    while (serving_) {
        if (!stopped && server_.is_running()) {
            server_.stop();
            stopped = true;
        }
        served_.wait_for(lock, std::chrono::milliseconds(10));
    }
}

const std::vector<HttpRouter::OwnRoute>& HttpRouter::OwnRoutes()
{
    static const std::vector<OwnRoute> routes{
        {"GET", "/", "this index of the routes", &HttpRouter::ServeIndex},
        {"GET", "/sync?code=CODE",
         "the account-linking page: hands CODE to the plug-in on ws://127.0.0.1:9100 when the "
         "player presses its button",
         &HttpRouter::ServeLinkingPage},
        {"GET", "/dev/state",
         "everything the service holds: accounts (items, guid, trades, ...), requests counted "
         "per endpoint and status, fault rules and the faults injected",
         &HttpRouter::ServeState},
        {"POST", "/dev/fail", "body ENDPOINT=STATUS[xCOUNT][,retryAfter=SECONDS]: adds a fault rule",
         &HttpRouter::ServeFaultRule},
        {"POST", "/dev/delay", "body ENDPOINT=MS: sets an endpoint's delay (0 removes it)",
         &HttpRouter::ServeDelayRule},
        {"POST", "/dev/random-faults",
         "body {\"seed\", \"rules\": [\"ENDPOINT=RATE:OUTCOME,...\"], \"delay\": \"MIN-MAX\", "
         "\"expireGuidRate\"}: changes the random faults",
         &HttpRouter::ServeRandomFaults},
        {"POST", "/dev/expire-guid?code=CODE",
         "gives the account a new guid: the plug-in's next diff is answered \"full\": true",
         &HttpRouter::ServeExpireGuid},
        {"POST", "/dev/reset",
         "empties the data (accounts stay known) and returns the fault rules to the command "
         "line's",
         &HttpRouter::ServeReset},
    };
    return routes;
}

void HttpRouter::Route()
{
    for (const EndpointInfo& endpoint : AllEndpoints()) {
        const auto serve = [this, &endpoint](const httplib::Request& request,
                                             httplib::Response& response) {
            ServeApi(endpoint, request, response);
        };
        RouteEveryMethod(ExactPattern(endpoint.path), serve);
    }
    for (const OwnRoute& route : OwnRoutes()) {
        const std::string pattern = ExactPattern(route.path.substr(0, route.path.find('?')));
        const auto serve = [this, &route](const httplib::Request& request,
                                          httplib::Response& response) {
            (this->*route.serve)(request, response);
        };
        // Any other method is answered 405, as the API routes answer it. Registered after the
        // route's own handler, which cpp-httplib tries first, so only other methods reach it.
        const auto wrongMethod = [&route](const httplib::Request& request, httplib::Response& response) {
            response.set_header("Allow", std::string(route.method));
            WriteMessage(response, 405,
                         fmt::format("{} takes {} requests, not {}.", request.path, route.method, request.method));
        };
        if (route.method == "GET") {
            server_.Get(pattern, serve);
        } else {
            server_.Post(pattern, serve);
        }
        RouteEveryMethod(pattern, wrongMethod);
    }

    RouteEveryMethod(".*", [](const httplib::Request& request, httplib::Response& response) {
        WriteMessage(response, 404,
                     fmt::format("No such path: {} {} (GET / lists the routes)", request.method,
                                 request.path));
    });

    server_.set_pre_routing_handler(
        [this](const httplib::Request& request, httplib::Response& response) {
            return Refuse(request, response) ? httplib::Server::HandlerResponse::Handled
                                             : httplib::Server::HandlerResponse::Unhandled;
        });
    // Refusals the library makes itself (413 body too large, 400 bad request line, a request
    // cut off by the read deadline) come without a body; give them a message too.
    server_.set_error_handler(httplib::Server::HandlerWithResponse(
        [this](const httplib::Request&, httplib::Response& response) {
            if (!response.body.empty()) {
                return httplib::Server::HandlerResponse::Unhandled;
            }
            if (response.status == 400 && BoundedServer::RequestTimedOut()) {
                WriteMessage(response, 408, server_.TimeoutMessage());
            } else {
                WriteMessage(response, response.status, LibraryRefusal(response.status));
            }
            return httplib::Server::HandlerResponse::Handled;
        }));
    server_.set_exception_handler(
        [](const httplib::Request&, httplib::Response& response, std::exception_ptr error) {
            std::string what = "unknown error";
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& exception) {
                what = exception.what();
            } catch (...) {
            }
            WriteInternalError(response, what);
        });
    server_.set_logger([this](const httplib::Request& request, const httplib::Response& response) {
        LogRequest(request, response);
    });
}

void HttpRouter::RouteEveryMethod(const std::string& pattern,
                                  const httplib::Server::Handler& handler)
{
    server_.Get(pattern, handler);
    server_.Post(pattern, handler);
    server_.Put(pattern, handler);
    server_.Patch(pattern, handler);
    server_.Delete(pattern, handler);
    server_.Options(pattern, handler);
}

bool HttpRouter::Refuse(const httplib::Request& request, httplib::Response& response)
{
    // A request without a Host header cannot come from a browser; anything else must name
    // the loopback address it was sent to.
    const std::string host = request.get_header_value("Host");
    if (!host.empty() && !IsLoopbackHost(host)) {
        WriteMessage(response, 403,
                     fmt::format("This service answers only requests to 127.0.0.1, localhost or "
                                 "[::1], not to '{}'.",
                                 Quoted(host)));
        return true;
    }
    // Refused from its announced length, before the library would read and skip the body.
    if (request.get_header_value<std::uint64_t>("Content-Length") > MaxBodyBytes) {
        WriteMessage(response, 413, LibraryRefusal(413));
        response.set_header("Connection", "close");
        return true;
    }
    const bool changes = request.method != "GET" && request.method != "HEAD";
    if (changes && request.path.rfind("/dev/", 0) == 0 &&
        !EqualsIgnoringCase(MediaType(request.get_header_value("Content-Type")),
                            "application/json")) {
        WriteMessage(response, 415,
                     fmt::format("{} takes only Content-Type: application/json, not '{}'.",
                                 request.path, Quoted(request.get_header_value("Content-Type"))));
        return true;
    }
    return false;
}

void HttpRouter::ServeApi(const EndpointInfo& endpoint, const httplib::Request& request,
                          httplib::Response& response)
{
    const bool headOfGet = request.method == "HEAD" && endpoint.method == "GET";
    if (request.method != endpoint.method && !headOfGet) {
        response.set_header("Allow", std::string(endpoint.method));
        WriteMessage(response, 405,
                     fmt::format("{} takes {} requests, not {}.", endpoint.path, endpoint.method,
                                 request.method));
        store_.CountRequest(endpoint.name, response.status);
        return;
    }
    const FaultDecision fault = faults_.Decide(endpoint.endpoint);
    faults_.Wait(fault.delay);
    std::string note;
    if (fault.action == FaultDecision::Action::Answer) {
        json body = {{"message", fmt::format("Injected failure: {} answers {}.", endpoint.name, fault.status)}};
        note = "injected failure";
        if (fault.retryAfterSeconds) {
            // The header for HTTP clients, the member for a client that is handed only the body.
            response.set_header("Retry-After", std::to_string(*fault.retryAfterSeconds));
            body["retryAfter"] = *fault.retryAfterSeconds;
            note += fmt::format(" asking to retry after {} s", *fault.retryAfterSeconds);
        }
        WriteJson(response, fault.status, body);
    } else if (fault.action != FaultDecision::Action::Drop) {
        try {
            const ApiAnswer answer = handlers_.Handle(endpoint.endpoint, ToApiRequest(request));
            WriteJson(response, answer.status, answer.body);
            note = answer.note;
            // Only an accepted upload issued a guid that the client will diff against.
            if (fault.expireGuid && endpoint.endpoint == Endpoint::SmartSync &&
                answer.status == 200 && answer.body.value("full", true) == false) {
                note += fmt::format(", then injected guid expiry (now {})",
                                    store_.ExpireGuid(request.get_header_value("x-qvx-user-code")));
                faults_.CountGuidExpiry();
            }
        } catch (const std::exception& error) {
            WriteInternalError(response, error.what());
            note = "internal error";
        }
    }
    note = WithDelay(std::move(note), fault.delay);
    if (fault.action == FaultDecision::Action::Drop || fault.action == FaultDecision::Action::Lose) {
        BoundedServer::DropConnection();
        log_(RequestLine(request, "---",
                         note + (note.empty() ? "" : "; ") +
                             (fault.action == FaultDecision::Action::Drop
                                  ? "injected: connection closed without an answer, not served"
                                  : "injected: answer lost, connection closed")));
        store_.CountRequest(endpoint.name, 0);
        return;
    }
    SetNote(response, note);
    store_.CountRequest(endpoint.name, response.status);
}

void HttpRouter::ServeIndex(const httplib::Request&, httplib::Response& response)
{
    json routes = json::array();
    for (const EndpointInfo& endpoint : AllEndpoints()) {
        routes.push_back({{"method", endpoint.method},
                          {"path", endpoint.path},
                          {"about", fmt::format("API endpoint {}", endpoint.name)}});
    }
    for (const OwnRoute& route : OwnRoutes()) {
        routes.push_back({{"method", route.method}, {"path", route.path}, {"about", route.about}});
    }
    WriteJson(response, 200, {{"service", "qvx-devservice"}, {"routes", std::move(routes)}});
}

void HttpRouter::ServeState(const httplib::Request&, httplib::Response& response)
{
    json state = store_.Dump();
    json players = json::object();
    for (const auto& [id, standing] : handlers_.Players()) {
        players[id] = StandingName(standing);
    }
    state["players"] = std::move(players);
    state.update(faults_.Describe());
    WriteJson(response, 200, state);
}

void HttpRouter::ServeLinkingPage(const httplib::Request& request, httplib::Response& response)
{
    const std::string code = request.get_param_value("code");
    HtmlPage page;
    if (code.empty()) {
        response.status = 400;
        page = RenderNoticePage("No user code", "Open this page as /sync?code=YOUR_USER_CODE.");
    } else if (!store_.HasAccount(code)) {
        response.status = 404;
        page = RenderNoticePage("Unknown user code",
                                "No Quorvex account has the user code " + code +
                                    ". Start qvx-devservice with --user " + code +
                                    " (added to the default codes) and open this page again.");
    } else {
        page = RenderLinkingPage(code);
    }
    response.set_content(page.html, "text/html; charset=utf-8");
    response.set_header("Content-Security-Policy", page.securityPolicy);
    response.set_header("X-Frame-Options", "DENY");
    response.set_header("Cache-Control", "no-store");
}

void HttpRouter::ServeFaultRule(const httplib::Request& request, httplib::Response& response)
{
    try {
        faults_.AddFault(ParseFaultRule(RuleText(request.body)));
    } catch (const std::invalid_argument& error) {
        WriteMessage(response, 400, error.what());
        return;
    }
    WriteJson(response, 200, faults_.Describe());
}

void HttpRouter::ServeDelayRule(const httplib::Request& request, httplib::Response& response)
{
    try {
        faults_.SetDelay(ParseDelayRule(RuleText(request.body)));
    } catch (const std::invalid_argument& error) {
        WriteMessage(response, 400, error.what());
        return;
    }
    WriteJson(response, 200, faults_.Describe());
}

void HttpRouter::ServeRandomFaults(const httplib::Request& request, httplib::Response& response)
{
    try {
        faults_.ChangeRandomFaults(ParseRandomFaultChange(ParseBody(request.body)));
    } catch (const std::invalid_argument& error) {
        WriteMessage(response, 400, error.what());
        return;
    } catch (const BadRequest& error) {
        WriteMessage(response, 400, error.what());
        return;
    }
    WriteJson(response, 200, faults_.Describe());
}

void HttpRouter::ServeExpireGuid(const httplib::Request& request, httplib::Response& response)
{
    const std::string code = request.get_param_value("code");
    if (!store_.HasAccount(code)) {
        WriteMessage(response, 404, "No account has the user code '" + Quoted(code) + "'.");
        return;
    }
    WriteJson(response, 200, {{"guid", store_.ExpireGuid(code)}});
}

void HttpRouter::ServeReset(const httplib::Request&, httplib::Response& response)
{
    store_.Reset();
    faults_.Reset();
    WriteMessage(response, 200, "The service's data is emptied; fault rules are the command line's.");
}

void HttpRouter::LogRequest(const httplib::Request& request, const httplib::Response& response)
{
    if ((request.method == "GET" && request.path == "/dev/state") ||
        BoundedServer::ConnectionDropped()) {
        return;  // polled by tests; or logged where the connection was dropped
    }
    log_(RequestLine(request, std::to_string(response.status),
                     response.get_header_value(NoteHeader)));
}

}  // namespace qvxdev
