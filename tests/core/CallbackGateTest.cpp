// The gate that stops the plug-in's callbacks while the plug-in object is deleted: deletion waits
// for a body under way on another thread, no body starts until the object's services are gone,
// and a deletion from inside a body does not wait for itself.
#include "core/CallbackGate.h"

#include <atomic>
#include <future>
#include <memory>
#include <optional>
#include <thread>

#include <gtest/gtest.h>

#include "core/WeakCallback.h"
#include "tests/support/WaitUntil.h"

namespace quorvex {
namespace {

bool PassGranted()
{
    const CallbackGate::Pass pass;
    return static_cast<bool>(pass);
}

TEST(CallbackGateTest, DeletionWaitsForABodyUnderWayAndNoneStartsUntilTheServicesAreGone)
{
    std::optional<CallbackGate::Holder> plugin(std::in_place);
    std::promise<void> entered;
    std::promise<void> release;
    std::atomic<bool> bodyDone{false};
    std::thread http([&] {
        const CallbackGate::Pass pass;
        ASSERT_TRUE(pass);
        entered.set_value();
        release.get_future().wait();
        bodyDone = true;
    });
    entered.get_future().wait();

    std::atomic<bool> closeReturned{false};
    std::thread game([&] {
        CallbackGate::Close();
        closeReturned = true;
        EXPECT_TRUE(bodyDone) << "Close returned while a body was under way";
    });
    // Once the gate is closed no body starts; the deletion is still waiting for the one under way.
    ASSERT_TRUE(testing::WaitUntil([] { return !PassGranted(); }));
    EXPECT_FALSE(closeReturned);
    release.set_value();
    http.join();
    game.join();
    EXPECT_TRUE(closeReturned);

    EXPECT_FALSE(PassGranted()) << "the services are not gone yet";
    plugin.reset();
    EXPECT_TRUE(PassGranted()) << "a plug-in object made later gets its callbacks";
}

TEST(CallbackGateTest, APluginDeletedFromInsideItsOwnCallbackDoesNotWaitForItself)
{
    auto plugin = std::make_unique<CallbackGate::Holder>();
    auto owner = std::make_shared<int>(0);
    bool bodyRan = false;
    auto callback = WeakCallback(std::weak_ptr<int>(owner), "test", [&](int&) {
        bodyRan = true;
        CallbackGate::Close();
        EXPECT_FALSE(PassGranted());
    });
    callback();
    EXPECT_TRUE(bodyRan);
    // Closed: a callback does nothing even though its object still lives.
    bodyRan = false;
    auto later = WeakCallback(std::weak_ptr<int>(owner), "test", [&](int&) { bodyRan = true; });
    later();
    EXPECT_FALSE(bodyRan);
    plugin.reset();
    later();
    EXPECT_TRUE(bodyRan);
}

}  // namespace
}  // namespace quorvex
