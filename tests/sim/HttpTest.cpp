// HTTP: the host's HTTP thread, the responder, the service redirect and the network transport
// (libcurl, or WinHTTP on Windows).
#include <chrono>
#include <algorithm>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <asio.hpp>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "TestHost.h"
#include "sim/Http.h"

namespace sim {
namespace {

using namespace std::chrono_literals;

CurlRequest Request(std::string url, std::string body = "", std::string verb = "")
{
    CurlRequest request;
    request.url = std::move(url);
    request.body = std::move(body);
    request.verb = std::move(verb);
    return request;
}

TEST(Http, TheResponderAnswersOnTheHttpThreadAndEveryExchangeIsRecorded)
{
    test::TestHost host;
    std::vector<std::string> seen;
    host->SetResponder([&](const CurlRequest& request) {
        seen.push_back(request.url);
        return ScriptedResponse{201, "{\"guid\":\"g\"}", {}};
    });
    std::promise<std::thread::id> callbackThread;
    CurlRequest request = Request("https://api.quorvex.com/api/v2/a?x", "[1]");
    request.headers = {{"x-qvx-key", "k"}, {"a-first", "1"}};
    HttpWrapper::SendCurlJsonRequest(request, [&](int status, std::string body) {
        EXPECT_EQ(status, 201);
        EXPECT_EQ(body, "{\"guid\":\"g\"}");
        callbackThread.set_value(std::this_thread::get_id());
    });
    host->WaitForHttpIdle();

    const auto callbackOn = callbackThread.get_future().get();
    EXPECT_NE(callbackOn, std::this_thread::get_id());
    EXPECT_EQ(seen, std::vector<std::string>{"https://api.quorvex.com/api/v2/a?x"});
    const auto exchanges = host->HttpExchanges();
    ASSERT_EQ(exchanges.size(), 1u);
    EXPECT_EQ(exchanges[0].verb, "");
    EXPECT_EQ(exchanges[0].requestBody, "[1]");
    EXPECT_EQ(exchanges[0].status, 201);
    EXPECT_EQ(exchanges[0].headers.at("x-qvx-key"), "k");

    const auto journal = host->Journal();
    ASSERT_EQ(journal.size(), 2u);
    EXPECT_EQ(journal[0].kind, JournalEntry::Kind::HttpRequest);
    EXPECT_EQ(journal[0].text,
              "http> POST https://api.quorvex.com/api/v2/a?x\na-first: 1\nx-qvx-key: k\n\n[1]");
    EXPECT_EQ(journal[1].kind, JournalEntry::Kind::HttpResponse);
    EXPECT_EQ(journal[1].text, "http< 201 {\"guid\":\"g\"}");
}

// The plug-in gets the whole answer; the journal keeps no more than 64 KiB of either body.
TEST(Http, TheJournalKeeps64KiBOfABodyAndSaysHowLongItWas)
{
    test::TestHost host;
    const std::string answer = "\x1b[31m" + std::string(300 * 1024, 'a');
    host->SetResponder([&](const CurlRequest&) { return ScriptedResponse{200, answer, {}}; });
    std::string request = "x";  // so that the limit falls inside a two-byte character
    for (int i = 0; i < 50 * 1024; ++i) {
        request += "\xC3\xA9";
    }
    std::size_t received = 0;
    HttpWrapper::SendCurlJsonRequest(Request("https://api.quorvex.com/a", request),
                                     [&](int, std::string body) { received = body.size(); });
    host->WaitForHttpIdle();
    EXPECT_EQ(received, answer.size());
    const auto journal = host->Journal();
    const auto& sent = *std::find_if(journal.begin(), journal.end(), [](auto& e) { return e.kind == JournalEntry::Kind::HttpRequest; });
    const auto& got = *std::find_if(journal.begin(), journal.end(), [](auto& e) { return e.kind == JournalEntry::Kind::HttpResponse; });
    EXPECT_EQ(sent.fields->at("body").get<std::string>().size(), 64u * 1024 - 1) << "not inside a character";
    EXPECT_EQ(sent.fields->at("length"), request.size());
    EXPECT_EQ(got.fields->at("body").get<std::string>().size(), 64u * 1024);
    EXPECT_EQ(got.fields->at("truncated"), true);
    EXPECT_EQ(got.fields->at("length"), answer.size());
    EXPECT_EQ(got.text.find('\x1b'), std::string::npos) << "escaped";
    EXPECT_LT(got.text.size() + sent.text.size(), 140u * 1024);
}

TEST(Http, CallbacksComeInSendOrderAndOneThatThrowsDoesNotStopTheNext)
{
    test::TestHost host;
    host->SetResponder([](const CurlRequest& request) {
        return ScriptedResponse{200, request.url, request.url == "first" ? 30ms : 0ms};
    });
    std::vector<std::string> order;  // written by the HTTP thread only
    HttpWrapper::SendCurlJsonRequest(Request("first"), [&](int, std::string body) {
        order.push_back(body);
        throw std::runtime_error("callback failed");
    });
    HttpWrapper::SendCurlJsonRequest(Request("second"),
                                     [&](int, std::string body) { order.push_back(body); });
    host->WaitForHttpIdle();
    EXPECT_EQ(order, (std::vector<std::string>{"first", "second"}));
    EXPECT_TRUE(host->ConsoleContains("plexar-sim: HTTP callback threw: callback failed"));
}

TEST(Http, DestroyingTheHostAnswersQueuedRequestsFirst)
{
    test::TestHost host;
    host->SetResponder([](const CurlRequest&) { return ScriptedResponse{200, "late", 20ms}; });
    std::atomic<int> answered{0};
    for (int i = 0; i < 3; ++i) {
        HttpWrapper::SendCurlJsonRequest(Request("u"), [&](int status, std::string) {
            if (status == 200) {
                ++answered;
            }
        });
    }
    host.Destroy();
    EXPECT_EQ(answered, 3);
}

TEST(Http, WithoutAHostTheCallbackGetsStatusZeroOnAnotherThread)
{
    std::promise<std::pair<int, std::thread::id>> answer;
    HttpWrapper::SendCurlJsonRequest(Request("https://api.quorvex.com/x"),
                                     [&](int status, std::string) {
                                         answer.set_value({status, std::this_thread::get_id()});
                                     });
    const auto [status, thread] = answer.get_future().get();
    EXPECT_EQ(status, 0);
    EXPECT_NE(thread, std::this_thread::get_id());
}

TEST(Http, ServiceRedirectReplacesOnlyTheApiOrigin)
{
    const std::string service = "http://127.0.0.1:8080/";
    EXPECT_EQ(RedirectToService("https://api.quorvex.com/api/v2/x?y", service),
              "http://127.0.0.1:8080/api/v2/x?y");
    EXPECT_EQ(RedirectToService("https://api.quorvex.com", service), "http://127.0.0.1:8080");
    EXPECT_EQ(RedirectToService("https://api.quorvex.com.example/x", service),
              "https://api.quorvex.com.example/x");
    EXPECT_EQ(RedirectToService("https://quorvex.com/x", service), "https://quorvex.com/x");
    EXPECT_EQ(RedirectToService("https://api.quorvex.com/x", ""), "https://api.quorvex.com/x");
}

// A one-shot HTTP server on 127.0.0.1: reads one request, sends one canned answer.
class OneShotServer {
public:
    OneShotServer() : listener_(io_, asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), 0))
    {
        thread_ = std::thread([this] { Serve(); });
    }
    ~OneShotServer() { thread_.join(); }
    int Port() const { return listener_.local_endpoint().port(); }
    // What the client sent; valid once the answer came back.
    const std::string& Received() const { return received_; }

private:
    void Serve()
    {
        asio::ip::tcp::socket connection(io_);
        asio::error_code error;
        listener_.accept(connection, error);
        char buffer[4096];
        while (!error) {
            const auto headerEnd = received_.find("\r\n\r\n");
            if (headerEnd != std::string::npos) {
                const auto lengthAt = received_.find("Content-Length: ");
                const std::size_t bodyLength =
                    lengthAt == std::string::npos ? 0 : std::stoul(received_.substr(lengthAt + 16));
                if (received_.size() >= headerEnd + 4 + bodyLength) {
                    break;
                }
            }
            const std::size_t count = connection.read_some(asio::buffer(buffer), error);
            received_.append(buffer, count);
        }
        const std::string answer =
            "HTTP/1.1 202 Accepted\r\nContent-Length: 8\r\nConnection: close\r\n\r\naccepted";
        asio::write(connection, asio::buffer(answer), error);
        connection.shutdown(asio::ip::tcp::socket::shutdown_both, error);
    }

