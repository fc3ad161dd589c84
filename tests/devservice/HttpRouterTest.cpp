#include "tools/qvx-devservice/HttpRouter.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "tests/devservice/Products.h"
#include "tests/devservice/ServedRouter.h"

namespace qvxdev {
namespace {

using nlohmann::json;

using testing::Code;
using testing::RawExchange;
constexpr const char* SyncPath = "/api/v2/inventory/smartSync.php";

class HttpRouterTest : public ::testing::Test, public testing::ServedRouter {
protected:
    int port_ = Port();
    Store& store_ = Data();
    FaultInjector& faults_ = Faults();
};

std::string PercentEncoded(const std::string& text)
{
    std::string encoded;
    for (const char c : text) {
        encoded += fmt::format("%{:02X}", static_cast<unsigned char>(c));
    }
    return encoded;
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
    ExpectMessage(Client().Get("/nothing"), 404);
    // The developer routes answer another method as the API routes do.
    const auto getFail = Client().Get("/dev/fail");
    ExpectMessage(getFail, 405);
    EXPECT_EQ(getFail->get_header_value("Allow"), "POST");
    ExpectMessage(Dev("/dev/state", "{}"), 405);
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
    const auto added = Dev("/dev/fail", "loadout=401x1");
    ASSERT_EQ(added->status, 200) << added->body;
    ExpectMessage(Post("/api/v2/inventory/loadout.php", testing::LoadoutJson().dump()), 401);
    ExpectMessage(Dev("/dev/fail", "loadout=4O1"), 400);

    // A 429 or 503 can ask the client to wait, in a header and in the body.
    ASSERT_EQ(Dev("/dev/fail", "stats=429x1,retryAfter=60")->status, 200);
    const auto wait = Post("/api/v2/stats/ingame.php", body);
    EXPECT_EQ(wait->status, 429);
    EXPECT_EQ(wait->get_header_value("Retry-After"), "60");
    EXPECT_EQ(json::parse(wait->body).at("retryAfter"), 60);
    ExpectMessage(Dev("/dev/delay", "loadout"), 400);

    const json state = State();
    EXPECT_EQ(state.at("accounts").at(Code).at("statsRequests").size(), 1u)
        << "a request answered by a fault is not served";
    EXPECT_EQ(state.at("requests").at("stats"), (json{{"200", 1}, {"429", 1}, {"500", 1}}));
    EXPECT_TRUE(state.at("faults").empty());
}

TEST_F(HttpRouterTest, ExpiringTheGuidMakesTheNextDiffAskForAFullSync)
{
    const std::string guid =
        json::parse(Post(std::string(SyncPath) + "?lastRequest", "[]")->body).at("guid");
    ASSERT_EQ(Dev("/dev/expire-guid?code=" + std::string(Code))->status, 200);
    const auto diff = Post(std::string(SyncPath) + "?lastRequest=" + guid,
                           testing::DiffJson(guid, {1}, {}).dump());
    EXPECT_EQ(json::parse(diff->body).at("full"), true);
    ExpectMessage(Dev("/dev/expire-guid?code=nobody"), 404);
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
    EXPECT_EQ(page->get_header_value("X-Frame-Options"), "DENY");
    const std::string policy = page->get_header_value("Content-Security-Policy");
    EXPECT_NE(policy.find("frame-ancestors 'none'"), std::string::npos) << policy;
    EXPECT_NE(policy.find("connect-src ws://127.0.0.1:9100;"), std::string::npos) << policy;
    const std::string nonce = policy.substr(policy.find("'nonce-") + 7, 32);
    EXPECT_NE(html.find("<script nonce=\"" + nonce + "\">"), std::string::npos)
        << "the page's own script is the one the policy allows";
    EXPECT_NE(Client().Get("/sync?code=QVX-TEST")->get_header_value("Content-Security-Policy"),
              policy)
        << "a nonce is drawn for every page";
    EXPECT_NE(html.find("<p id=\"code\" hidden>"), std::string::npos)
        << "the code is shown only once the player presses the button";
    const std::size_t click = html.find("button.addEventListener(\"click\"");
    ASSERT_NE(click, std::string::npos);
    EXPECT_EQ(html.find("link();"), html.find("link();", click))
        << "the only call that links is in the button's handler";
    EXPECT_NE(html.find("event.isTrusted"), std::string::npos);
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
    const auto unknown = Client().Get("/sync?code=nobody");
    EXPECT_EQ(unknown->status, 404);
    EXPECT_EQ(unknown->get_header_value("X-Frame-Options"), "DENY");
    EXPECT_NE(unknown->body.find("Start qvx-devservice with --user nobody (added to the default codes)"),
              std::string::npos)
        << unknown->body;
}

TEST_F(HttpRouterTest, IndexListsEveryRouteItServes)
{
    const auto index = Client().Get("/");
    ASSERT_TRUE(index);
    ASSERT_EQ(index->status, 200);
    const json routes = json::parse(index->body).at("routes");
    EXPECT_EQ(routes.size(), AllEndpoints().size() + 8);
    for (const json& route : routes) {
        std::string path = route.at("path");
        if (const std::size_t code = path.find("CODE"); code != std::string::npos) {
            path.replace(code, 4, Code);
        }
        const auto served = route.at("method") == "GET" ? Client().Get(path.c_str())
                                                         : Dev(path, "{}");
        ASSERT_TRUE(served) << path;
        EXPECT_NE(served->status, 404) << path << " is listed but not served";
        EXPECT_NE(served->status, 405) << path << " is listed with the wrong method";
    }
}

TEST_F(HttpRouterTest, ResetEmptiesTheDataAndReturnsTheFaultRulesToThePlan)
{
    Post(std::string(SyncPath) + "?lastRequest", testing::InventoryJson({1, 2}).dump());
    Post("/api/v2/trading/logIngameTrade.php", testing::TradeJson().dump());
    Dev("/dev/fail", "stats=500");
    Dev("/dev/delay", "stats=100");
    Dev("/dev/random-faults", R"({"rules": ["loadout=0.5:503"]})");
    const auto reset = Dev("/dev/reset");
    ASSERT_TRUE(reset);
    EXPECT_EQ(reset->status, 200);

    const json state = State();
    const json& account = state.at("accounts").at(Code);
    EXPECT_TRUE(account.at("items").empty());
    EXPECT_TRUE(account.at("trades").empty());
    EXPECT_EQ(account.at("guid"), "");
    EXPECT_TRUE(state.at("requests").empty());
    EXPECT_TRUE(state.at("faults").empty());
    EXPECT_TRUE(state.at("delays").empty());
    EXPECT_TRUE(state.at("randomFaults").at("rules").empty());
    EXPECT_EQ(state.at("injectedFaults").at("total"), 0);
    EXPECT_EQ(Post(std::string(SyncPath) + "?lastRequest", "[]")->status, 200)
        << "the account is still known";
}

TEST_F(HttpRouterTest, ARepeatedTradeIsAnswered200AndStoredOnce)
{
    for (int send = 0; send < 3; ++send) {
        const auto logged = Post("/api/v2/trading/logIngameTrade.php", testing::TradeJson().dump());
        ASSERT_TRUE(logged);
        EXPECT_EQ(logged->status, 200) << logged->body;
    }
    EXPECT_NE(WaitForLine("trade '9F2C' already logged").find("200 POST"), std::string::npos);
    const json account = State().at("accounts").at(Code);
    EXPECT_EQ(account.at("trades"), json::array({testing::TradeJson()}));
    EXPECT_EQ(account.at("repeatedTrades"), 2);
}

TEST_F(HttpRouterTest, RandomFaultsDropLoseAndExpireTheGuid)
{
    const std::string full = std::string(SyncPath) + "?lastRequest";
    ASSERT_EQ(Dev("/dev/random-faults", R"({"rules": ["smartSync=1:drop"], "seed": 3})")->status,
              200);
    const auto dropped = Post(full, testing::InventoryJson({1}).dump());
    EXPECT_FALSE(dropped) << "no answer at all: the client sees status 0";
    EXPECT_EQ(State().at("accounts").at(Code).at("guid"), "") << "a dropped request is not served";

    ASSERT_EQ(Dev("/dev/random-faults", R"({"rules": ["smartSync=1:lose"]})")->status, 200);
    EXPECT_FALSE(Post(full, testing::InventoryJson({1}).dump()));
    const std::string lostGuid = State().at("accounts").at(Code).at("guid");
    EXPECT_NE(lostGuid, "") << "a lost answer's request was served";
    EXPECT_NE(WaitForLine("injected: answer lost"), "");

    ASSERT_EQ(Dev("/dev/random-faults", R"({"rules": [], "expireGuidRate": 1})")->status, 200);
    const auto accepted = Post(full, testing::InventoryJson({1}).dump());
    ASSERT_TRUE(accepted);
    const std::string guid = json::parse(accepted->body).at("guid");
    const auto diff = Post(std::string(SyncPath) + "?lastRequest=" + guid,
                           testing::DiffJson(guid, {2}, {}).dump());
    EXPECT_EQ(json::parse(diff->body).at("full"), true) << "the guid expired after the answer";

    const json state = State();
    EXPECT_EQ(state.at("injectedFaults").at("byEndpoint").at("smartSync"),
              (json{{"drop", 1}, {"lose", 1}, {"expireGuid", 1}}))
        << "a diff refused with \"full\": true expires nothing";
    EXPECT_EQ(state.at("requests").at("smartSync"), (json{{"0", 2}, {"200", 2}}));
    ExpectMessage(Dev("/dev/random-faults", R"({"rules": ["smartSync=2:drop"]})"), 400);
    ExpectMessage(Dev("/dev/random-faults", "not json"), 400);
}

}  // namespace
}  // namespace qvxdev
