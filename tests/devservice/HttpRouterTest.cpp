#include "tools/qvx-devservice/HttpRouter.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "tests/devservice/Products.h"

namespace qvxdev {
namespace {

using nlohmann::json;

constexpr const char* Code = "QVX-TEST";
constexpr const char* SyncPath = "/api/v2/inventory/smartSync.php";

// The service on a free port of 127.0.0.1, served by a thread of the test.
class HttpRouterTest : public ::testing::Test {
protected:
    HttpRouterTest()
    {
        store_.AddAccount(Code);
        port_ = router_.Bind(0);
        serving_ = std::thread([this] { router_.Serve(); });
    }

    ~HttpRouterTest() override
    {
        router_.Stop();
        serving_.join();
    }

    httplib::Client Client() const { return httplib::Client("127.0.0.1", port_); }

    static httplib::Headers PluginHeaders(const std::string& key = ApiKey)
    {
        return {{"x-qvx-key", key},
                {"x-qvx-user-code", Code},
                {"x-qvx-version", PluginVersion},
                {"x-qvx-user-platform", "Steam"},
                {"x-qvx-user-id", "76561198012345678"}};
    }

    httplib::Result Post(const std::string& path, const std::string& body)
    {
        return Client().Post(path.c_str(), PluginHeaders(), body, "application/json");
    }

    json State() { return json::parse(Client().Get("/dev/state")->body); }

    // The console line that contains text. The line is written once the answer has been sent,
    // so it may come after the client has its answer: wait for it.
    std::string WaitForLine(const std::string& text)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        std::string found;
        logged_.wait(lock, [&] {
            for (const std::string& line : lines_) {
                if (line.find(text) != std::string::npos) {
                    found = line;
                    return true;
                }
            }
            return false;
        });
        return found;
    }

    Store store_{":memory:"};
    FaultInjector faults_;
    ApiHandlers handlers_{store_, {{"Steam|666|0", Standing::Scammer}}};
    std::mutex mutex_;
    std::condition_variable logged_;
    std::vector<std::string> lines_;
    HttpRouter router_{handlers_, store_, faults_, [this](const std::string& line) {
                           {
                               std::lock_guard<std::mutex> lock(mutex_);
                               lines_.push_back(line);
                           }
                           logged_.notify_all();
                       }};
    int port_ = 0;
    std::thread serving_;
};

std::string PercentEncoded(const std::string& text)
{
    std::string encoded;
    for (const char c : text) {
        encoded += fmt::format("%{:02X}", static_cast<unsigned char>(c));
    }
    return encoded;
}

// Sends request as it stands on a new connection to 127.0.0.1:port and returns everything the
// server writes until it closes. For requests a client library would not send as they are.
std::string RawExchange(int port, const std::string& request)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string response;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
        char buffer[4096];
        for (ssize_t got; (got = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) {
            response.append(buffer, static_cast<std::size_t>(got));
        }
    }
    ::close(fd);
    return response;
}

void ExpectJsonMessage(const std::string& body)
{
    const json parsed = json::parse(body, nullptr, false);
    ASSERT_TRUE(parsed.is_object()) << body;
    EXPECT_TRUE(parsed.contains("message") && parsed.at("message").is_string()) << body;
}

// Every refusal is JSON with a "message", whoever makes it.
void ExpectMessage(const httplib::Result& result, int status)
{
    ASSERT_TRUE(result) << httplib::to_string(result.error());
    EXPECT_EQ(result->status, status) << result->body;
    EXPECT_EQ(result->get_header_value("Content-Type"), "application/json");
    ExpectJsonMessage(result->body);
}

TEST_F(HttpRouterTest, FullThenDiffSyncOverHttpWithTheGuidInTheQuery)
{
    const auto full =
        Post(std::string(SyncPath) + "?lastRequest", testing::InventoryJson({1, 2}).dump());
    ASSERT_TRUE(full);
    ASSERT_EQ(full->status, 200) << full->body;
    const std::string guid = json::parse(full->body).at("guid");

    const auto diff = Post(std::string(SyncPath) + "?lastRequest=" + guid,
                           testing::DiffJson(guid, {18446744073709551615ULL}, {1}).dump());
    ASSERT_TRUE(diff);
    const json answer = json::parse(diff->body);
    EXPECT_EQ(answer.at("full"), false);

    const json account = State().at("accounts").at(Code);
    EXPECT_EQ(account.at("guid"), answer.at("guid"));
    EXPECT_EQ(testing::InstanceIds(account.at("items")),
              (std::vector<std::uint64_t>{2, 18446744073709551615ULL}));
}

