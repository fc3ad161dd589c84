// The linking page handing the user code to a loaded plug-in over a real WebSocket connection.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "api/QvxApi.h"
#include "plugin/Quorvex.h"
#include "plugin/SettingsPage.h"
#include "plugin/UserCodeMessages.h"
#include "sim/ui/SettingsWindow.h"
#include "tests/support/HeldFileCalls.h"
#include "tests/support/TestHost.h"
#include "tests/ws/WsTestClients.h"
#include "tools/plexar-sim/LinkingPageClient.h"

namespace quorvex {
namespace {

using plexarsim::LinkingPageResult;
using Outcome = LinkingPageResult::Outcome;

// What a connection gets back when the message before the probe was not answered.
const std::vector<std::string> OnlyTheProbesReply{"OK"};
// The first byte of a close frame (final, opcode 8), from either side.
constexpr std::uint8_t CloseOpcode = 0x88;

class AccountLinkingTest : public ::testing::Test {
protected:
    void Load(std::uint16_t port = 0, bool loadSettings = true)
    {
        plugin = std::make_shared<Quorvex>(port);
        plugin->cvarManager = host->CvarManager();
        plugin->gameWrapper = host->Game();
        plugin->onLoad();
        if (loadSettings) {
            host->RunFor(sim::Seconds(0.1));
        }
    }

    LinkingPageResult Send(const std::string& message, const std::string& origin = "")
    {
        EXPECT_TRUE(plugin->wsServer.WaitUntilListening(testing::Patience));
        return plexarsim::SendOnce(plugin->wsServer.Port(), message, origin, testing::Patience);
    }

    // What the server sends back on a connection that carries the message and then a probe: the
    // current user code again, which is answered "OK" and changes nothing. The server handles a
    // connection's messages in order and answers the closing handshake that follows them after
    // all it sent before, so the probe's reply shows that the message has been handled, and a
    // reply to the message would come before it.
    std::vector<std::string> RepliesTo(const std::string& message)
    {
        EXPECT_TRUE(plugin->wsServer.WaitUntilListening(testing::Patience));
        const auto connection = testing::OpenRawWebSocket(plugin->wsServer.Port());
        const std::string probe = R"({"UserCode": ")" + UserCode() + "\"}";
        connection->Write(testing::ClientFrame(testing::FinalText, message.size(), message) +
                          testing::ClientFrame(testing::FinalText, probe.size(), probe) +
                          testing::ClientFrame(CloseOpcode, 2, "\x03\xe8"));
        std::vector<std::string> replies;
        while (true) {
            const std::string header = connection->ReadBytes(2);
            std::size_t length = static_cast<unsigned char>(header[1]) & 0x7f;
            if (length == 126) {
                const std::string extended = connection->ReadBytes(2);
                length = static_cast<unsigned char>(extended[0]) * 256u + static_cast<unsigned char>(extended[1]);
            }
            EXPECT_LT(length, 127u) << "no reply here is that long";
            const std::string payload = connection->ReadBytes(length);
            if (static_cast<unsigned char>(header[0]) == CloseOpcode) {
                return replies;
            }
            replies.push_back(payload);
        }
    }

    std::string UserCode() { return host.host().CvarManager()->getCvar("hidden_qvx_user_code").getStringValue(); }

    // The toasts of code changes (a sync that follows a new code shows its own).
    std::vector<sim::ToastRecord> CodeToasts()
    {
        std::vector<sim::ToastRecord> toasts;
        for (const auto& toast : host->Toasts()) {
            if (toast.text.find("user code") != std::string::npos || toast.text.find("linked") != std::string::npos) {
                toasts.push_back(toast);
            }
        }
        return toasts;
    }

