#include "tools/qvx-devservice/HttpRouter.h"

#include <chrono>
#include <exception>
#include <stdexcept>

#include <fmt/format.h>

#include "tools/qvx-devservice/LinkingPage.h"

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
        return "The HTTP request could not be read (a body needs a Content-Length).";
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

}  // namespace

HttpRouter::HttpRouter(ApiHandlers& handlers, Store& store, FaultInjector& faults, LogSink log)
    : handlers_(handlers), store_(store), faults_(faults), log_(std::move(log))
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

void HttpRouter::Route()
{
    for (const EndpointInfo& endpoint : AllEndpoints()) {
        const auto serve = [this, &endpoint](const httplib::Request& request,
                                             httplib::Response& response) {
            ServeApi(endpoint, request, response);
        };
        RouteEveryMethod(ExactPattern(endpoint.path), serve);
    }
    server_.Get("/dev/state", [this](const httplib::Request&, httplib::Response& response) {
        ServeState(response);
    });
    server_.Post("/dev/fail",
                 [this](const httplib::Request& request, httplib::Response& response) {
                     ServeRule(request, response, [this](const std::string& rule) {
                         faults_.AddFault(ParseFaultRule(rule));
                     });
                 });
    server_.Post("/dev/delay",
                 [this](const httplib::Request& request, httplib::Response& response) {
                     ServeRule(request, response, [this](const std::string& rule) {
                         faults_.SetDelay(ParseDelayRule(rule));
                     });
                 });
    server_.Post("/dev/expire-guid",
                 [this](const httplib::Request& request, httplib::Response& response) {
                     ServeExpireGuid(request, response);
                 });
    server_.Get("/sync", [this](const httplib::Request& request, httplib::Response& response) {
        ServeLinkingPage(request, response);
    });

    RouteEveryMethod(".*", [](const httplib::Request& request, httplib::Response& response) {
        WriteMessage(response, 404,
                     fmt::format("No such path: {} {}", request.method, request.path));
    });

    // Refusals the library makes itself (413 body too large, 400 bad request line) come
    // without a body; give them a message too.
    server_.set_error_handler(httplib::Server::HandlerWithResponse(
        [](const httplib::Request&, httplib::Response& response) {
            if (!response.body.empty()) {
                return httplib::Server::HandlerResponse::Unhandled;
            }
            WriteMessage(response, response.status, LibraryRefusal(response.status));
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

void HttpRouter::ServeApi(const EndpointInfo& endpoint, const httplib::Request& request,
                          httplib::Response& response)
{
    const bool headOfGet = request.method == "HEAD" && endpoint.method == "GET";
    if (request.method != endpoint.method && !headOfGet) {
        response.set_header("Allow", std::string(endpoint.method));
        WriteMessage(response, 405,
                     fmt::format("{} takes {} requests, not {}.", endpoint.path, endpoint.method,
                                 request.method));
    } else {
        faults_.Delay(endpoint.endpoint);
        if (const std::optional<int> status = faults_.TakeFault(endpoint.endpoint)) {
            WriteMessage(response, *status,
                         fmt::format("Injected failure: {} answers {}.", endpoint.name, *status));
            SetNote(response, "injected failure");
        } else {
            try {
                const ApiAnswer answer =
                    handlers_.Handle(endpoint.endpoint, ToApiRequest(request));
                WriteJson(response, answer.status, answer.body);
                SetNote(response, answer.note);
            } catch (const std::exception& error) {
                WriteInternalError(response, error.what());
                SetNote(response, "internal error");
            }
        }
    }
    store_.CountRequest(endpoint.name, response.status);
}

void HttpRouter::ServeState(httplib::Response& response)
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
    if (code.empty()) {
        response.status = 400;
        response.set_content(RenderNoticePage("No user code",
                                              "Open this page as /sync?code=YOUR_USER_CODE."),
                             "text/html; charset=utf-8");
    } else if (!store_.HasAccount(code)) {
        response.status = 404;
        response.set_content(
            RenderNoticePage("Unknown user code",
                             "No Quorvex account has the user code " + code +
                                 ". Start qvx-devservice with --user and that code."),
            "text/html; charset=utf-8");
    } else {
        response.set_content(RenderLinkingPage(code), "text/html; charset=utf-8");
    }
    response.set_header("Cache-Control", "no-store");
}

void HttpRouter::ServeRule(const httplib::Request& request, httplib::Response& response,
                           const std::function<void(const std::string&)>& add)
{
    try {
        add(request.body);
    } catch (const std::invalid_argument& error) {
        WriteMessage(response, 400, error.what());
        return;
    }
    WriteJson(response, 200, faults_.Describe());
}

void HttpRouter::ServeExpireGuid(const httplib::Request& request, httplib::Response& response)
{
    const std::string code = request.get_param_value("code");
    if (!store_.HasAccount(code)) {
        WriteMessage(response, 404, "No account has the user code '" + code + "'.");
        return;
    }
    WriteJson(response, 200, {{"guid", store_.ExpireGuid(code)}});
}

void HttpRouter::LogRequest(const httplib::Request& request, const httplib::Response& response)
{
    if (request.method == "GET" && request.path == "/dev/state") {
        return;
    }
    std::string line = fmt::format("{} {} {}", response.status, request.method, request.target);
    const std::string userCode = request.get_header_value("x-qvx-user-code");
    if (!userCode.empty()) {
        line += fmt::format(" (user code {})", userCode);
    }
    const std::string note = response.get_header_value(NoteHeader);
    if (!note.empty()) {
        line += ": " + note;
    }
    log_(Printable(line));
}

}  // namespace qvxdev
