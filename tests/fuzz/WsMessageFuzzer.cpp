// The handler of the linking page's messages, in a plug-in loaded over the substitute host (its
// WebSocket server on a port the system picks). The input is one message's payload, handed to the
// handler directly, as the server thread would. A message is answered "OK" exactly when it set the
// user code, to a code that is safe in a cvar, a cfg line and a request header; any other message
// leaves the code alone.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "api/QvxApi.h"
#include "api/UserCode.h"
#include "plugin/Quorvex.h"
#include "plugin/UserCodeMessages.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/TestHost.h"
#include "ws/WsMessage.h"

namespace {

using quorvex::fuzz::Require;

class RecordedMessage : public quorvex::WsMessage {
public:
    explicit RecordedMessage(std::string payload) : payload_(std::move(payload)) {}

    const std::string& Payload() const override { return payload_; }
    Opcode GetOpcode() const override { return Opcode::Text; }
    void Send(const std::string& text) override { replies.push_back(text); }

    std::vector<std::string> replies;

private:
    std::string payload_;
};

// The host keeps every console line and toast; a fresh host and plug-in now and then keeps a long
// run's memory flat.
constexpr int RunsPerPlugin = 20000;

struct LoadedPlugin {
    LoadedPlugin()
    {
        // The syncs a linked code starts are answered here, never by the network.
        host->SetResponder([](const CurlRequest&) { return sim::ScriptedResponse{503, ""}; });
        plugin->cvarManager = host->CvarManager();
        plugin->gameWrapper = host->Game();
        plugin->onLoad();
        host->RunFor(sim::Seconds(0.1));  // the settings file is loaded
    }
    ~LoadedPlugin()
    {
        plugin->onUnload();
        plugin.reset();
        host->RunUntilIdle();
    }

    quorvex::testing::TestHost host;
    std::shared_ptr<quorvex::Quorvex> plugin = std::make_shared<quorvex::Quorvex>(0);
};

bool IsSafeUserCode(const std::string& code)
{
    if (code.size() > quorvex::UserCode::MaxBytes) {
        return false;
    }
    for (const char c : code) {
        if (c <= ' ' || c >= '\x7F' || c == '"' || c == '\\') {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static std::unique_ptr<LoadedPlugin> loaded;
    static int runs = 0;
    if (runs++ % RunsPerPlugin == 0) {
        loaded.reset();
        loaded = std::make_unique<LoadedPlugin>();
    }
    // Each message comes after the server's pause between changes, so a code the last input set
    // does not hold this one back.
    loaded->host->RunFor(sim::Seconds(quorvex::UserCodeMessages::MinSecondsBetweenChanges));
    auto cvar = loaded->host->CvarManager()->getCvar(quorvex::UserCode::Cvar);
    const std::string codeBefore = cvar.getStringValue();

    RecordedMessage message(std::string(reinterpret_cast<const char*>(data), size));
    loaded->plugin->OnWebSocketMessage(message);
    loaded->host->RunUntilIdle();

    const std::string code = cvar.getStringValue();
    Require(code == loaded->plugin->api->userCode->Get(), "the plug-in's user code follows its cvar");
    if (message.replies.empty()) {
        Require(code == codeBefore, "an unanswered message leaves the user code alone");
        return 0;
    }
    Require(message.replies == std::vector<std::string>{"OK"}, "a message is answered once, with OK");
    const auto parsed = nlohmann::json::parse(message.Payload(), nullptr, false);
    Require(parsed.is_object() && parsed.contains("UserCode") && parsed.at("UserCode") == code,
            "an answered message set its UserCode");
    Require(IsSafeUserCode(code), "the user code is printable ASCII without quotes or backslashes");
    return 0;
}