    testing::TestHost host;
    std::shared_ptr<Quorvex> plugin;
};

TEST_F(AccountLinkingTest, UserCodeIsSetSavedConfirmedAndAnswered)
{
    Load();
    const auto result = Send(R"({"UserCode": "abc"})");

    EXPECT_EQ(result.outcome, Outcome::Replied);
    EXPECT_EQ(result.text, "OK");
    EXPECT_EQ(UserCode(), "abc");
    EXPECT_EQ(plugin->api->userCode->Get(), "abc");
    EXPECT_TRUE(host->ConsoleContains("Received user code, setting it."));
    const auto toasts = host->Toasts();
    ASSERT_EQ(toasts.size(), 1u);
    EXPECT_EQ(toasts[0].text, "Your user code was set!");
    EXPECT_EQ(toasts[0].toastType, 1);
    EXPECT_FLOAT_EQ(toasts[0].seconds, 7.0f);
    EXPECT_NE(testing::ReadTextFile(host.cfgFile()).find("hidden_qvx_user_code \"abc\" //User code for QVX\n"),
              std::string::npos);

    host->RunFor(sim::Seconds(UserCodeMessages::ToastSeconds));  // past the rate limit and the toast
    const auto cleared = Send(R"({"UserCode": ""})");
    EXPECT_EQ(cleared.text, "OK");
    EXPECT_EQ(UserCode(), "");
    EXPECT_EQ(CodeToasts().size(), 2u);
}

// A page (or any client) repeating the code must not rewrite and flush the settings file and
// show a toast each time.
TEST_F(AccountLinkingTest, TheSameCodeAgainIsAnsweredWithoutRewritingTheFileOrAToast)
{
    Load();
    EXPECT_EQ(Send(R"({"UserCode": "abc"})").text, "OK");
    std::filesystem::remove(host.cfgFile());

    for (int again = 0; again < 3; ++again) {
        EXPECT_EQ(Send(R"({"UserCode": "abc"})").text, "OK");
    }
    EXPECT_FALSE(std::filesystem::exists(host.cfgFile())) << "the file was rewritten";
    EXPECT_EQ(host->Toasts().size(), 1u);
    EXPECT_EQ(host.CountConsoleLines("Received user code, setting it."), 1);

    host->RunFor(sim::Seconds(UserCodeMessages::ToastSeconds));
    EXPECT_EQ(Send(R"({"UserCode": "other"})").text, "OK");
    EXPECT_NE(testing::ReadTextFile(host.cfgFile()).find("hidden_qvx_user_code \"other\""), std::string::npos);
    EXPECT_EQ(CodeToasts().size(), 2u);
}

// One local process alternating codes must not flood the file, the console and the screen: one
// change per 5 s across the whole server, one line per burst, one toast on screen at a time.
TEST_F(AccountLinkingTest, ChangesAreRateLimitedAcrossConnectionsAndTheirToastsMerged)
{
    Load();
    EXPECT_EQ(Send(R"({"UserCode": "QVX-ALT-A"})").text, "OK");
    host->ShiftWallClock(std::chrono::hours(24));  // the pause is steady time
    for (int message = 0; message < 6; ++message) {
        const std::string code = message % 2 == 0 ? "QVX-ALT-B" : "QVX-ALT-C";
        EXPECT_EQ(RepliesTo(R"({"UserCode": ")" + code + "\"}"), OnlyTheProbesReply) << code;
    }
    EXPECT_EQ(UserCode(), "QVX-ALT-A");
    EXPECT_EQ(host.CountConsoleLines("Refused a change of the user code: the last change was less than 5 seconds ago"), 1);
    EXPECT_EQ(host.CountConsoleLines("new user code set: "), 1);

    host->RunFor(sim::Seconds(UserCodeMessages::MinSecondsBetweenChanges));
    EXPECT_EQ(Send(R"({"UserCode": "QVX-ALT-B"})").text, "OK");
    EXPECT_EQ(CodeToasts().size(), 1u) << "the first toast is still up";
    host->ShiftWallClock(-std::chrono::hours(1));
    host->RunFor(sim::Seconds(UserCodeMessages::ToastSeconds));
    const auto toasts = CodeToasts();
    ASSERT_EQ(toasts.size(), 2u);
    EXPECT_EQ(toasts[1].text, "Your game is now linked to a different Quorvex account.");
    EXPECT_GE(toasts[1].shownAt - toasts[0].shownAt, sim::Seconds(UserCodeMessages::ToastSeconds));
}

