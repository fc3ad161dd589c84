#pragma once
// A fixture holding what every feature of the plug-in is built on, as onLoad creates it: a test
// host whose service is scripted, the settings store, the event dispatcher, the toasts and the
// service API client. A feature's fixture derives from it, adds the feature as its own member, and
// lets the settings load (0.1 s) once the feature has registered its cvars.
#include <memory>

#include <gtest/gtest.h>

#include "api/QvxApi.h"
#include "core/PersistentStorage.h"
#include "core/PluginEventDispatcher.h"
#include "core/ToastHandler.h"
#include "plugin/Version.h"
#include "tests/support/ScriptedService.h"
#include "tests/support/TestHost.h"

namespace quorvex::testing {

class FeatureTest : public ::testing::Test {
protected:
    TestHost host;
    ScriptedService service{host.host()};
    std::shared_ptr<PersistentStorage> store = PersistentStorage::Create(host.plugin(), "QVX_InventorySync", true, true);
    std::shared_ptr<PluginEventDispatcher> dispatcher = std::make_shared<PluginEventDispatcher>();
    std::shared_ptr<ToastHandler> toasts = ToastHandler::Create(dispatcher, host->Game(), host->CvarManager(), store);
    std::shared_ptr<UserCode> userCode = UserCode::Create(store, dispatcher);
    std::shared_ptr<QvxApi> api = std::make_shared<QvxApi>(host->Game(), userCode, QUORVEX_VERSION_HEADER_TEXT);
};

}  // namespace quorvex::testing
