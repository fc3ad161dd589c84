#pragma once
// The inside of one substitute host: its services, wired together. Internal to sim/: the SDK
// entry points in sim/sdk/ reach the services through the addresses their wrappers hold
// (GameWrapper -> State, CVarManagerWrapper -> Console, CVarWrapper -> Cvar, ...).
//
// Threads: each service guards itself (see its header). Members are declared in construction
// order; ~Host stops the HTTP thread and drops the loop's pending work before any of them goes,
// so callbacks finishing then still find every service alive.
#include <memory>

#include "host/PluginSdk.h"
#include "sim/Console.h"
#include "sim/GameLoop.h"
#include "sim/Hooks.h"
#include "sim/Host.h"
#include "sim/Http.h"
#include "sim/Journal.h"
#include "sim/Screen.h"
#include "sim/game/NameTable.h"
#include "sim/game/World.h"

namespace sim {

struct Host::State {
    explicit State(HostOptions hostOptions);

    void Log(const std::string& line) { console.Log(line); }
    // The game loop's hold check when options.busyOtherThread is set.
    std::string WhatHoldsTime() const;

    const HostOptions options;
    GameLoop loop;
    sim::Journal journal;  // qualified: inside Host, "Journal" names Host::Journal()
    Console console;
    Hooks hooks;
    Screen screen;
    game::NameTable names;
    game::World world;
    HttpService http;
    const std::shared_ptr<CVarManagerWrapper> cvarManager;
    const std::shared_ptr<GameWrapper> game;
};

// Hands the request to the current host's HTTP service. False, with nothing moved from, when no
// host is running or it is shutting down. Any thread.
bool SendToCurrentHost(CurlRequest&& request, HttpWrapper::ResponseCallback&& callback);

}  // namespace sim