// The settings file cannot be written (a file where the cfg folder should be): the page's contract
// stays "OK", and the player learns that the link lasts for this session only, also for a code
// that came before the settings were loaded, whose save waits for the load.
TEST_F(AccountLinkingTest, ACodeThatCannotBeSavedIsLinkedForTheSessionAndSaysSo)
{
    std::filesystem::remove_all(host.cfgFile().parent_path());
    std::ofstream(host.cfgFile().parent_path()) << "not a folder";
    Load(0, false);
    EXPECT_EQ(Send(R"({"UserCode": "QVX-EARLY-1"})").text, "OK");
    EXPECT_TRUE(CodeToasts().empty()) << "not reported as saved before the load writes it";
    host->RunFor(sim::Seconds(UserCodeMessages::MinSecondsBetweenChanges));
    EXPECT_EQ(Send(R"({"UserCode": "QVX-DEMO-1234"})").text, "OK");
    EXPECT_EQ(plugin->api->userCode->Get(), "QVX-DEMO-1234");
    host->RunFor(sim::Seconds(UserCodeMessages::ToastSeconds));
    const auto toasts = CodeToasts();
    ASSERT_EQ(toasts.size(), 2u);
    EXPECT_EQ(toasts[0].text, "Your user code is set for this session only: the settings file could not be written.");
    EXPECT_EQ(toasts[1].text, "Your game is now linked to a different Quorvex account, for this session only: the "
                              "settings file could not be written.");
    EXPECT_EQ(host.CountConsoleLines("PersistentStorage: Failed to write the settings file: "), 2);
}

#ifdef _WIN32
// The settings file held open by another program for good: the page gets "OK" at once, and the
// toast waits for the save's end, then says the link lasts for this session only.
TEST_F(AccountLinkingTest, ACodeWhoseSaveWaitsForAHeldFileIsToastedWhenTheSaveEnds)
{
    Load();
    host->ExecuteConsole("writeconfig");
    testing::HeldOpen held(host.cfgFile());
    ASSERT_NE(held.handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Send(R"({"UserCode": "QVX-DEMO-1234"})").text, "OK");
    EXPECT_TRUE(CodeToasts().empty()) << "not reported as saved while the save is tried again";
    host->RunFor(sim::Seconds(2));
    const auto toasts = CodeToasts();
    ASSERT_EQ(toasts.size(), 1u);
    EXPECT_EQ(toasts[0].text, "Your user code is set for this session only: the settings file could not be written.");
}
#endif

// A code the console refuses is not a new link: the inventory sync does not react to it.
TEST_F(AccountLinkingTest, ARefusedCodeFromTheConsoleAnnouncesNothing)
{
    Load();
    host->ExecuteConsole("hidden_qvx_user_code good");
    host->ExecuteConsole("hidden_qvx_user_code \"a b\"");
    host->RunUntilIdle();
    EXPECT_EQ(host.CountConsoleLines("Refused the user code: "), 1);
    EXPECT_EQ(host.CountConsoleLines("User code set; syncing the inventory"), 1);
    EXPECT_EQ(UserCode(), "good");
}

TEST_F(AccountLinkingTest, MalformedMessagesAreLoggedAndNotAnswered)
{
    Load();
    host->ExecuteConsole("hidden_qvx_user_code kept");

    EXPECT_EQ(RepliesTo(R"({"UserCode": 5})"), OnlyTheProbesReply);
    EXPECT_TRUE(host->ConsoleContains("Received user code, setting it."));
    EXPECT_TRUE(host->ConsoleContains("Exception in Quorvex::OnWebSocketMessage: [json.exception.type_error"));

    EXPECT_EQ(RepliesTo("not json"), OnlyTheProbesReply);
    EXPECT_TRUE(host->ConsoleContains("Exception in Quorvex::OnWebSocketMessage: [json.exception.parse_error"));

    EXPECT_EQ(UserCode(), "kept");
    EXPECT_TRUE(host->Toasts().empty());
}