    asio::io_context io_;
    asio::ip::tcp::acceptor listener_;
    std::string received_;
    std::thread thread_;
};

TEST(Http, TheTransportPostsJsonToTheRedirectedServiceUrl)
{
    OneShotServer server;
    HostOptions options;
    options.serviceUrl = "http://127.0.0.1:" + std::to_string(server.Port());
    test::TestHost host(options);
    CurlRequest request = Request("https://api.quorvex.com/api/v2/sync.php?lastRequest", "[]");
    request.headers = {{"x-qvx-user-code", "abc"}};
    int status = -1;
    std::string body;
    HttpWrapper::SendCurlJsonRequest(request, [&](int s, std::string b) {
        status = s;
        body = std::move(b);
    });
    host->WaitForHttpIdle();
    EXPECT_EQ(status, 202);
    EXPECT_EQ(body, "accepted");
    const std::string& sent = server.Received();
    EXPECT_EQ(sent.rfind("POST /api/v2/sync.php?lastRequest HTTP/1.1\r\n", 0), 0u) << sent;
    EXPECT_NE(sent.find("\r\nContent-Type: application/json\r\n"), std::string::npos) << sent;
    EXPECT_NE(sent.find("\r\nx-qvx-user-code: abc\r\n"), std::string::npos) << sent;
    EXPECT_EQ(sent.substr(sent.size() - 4), "\r\n[]");
    EXPECT_EQ(host->HttpExchanges().at(0).url, request.url);
}

TEST(Http, TheTransportsGetSendsNoBodyAndAFailedConnectionGivesStatusZero)
{
    int closedPort = 0;
    {
        OneShotServer server;
        HostOptions options;
        options.serviceUrl = "http://127.0.0.1:" + std::to_string(server.Port());
        test::TestHost host(options);
        closedPort = server.Port();
        HttpWrapper::SendCurlJsonRequest(
            Request("https://api.quorvex.com/api/v2/toggle.php?status=1", "", "GET"),
            [](int, std::string) {});
        host->WaitForHttpIdle();
        EXPECT_EQ(server.Received().rfind("GET /api/v2/toggle.php?status=1 HTTP/1.1\r\n", 0), 0u);
        EXPECT_EQ(server.Received().find("Content-Type"), std::string::npos);
    }
    test::TestHost host;
    int status = -1;
    std::string error;
    HttpWrapper::SendCurlJsonRequest(
        Request("http://127.0.0.1:" + std::to_string(closedPort) + "/x"),
        [&](int s, std::string b) {
            status = s;
            error = std::move(b);
        });
    host->WaitForHttpIdle();
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace sim
