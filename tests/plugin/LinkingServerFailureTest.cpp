// A load whose linking server cannot get its thread: the system refuses the thread, the load
// keeps the boundary (nothing reaches the host), says so in the console and on the settings page.
//
// The refusal is real: this program's pthread_create (below) passes every call on to the
// system's, unless a test has told it to refuse one made on the test's own thread.
#include <dlfcn.h>
#include <pthread.h>

#include <cerrno>
#include <memory>

#include <gtest/gtest.h>

#include "plugin/Quorvex.h"
#include "plugin/SettingsPage.h"
#include "sim/ui/SettingsWindow.h"
#include "tests/support/TestHost.h"
#include "tests/support/WaitUntil.h"

namespace {

// Thread creations made on this thread so far, and which of them to refuse (-1: none).
thread_local int threadsCreatedHere = 0;
thread_local int refusedCreation = -1;

}  // namespace

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*start)(void*),
                              void* argument)
{
    using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
    static const auto systemCreate = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
    if (threadsCreatedHere++ == refusedCreation) {
        return EAGAIN;
    }
    return systemCreate(thread, attributes, start, argument);
}

namespace quorvex {
namespace {

class LinkingServerFailureTest : public ::testing::Test {
protected:
    // The threads a load creates on the loading thread; the linking server's is the last.
    static int ThreadsALoadCreates()
    {
        testing::TestHost host;
        auto plugin = std::make_shared<Quorvex>(0);
        plugin->cvarManager = host->CvarManager();
        plugin->gameWrapper = host->Game();
        const int before = threadsCreatedHere;
        plugin->onLoad();
        EXPECT_TRUE(plugin->wsServer.WaitUntilListening(std::chrono::seconds(10)));
        return threadsCreatedHere - before;
    }

    void LoadWithTheServerThreadRefused()
    {
        const int threads = threadsALoadCreates;
        ASSERT_GE(threads, 1);
        plugin->cvarManager = host->CvarManager();
        plugin->gameWrapper = host->Game();
        refusedCreation = threadsCreatedHere + threads - 1;
        plugin->onLoad();
        refusedCreation = -1;
        plugin->SetUiContext(window.UiContext());
    }

    // Counted on a host of its own, gone before the test's host is made.
    const int threadsALoadCreates = ThreadsALoadCreates();
    testing::TestHost host;
    sim::ui::SettingsWindow window;
    std::shared_ptr<Quorvex> plugin = std::make_shared<Quorvex>(0);
};

TEST_F(LinkingServerFailureTest, TheRefusalIsLoggedTheServicesStayAndThePageSaysLinkingIsNotAvailable)
{
    LoadWithTheServerThreadRefused();

    EXPECT_TRUE(host->ConsoleContains("Local websocket server: Startin server thread"));
    EXPECT_TRUE(host->ConsoleContains("Exception in Quorvex::onLoad: Resource temporarily unavailable"));
    EXPECT_TRUE(host->ConsoleContains("Local websocket server: not started, account linking is not available"));
    EXPECT_TRUE(plugin->inventorySync && plugin->tradeEventHandler) << "the services made before stay";
    EXPECT_FALSE(plugin->wsServer.WaitUntilListening(std::chrono::milliseconds(0)));

    const auto& frame = window.Draw(*plugin);
    EXPECT_TRUE(frame.Contains(SettingsPage::LinkingUnavailableText));
    EXPECT_TRUE(frame.Contains("Sync Inventory")) << "the rest of the page is drawn";

    host->ExecuteConsole("hidden_qvx_user_code abc");  // the console still links the account
    EXPECT_TRUE(window.Draw(*plugin).Contains("User code set"));
    plugin.reset();  // destroying a server that never ran joins nothing and logs no exception
    EXPECT_EQ(host.CountConsoleLines("Exception"), 1);
}

TEST_F(LinkingServerFailureTest, ALoadWhoseServerStartsShowsNoSuchLine)
{
    plugin->cvarManager = host->CvarManager();
    plugin->gameWrapper = host->Game();
    plugin->onLoad();
    plugin->SetUiContext(window.UiContext());
    ASSERT_TRUE(plugin->wsServer.WaitUntilListening(testing::Patience));
    EXPECT_FALSE(window.Draw(*plugin).Contains(SettingsPage::LinkingUnavailableText));
    EXPECT_FALSE(host->ConsoleContains("account linking is not available"));
    EXPECT_FALSE(plugin->wsServer.EndedWithoutListening());
}

}  // namespace
}  // namespace quorvex