TEST_F(AccountLinkingTest, OtherJsonIsIgnoredSilently)
{
    Load();
    const auto linesBefore = host->ConsoleLines().size();
    for (const std::string message : {R"({"other": 1})", "[1, 2]", R"("UserCode")"}) {
        EXPECT_EQ(RepliesTo(message), OnlyTheProbesReply) << message;
    }
    // Only the server's own lines (about listening and the connections): nothing from the handler.
    const auto lines = host->ConsoleLines();
    for (auto line = lines.begin() + static_cast<std::ptrdiff_t>(linesBefore); line != lines.end(); ++line) {
        EXPECT_EQ(line->rfind("Local websocket server: ", 0), 0u) << *line;
    }
    EXPECT_TRUE(host->Toasts().empty());
}

TEST_F(AccountLinkingTest, UnsafeCodesChangeNothing)
{
    Load();
    host->ExecuteConsole("hidden_qvx_user_code kept");
    const std::string tooLong(129, 'a');
    for (const std::string code : {R"(a\"b)", R"(a\\b)", R"(a\nb)", R"(a\u0001b)", "a b", "caf\u00e9", tooLong.c_str()}) {
        EXPECT_EQ(RepliesTo(R"({"UserCode": ")" + code + "\"}"), OnlyTheProbesReply) << code;
    }
    EXPECT_EQ(host.CountConsoleLines("Refused the user code: "), 7);
    EXPECT_EQ(UserCode(), "kept");
    EXPECT_TRUE(host->Toasts().empty());

    EXPECT_EQ(Send(R"({"UserCode": ")" + std::string(128, 'a') + "\"}").text, "OK");
}

TEST_F(AccountLinkingTest, PagesOfOtherSitesAreRefused)
{
    Load();
    const auto refused = Send(R"({"UserCode": "evil"})", "https://evil.example");
    EXPECT_EQ(refused.outcome, Outcome::Refused);
    EXPECT_EQ(refused.text, "HTTP 403");
    EXPECT_EQ(Send(R"({"UserCode": "page"})", "https://quorvex.com").text, "OK");
    EXPECT_EQ(UserCode(), "page");
}

TEST_F(AccountLinkingTest, PortTakenLeavesThePluginRunning)
{
    // Another program listens on the port (without address reuse, as most do).
    asio::io_context io;
    asio::ip::tcp::acceptor listener(io);
    listener.open(asio::ip::tcp::v4());
    listener.bind(asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), 0));
    listener.listen(1);

    Load(listener.local_endpoint().port());
    sim::ui::SettingsWindow window;
    plugin->SetUiContext(window.UiContext());
    EXPECT_FALSE(plugin->wsServer.WaitUntilListening(testing::Patience));
    EXPECT_TRUE(plugin->wsServer.EndedWithoutListening());
    EXPECT_TRUE(host->ConsoleContains("Local websocket server: failed to init."));
    EXPECT_FALSE(host->ConsoleContains("Local websocket server: Listening on"));
    EXPECT_TRUE(host->ConsoleContains("Plugin loaded!"));
    // The player learns on the settings page that the linking page cannot reach the plug-in.
    EXPECT_TRUE(window.Draw(*plugin).Contains(SettingsPage::LinkingUnavailableText));
    host->ExecuteConsole("hidden_qvx_user_code typed");
    EXPECT_EQ(plugin->api->userCode->Get(), "typed");
    EXPECT_TRUE(window.Draw(*plugin).Contains("User code set"));

    plugin.reset();
}

}  // namespace
}  // namespace quorvex
