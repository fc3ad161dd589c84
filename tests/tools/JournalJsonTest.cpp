// The JSON journal: a session's file read back with a JSON parser, one object per line, with the
// members the README lists per kind.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "../sim/TestHost.h"
#include "tools/plexar-sim/JournalJson.h"

namespace plexarsim {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

TEST(JournalJson, ASessionsFileReadsBackOneObjectPerEntry)
{
    sim::test::TestHost host;
    const auto file = host->Options().hostDir / "journal.jsonl";
    {
        std::ofstream output(file);
        JournalJsonWriter writer(host->Now(), output);
        host->SetJournalSink([&](const sim::JournalEntry& entry) { writer.Write(entry); });
        host->SetResponder([](const CurlRequest&) { return sim::ScriptedResponse{202, "{\"ok\":1}", {}}; });

        host->CvarManager()->log("Plugin loaded!");
        host->RunFor(1.5s);
        host->Game()->Toast("quorvex.com", "Inventory synced!", "qvx_logo", 3.0f, 2);
        CurlRequest request;
        request.url = "https://api.quorvex.com/api/v2/x.php?a=1";
        request.headers = {{"x-qvx-key", "k"}};
        request.body = "{\"bad\":\"\xff\"}";
        HttpWrapper::SendCurlJsonRequest(request, [](int, std::string) {});
        host->WaitForHttpIdle();
        host->Record(sim::JournalEntry::Kind::WebSocket, "ws-send: reply: OK",
                     std::make_shared<const json>(json{{"message", "m"}, {"outcome", "replied"}, {"text", "OK"}}));
        host->SetJournalSink(nullptr);
        EXPECT_FALSE(writer.Failed());
    }

    std::vector<json> entries;
    std::ifstream input(file);
    for (std::string line; std::getline(input, line);) {
        entries.push_back(json::parse(line));
    }
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[0], (json{{"at", 0.0}, {"kind", "console"}, {"text", "Plugin loaded!"}}));

    const json& toast = entries[1];
    EXPECT_EQ(toast["kind"], "toast");
    EXPECT_EQ(toast["at"], 1.5);
    EXPECT_EQ(toast["title"], "quorvex.com");
    EXPECT_EQ(toast["text"], "Inventory synced!");
    EXPECT_EQ(toast["texture"], "qvx_logo");
    EXPECT_EQ(toast["seconds"], 3.0);
    EXPECT_EQ(toast["toastType"], 2);

    const json& request = entries[2];
    EXPECT_EQ(request["kind"], "request");
    EXPECT_EQ(request["id"], 0);
    EXPECT_EQ(request["verb"], "POST");
    EXPECT_EQ(request["url"], "https://api.quorvex.com/api/v2/x.php?a=1");
    EXPECT_EQ(request["sentTo"], request["url"]);
    EXPECT_EQ(request["headers"], (json{{"x-qvx-key", "k"}}));
    EXPECT_EQ(request["body"], "{\"bad\":\"\xEF\xBF\xBD\"}");  // the invalid byte replaced, the line kept

    const json& answer = entries[3];
    EXPECT_EQ(answer["kind"], "answer");
    EXPECT_EQ(answer["id"], 0);
    EXPECT_EQ(answer["status"], 202);
    EXPECT_EQ(answer["body"], "{\"ok\":1}");

    EXPECT_EQ(entries[4], (json{{"at", 1.5}, {"kind", "ws"}, {"message", "m"}, {"outcome", "replied"}, {"text", "OK"}}));
}

}  // namespace
}  // namespace plexarsim