TEST_F(HttpRouterTest, RefusalsAreJsonMessages)
{
    ExpectMessage(Client().Post(SyncPath, PluginHeaders("wrong"), "[]", "application/json"), 401);
    ExpectMessage(Post(SyncPath, "{\"addedItems\":"), 400);
    ExpectMessage(Client().Get("/api/v2/stats/ingame.php", PluginHeaders()), 405);
    ExpectMessage(Post("/api/v2/inventory/toggleSync.php?status=1", ""), 405);
    ExpectMessage(
        Client().Put("/api/v2/stats/ingame.php", PluginHeaders(), "{}", "application/json"), 405);
    ExpectMessage(Post("/api/v2/inventory/smartSync", "[]"), 404);
    ExpectMessage(Client().Get("/"), 404);
    // A body over the limit is refused from its announced length, before it is read. (Sending
    // the body races the refusal: the server may close while the client still writes.)
    const std::string tooLarge = RawExchange(
        port_, fmt::format("POST {} HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                           "Content-Length: {}\r\nConnection: close\r\n\r\n",
                           SyncPath, 33 * 1024 * 1024));
    EXPECT_EQ(tooLarge.rfind("HTTP/1.1 413 ", 0), 0u) << tooLarge;
    EXPECT_NE(tooLarge.find("Content-Type: application/json\r\n"), std::string::npos) << tooLarge;
    const std::size_t bodyStart = tooLarge.find("\r\n\r\n");
    ASSERT_NE(bodyStart, std::string::npos) << tooLarge;
    ExpectJsonMessage(tooLarge.substr(bodyStart + 4));

    const json requests = State().at("requests");
    EXPECT_EQ(requests.at("smartSync"), (json{{"400", 1}, {"401", 1}}))
        << "only requests that reach an endpoint are counted";
}

TEST_F(HttpRouterTest, InjectedFaultsAnswerInsteadOfTheEndpointThenRunOut)
{
    faults_.AddFault(ParseFaultRule("stats=500x1"));
    const std::string body = json{{"playlistID", 13}}.dump();
    ExpectMessage(Post("/api/v2/stats/ingame.php", body), 500);
    EXPECT_EQ(Post("/api/v2/stats/ingame.php", body)->status, 200);

    // Rules can be added while the service runs, in the flag's form.
    const auto added = Client().Post("/dev/fail", "loadout=401x1", "text/plain");
    ASSERT_EQ(added->status, 200) << added->body;
    ExpectMessage(Post("/api/v2/inventory/loadout.php", testing::LoadoutJson().dump()), 401);
    ExpectMessage(Client().Post("/dev/fail", "loadout=4O1", "text/plain"), 400);
    ExpectMessage(Client().Post("/dev/delay", "loadout", "text/plain"), 400);

    const json state = State();
    EXPECT_EQ(state.at("accounts").at(Code).at("statsRequests").size(), 1u)
        << "a request answered by a fault is not served";
    EXPECT_EQ(state.at("requests").at("stats"), (json{{"200", 1}, {"500", 1}}));
    EXPECT_TRUE(state.at("faults").empty());
}

TEST_F(HttpRouterTest, ExpiringTheGuidMakesTheNextDiffAskForAFullSync)
{
    const std::string guid =
        json::parse(Post(std::string(SyncPath) + "?lastRequest", "[]")->body).at("guid");
    ASSERT_EQ(Client().Post(("/dev/expire-guid?code=" + std::string(Code)).c_str())->status, 200);
    const auto diff = Post(std::string(SyncPath) + "?lastRequest=" + guid,
                           testing::DiffJson(guid, {1}, {}).dump());
    EXPECT_EQ(json::parse(diff->body).at("full"), true);
    ExpectMessage(Client().Post("/dev/expire-guid?code=nobody"), 404);
}

TEST_F(HttpRouterTest, ConsoleLinesCannotBeSplitByTextsFromTheRequest)
{
    json loadout = testing::LoadoutJson();
    loadout["loadout_name"] = "two\r\nX-Injected: yes";
    const auto result = Post("/api/v2/inventory/loadout.php", loadout.dump());
    ASSERT_EQ(result->status, 200);
    EXPECT_FALSE(result->has_header("X-Injected"));
    const std::string line = WaitForLine("/api/v2/inventory/loadout.php");
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
    EXPECT_NE(line.find("loadout 'two??X-Injected: yes' saved"), std::string::npos) << line;
}

TEST_F(HttpRouterTest, LinkingPageEscapesTheCodeItHandsToThePlugin)
{
    const std::string hostile = "</script><img src=x onerror=alert(1)>\"'&\u2028";
    store_.AddAccount(hostile);
    const auto page = Client().Get(("/sync?code=" + PercentEncoded(hostile)).c_str());
    ASSERT_TRUE(page);
    ASSERT_EQ(page->status, 200);
    const std::string& html = page->body;
    EXPECT_NE(html.find("ws://127.0.0.1:9100"), std::string::npos);
    EXPECT_NE(html.find("JSON.stringify({UserCode: userCode})"), std::string::npos);
    EXPECT_NE(html.find("\"Linked\""), std::string::npos);
    EXPECT_EQ(html.find("<img"), std::string::npos);
    EXPECT_EQ(html.find("</script><"), std::string::npos);
    const std::string literal =
        R"("\u003c/script\u003e\u003cimg src=x onerror=alert(1)\u003e\"'\u0026\u2028")";
    EXPECT_NE(html.find("const userCode = " + literal + ";"), std::string::npos)
        << "the code reaches the script as a string literal of the same text";
    EXPECT_NE(html.find("&lt;/script&gt;&lt;img src=x onerror=alert(1)&gt;&quot;&#39;&amp;"),
              std::string::npos);

    EXPECT_EQ(Client().Get("/sync")->status, 400);
    EXPECT_EQ(Client().Get("/sync?code=nobody")->status, 404);
}

}  // namespace
}  // namespace qvxdev
