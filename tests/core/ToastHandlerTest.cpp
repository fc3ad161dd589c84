#include "core/ToastHandler.h"

#include <gtest/gtest.h>

#include "core/PersistentStorage.h"
#include "core/PluginEventDispatcher.h"
#include "tests/support/TestHost.h"

namespace quorvex {
namespace {

class ToastHandlerTest : public ::testing::Test {
protected:
    testing::TestHost host;
    std::shared_ptr<PersistentStorage> store = PersistentStorage::Create(host.plugin(), "QVX_InventorySync", true, true);
    std::shared_ptr<PluginEventDispatcher> dispatcher = std::make_shared<PluginEventDispatcher>();
    std::shared_ptr<ToastHandler> handler =
        ToastHandler::Create(dispatcher, host->Game(), host->CvarManager(), store);
};

TEST_F(ToastHandlerTest, ShowsEventsUnderTheServiceBranding)
{
    dispatcher->Dispatch(EventType::Toast, ToastEvent("Your user code was set!", 0x101, 7.0f));

    const auto toasts = host->Toasts();
    ASSERT_EQ(toasts.size(), 1u);
    EXPECT_EQ(toasts[0].title, "quorvex.com");
    EXPECT_EQ(toasts[0].text, "Your user code was set!");
    EXPECT_EQ(toasts[0].texture, "qvx_logo");
    EXPECT_FLOAT_EQ(toasts[0].seconds, 7.0f);
    EXPECT_EQ(toasts[0].toastType, 1) << "only the low 8 bits of the kind reach the host";
    EXPECT_FLOAT_EQ(toasts[0].width, 290.0f);
    EXPECT_FLOAT_EQ(toasts[0].height, 60.0f);
}

TEST_F(ToastHandlerTest, SwitchedOffDropsEventsWithoutReplayingThem)
{
    host->ExecuteConsole("qvx_toasts_enabled 0");
    dispatcher->Dispatch(EventType::Toast, ToastEvent("dropped", 3, 10.0f));
    EXPECT_TRUE(host->Toasts().empty());
    EXPECT_FALSE(host->ConsoleContains("Warning: Dispatching event with no listeners"));

    host->ExecuteConsole("qvx_toasts_enabled 1");
    dispatcher->Dispatch(EventType::Toast, ToastEvent("shown", 0, 3.0f));
    const auto toasts = host->Toasts();
    ASSERT_EQ(toasts.size(), 1u);
    EXPECT_EQ(toasts[0].text, "shown");
}

}  // namespace
}  // namespace quorvex
