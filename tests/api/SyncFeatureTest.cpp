#include "api/SyncFeature.h"

#include <gtest/gtest.h>

#include "api/QvxApi.h"
#include "core/PersistentStorage.h"
#include "core/PluginEventDispatcher.h"
#include "core/ToastHandler.h"
#include "plugin/Version.h"
#include "tests/support/TestHost.h"

namespace quorvex {
namespace {

const SyncResponseTexts LoadoutTexts{
    "LoadoutSync : Code: {}, Response: {}",
    "500 on loadout sync!",
    "Failed to sync loadout ({})!\nError: {}",
    "Failed to sync loadout ({}), response:\n{}",
};

class SyncFeatureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        toasts = ToastHandler::Create(dispatcher, host->Game(), host->CvarManager(), store);
        feature.RegisterEnableCvar(*store, "qvx_loadoutsync_enable", "If loadout sync should be enbled");
        host->RunFor(sim::Seconds(0.1));
    }

    // Handles one answer; returns whether the success step ran.
    bool Handle(int status, const std::string& body)
    {
        bool succeeded = false;
        feature.HandleResponse(LoadoutTexts, status, body, [&] { succeeded = true; });
        return succeeded;
    }

    testing::TestHost host;
    std::shared_ptr<PersistentStorage> store = PersistentStorage::Create(host.plugin(), "QVX_InventorySync", true, true);
    std::shared_ptr<PluginEventDispatcher> dispatcher = std::make_shared<PluginEventDispatcher>();
    std::shared_ptr<ToastHandler> toasts;
    std::shared_ptr<UserCode> userCode = UserCode::Create(store, dispatcher);
    std::shared_ptr<QvxApi> api = std::make_shared<QvxApi>(host->Game(), userCode, QUORVEX_VERSION_HEADER_TEXT);
    SyncFeature feature{api, dispatcher};
};

TEST_F(SyncFeatureTest, GateTestsUserCodeThenCooldownThenSwitch)
{
    host->ExecuteConsole("qvx_loadoutsync_enable 0");
    feature.StartCooldown();
    EXPECT_EQ(feature.GetSyncStatus(), SyncStatus::NoUserCode);

    host->ExecuteConsole("hidden_qvx_user_code abc");
    EXPECT_EQ(feature.GetSyncStatus(), SyncStatus::CoolingDown);
    EXPECT_EQ(feature.NextSyncAllowedAt(), host->SteadyNow() + std::chrono::seconds(10));

    host->RunFor(sim::Seconds(9.9));
    EXPECT_EQ(feature.GetSyncStatus(), SyncStatus::CoolingDown);
    host->RunFor(sim::Seconds(0.1));
    EXPECT_EQ(feature.GetSyncStatus(), SyncStatus::Disabled);

    host->ExecuteConsole("qvx_loadoutsync_enable 1");
    EXPECT_EQ(feature.GetSyncStatus(), SyncStatus::Ready);
}

TEST_F(SyncFeatureTest, SuccessRunsTheFeaturesOwnStepAfterTheFirstLine)
{
    EXPECT_TRUE(Handle(200, "{}"));
    EXPECT_TRUE(host->ConsoleContains("LoadoutSync : Code: 200, Response: {}"));
    EXPECT_TRUE(host->Toasts().empty());
}

TEST_F(SyncFeatureTest, RefusalSwitchesTheFeatureOffUntilItsCvarIsWrittenAgain)
{
    host->ExecuteConsole("hidden_qvx_user_code abc");
    EXPECT_FALSE(Handle(401, R"({"message":"Key {} revoked"})"));

    ASSERT_EQ(host->Toasts().size(), 1u);
    EXPECT_EQ(host->Toasts()[0].text, "Key {} revoked");
    EXPECT_EQ(host->Toasts()[0].toastType, 3);
    EXPECT_FLOAT_EQ(host->Toasts()[0].seconds, 15.0f);
    EXPECT_TRUE(host->ConsoleContains("Key {} revoked. Disabling requests for this session."));
    EXPECT_EQ(feature.GetSyncStatus(), SyncStatus::Disabled);
    EXPECT_TRUE(host->CvarManager()->getCvar("qvx_loadoutsync_enable").getBoolValue()) << "the cvar keeps its value";

    host->ExecuteConsole("qvx_loadoutsync_enable 0");
    host->ExecuteConsole("qvx_loadoutsync_enable 1");
    EXPECT_EQ(feature.GetSyncStatus(), SyncStatus::Ready);
}

TEST_F(SyncFeatureTest, RefusalWithoutAMessageShowsTheDefaultText)
{
    Handle(401, "not json");
    const std::string text = "Plugin outdated or other issue found. Please create a support ticket on Quorvex.";
    ASSERT_EQ(host->Toasts().size(), 1u);
    EXPECT_EQ(host->Toasts()[0].text, text);
    EXPECT_TRUE(host->ConsoleContains(text + ". Disabling requests for this session."));
}

TEST_F(SyncFeatureTest, ServerErrorOnlyLogsAndOtherStatusesShowTheFailure)
{
    EXPECT_FALSE(Handle(500, "boom"));
    EXPECT_TRUE(host->ConsoleContains("500 on loadout sync!"));
    EXPECT_TRUE(host->Toasts().empty());

    EXPECT_FALSE(Handle(404, "{\"a\":\"{}\"}"));
    ASSERT_EQ(host->Toasts().size(), 1u);
    EXPECT_EQ(host->Toasts()[0].text, "Failed to sync loadout (404)!\nError: {\"a\":\"{}\"}");
    EXPECT_EQ(host->Toasts()[0].toastType, 3);
    EXPECT_FLOAT_EQ(host->Toasts()[0].seconds, 10.0f);
    EXPECT_TRUE(host->ConsoleContains("Failed to sync loadout (404), response:\n{\"a\":\"{}\"}"));
    EXPECT_TRUE(*feature.enabled);
}

}  // namespace
}  // namespace quorvex
