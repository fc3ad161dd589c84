#include "sim/Host.h"

#include <mutex>
#include <random>
#include <stdexcept>
#include <thread>
#include <utility>

#include <fmt/format.h>

#include "sim/HostState.h"

namespace sim {
namespace {

// The one running host, for HttpWrapper's static entry point. Guarded by registryMutex, which
// SendToCurrentHost holds while it hands a request over, so ~Host (which unregisters first)
// cannot take the services away from under it.
std::mutex registryMutex;
Host::State* currentHost = nullptr;

std::filesystem::path MakeFreshHostDir()
{
    std::random_device random;
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
        auto dir = base / fmt::format("plexar-sim-{:08x}", random());
        if (std::filesystem::create_directory(dir)) {
            return dir;
        }
    }
}

HostOptions Prepared(HostOptions options)
{
    if (options.hostDir.empty()) {
        options.hostDir = MakeFreshHostDir();
    }
    std::filesystem::create_directories(options.hostDir / "cfg");
    std::filesystem::create_directories(options.hostDir / "data");
    return options;
}

}  // namespace

Host::State::State(HostOptions hostOptions)
    : options(std::move(hostOptions)),
      loop(options.virtualTime, options.virtualStart, [this](const std::string& line) { Log(line); },
           options.busyOtherThread ? GameLoop::HoldCheck([this] { return WhatHoldsTime(); })
                                           : GameLoop::HoldCheck()),
      journal([this] { return loop.Now(); }), console(journal),
      hooks([this](const std::string& line) { Log(line); }),
      screen(journal, options.hostDir, [this](const std::string& line) { Log(line); }, [this] { return loop.Now(); }),
      world(options.uniqueId),
      http(journal, options.serviceUrl, [this](const std::string& line) { Log(line); }),
      cvarManager(std::make_shared<CVarManagerWrapper>(reinterpret_cast<std::uintptr_t>(&console))),
      game(std::make_shared<GameWrapper>(reinterpret_cast<std::uintptr_t>(this)))
{
}

std::string Host::State::WhatHoldsTime() const
{
    const auto activityBefore = loop.Activity() + http.Activity();
    std::string holder = http.RequestInFlight();
    if (!holder.empty()) {
        return holder;
    }
    holder = options.busyOtherThread();
    if (!holder.empty()) {
        return holder;
    }
    if (loop.Activity() + http.Activity() != activityBefore) {
        return "work was handed over meanwhile";
    }
    return {};
}

bool SendToCurrentHost(CurlRequest&& request, HttpWrapper::ResponseCallback&& callback)
{
    std::lock_guard<std::mutex> lock(registryMutex);
    return currentHost != nullptr && currentHost->http.Send(std::move(request), std::move(callback));
}

Host::Host(HostOptions options)
{
    std::lock_guard<std::mutex> lock(registryMutex);
    if (currentHost != nullptr) {
        throw std::logic_error("plexar-sim: a Host already exists in this process");
    }
    state_ = std::make_unique<State>(Prepared(std::move(options)));
    currentHost = state_.get();
}

Host::~Host()
{
    {
        std::lock_guard<std::mutex> lock(registryMutex);
        currentHost = nullptr;
    }
    state_->http.Stop();
    state_->loop.Shutdown();
}

std::shared_ptr<CVarManagerWrapper> Host::CvarManager() const
{
    return state_->cvarManager;
}

std::shared_ptr<GameWrapper> Host::Game() const
{
    return state_->game;
}

const HostOptions& Host::Options() const
{
    return state_->options;
}

game::World& Host::GetWorld()
{
    return state_->world;
}

Clock::time_point Host::Now() const
{
    return state_->loop.Now();
}

SteadyClock::time_point Host::SteadyNow() const
{
    return state_->loop.SteadyNow();
}

void Host::ShiftWallClock(Clock::duration shift)
{
    state_->loop.ShiftWallClock(shift);
}

void Host::RunFor(Seconds duration)
{
    state_->loop.RunFor(duration);
}

void Host::RunUntilIdle()
{
    state_->loop.RunUntilIdle();
}

void Host::Idle(Seconds duration)
{
    state_->loop.Idle(duration);
}

void Host::PostHostWork(std::function<void()> work)
{
    state_->loop.PostHostWork(std::move(work));
}

void Host::CallFunction(const std::string& functionName, std::uintptr_t caller, void* params)
{
    state_->hooks.Call(functionName, caller, params);
}

int Host::InternName(const std::string& name)
{
    return state_->names.Intern(name);
}

void Host::ExecuteConsole(const std::string& line)
{
    state_->console.Execute(line);
}

std::vector<std::string> Host::ConsoleNames() const
{
    return state_->console.Names();
}

std::string Host::NameAt(int index) const
{
    return state_->names.NameAt(index);
}

std::vector<std::string> Host::ConsoleLines() const
{
    return state_->journal.ConsoleLines();
}

bool Host::ConsoleContains(const std::string& text) const
{
    return state_->journal.ConsoleContains(text);
}

std::vector<ToastRecord> Host::Toasts() const
{
    return state_->screen.Toasts();
}

std::vector<ModalRecord> Host::Modals() const
{
    return state_->screen.Modals();
}

std::vector<std::pair<std::string, std::filesystem::path>> Host::Textures() const
{
    return state_->screen.Textures();
}

std::shared_ptr<const ToastTexture> Host::Texture(const std::string& name) const
{
    return state_->screen.Texture(name);
}

ScreenSnapshot Host::ScreenNow() const
{
    ScreenSnapshot snapshot;
    snapshot.virtualTime = state_->options.virtualTime;
    snapshot.now = state_->loop.Now();
    snapshot.requestsInFlight = state_->http.RequestsInFlight();
    state_->screen.Fill(snapshot);
    return snapshot;
}

bool Host::ClaimModal(std::size_t index)
{
    return state_->screen.ClaimModal(index);
}

void Host::SetResponder(Responder responder)
{
    state_->http.SetResponder(std::move(responder));
}

std::vector<HttpExchange> Host::HttpExchanges() const
{
    return state_->http.Exchanges();
}

void Host::WaitForHttpIdle()
{
    state_->http.WaitForIdle();
}

void Host::SetJournalSink(std::function<void(const JournalEntry&)> sink)
{
    state_->journal.SetSink(std::move(sink));
}

void Host::Record(JournalEntry::Kind kind, std::string text, std::shared_ptr<const nlohmann::json> fields)
{
    state_->journal.Add(kind, std::move(text), std::move(fields));
}

std::vector<JournalEntry> Host::Journal() const
{
    return state_->journal.Entries();
}

}  // namespace sim
