#pragma once
// The substitute host: one simulated game with its game thread, console, cvars, hooks, timers,
// HTTP, toasts and modals, behind the SDK declared in host/. plexar-sim and the tests create one
// Host; the SDK wrappers handed to the plug-in point into it.
//
// Threads: the thread that calls RunFor / RunUntilIdle / Idle acts as the game thread; hooks,
// timers, Execute tasks and host work run there. HTTP callbacks run on the host's HTTP thread.
// Every query below may be called from any thread; one Host exists at a time in a process.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "host/PluginSdk.h"
#include "sim/game/World.h"

namespace sim {

using Clock = std::chrono::system_clock;
using SteadyClock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

struct HostOptions {
    // The host folder; "cfg" and "data" are below it. Created when missing.
    std::filesystem::path hostDir;
    // The player's unique id string (GameWrapper::GetUniqueID).
    std::string uniqueId = "Steam|76561198012345678|0";
    // Virtual time (tests, plexar-sim --virtual-time): the clock moves only inside RunFor, so a
    // 10 s cooldown costs nothing. Real time (plexar-sim by default): RunFor sleeps between due
    // timers.
    bool virtualTime = true;
    // Where virtual time starts: 2026-01-01T00:00:00Z unless set.
    Clock::time_point virtualStart{std::chrono::seconds{1767225600}};
    // Virtual time only: before the clock jumps, wait until no request is in flight and this
    // check finds no other thread of the process running or having run in the last moment (it
    // names the busy thread, or returns an empty text), so that what a plug-in's own threads do
    // belongs to the moment it began at. For a plug-in library with threads of its own
    // (plexar-sim --virtual-time samples them: tools/plexar-sim/ThreadActivity.h); tests that run
    // the plug-in's work inline leave it empty, and their clock jumps at once. Called on the game
    // thread.
    std::function<std::string()> busyOtherThread;
    // Requests to https://api.quorvex.com are sent to this base URL instead ("http://127.0.0.1:8080"),
    // the way a hosts file would redirect them. Empty: unchanged.
    std::string serviceUrl;
};

// One thing the host showed or did, in the order it happened.
struct JournalEntry {
    // WebSocket: an exchange of the linking page with the plug-in's server (plexar-sim ws-send).
    // Mark: a point a scenario named (plexar-sim mark); Result: how the scenario ended.
    enum class Kind { Console, Toast, Modal, Texture, HttpRequest, HttpResponse, WebSocket, Mark, Result };
    Clock::time_point at;
    Kind kind;
    std::string text;  // one human-readable line (may hold line breaks for bodies)
    // The entry's parts for tools, a JSON object (its members by kind are listed in
    // tools/plexar-sim/README.md); null for a console line, whose text is all there is.
    std::shared_ptr<const nlohmann::json> fields;
};

struct ToastRecord {
    std::string title;
    std::string text;
    std::string texture;
    float seconds;
    std::uint8_t toastType;
    float width;
    float height;
    // When the host showed it (host clock); set by the host.
    Clock::time_point shownAt{};
};

struct ToastTexture;

struct ModalRecord {
    struct Button {
        std::string text;
        bool isCancel;
        std::function<void()> onClick;
    };
    std::string title;
    std::string icon;
    std::string body;
    std::vector<Button> buttons;
};

// What the player's screen shows at one moment: the toasts still up, the oldest modal not yet
// answered, and what the status line tells. A copy, taken under the host's locks.
struct ScreenSnapshot {
    struct Toast {
        ToastRecord toast;
        double secondsLeft;
        // The picture loaded under the toast's texture name; null when none was loaded or it could
        // not be read.
        std::shared_ptr<const ToastTexture> texture;
    };
    struct OpenModal {
        // Which modal it is, in the order they were shown (Host::AnswerModal).
        std::size_t index;
        ModalRecord modal;
    };
    std::vector<Toast> toasts;  // oldest first
    std::optional<OpenModal> modal;
    bool virtualTime = false;
    Clock::time_point now;
    std::size_t requestsInFlight = 0;
};

struct HttpExchange {
    std::string url;  // as the plug-in sent it (before any service-url redirect)
    std::string verb;  // as the plug-in set it: empty means POST
    std::map<std::string, std::string> headers;
    std::string requestBody;
    int status = 0;  // 0 until answered, or when no answer came
    std::string responseBody;  // its first JournalBodyBytes (sim/Journal.h) at most
};

// An answer the in-process responder gives instead of the network.
struct ScriptedResponse {
    int status = 200;
    std::string body;
    // Real time the HTTP thread waits before calling back (lifetime tests).
    std::chrono::milliseconds delay{0};
};
using Responder = std::function<ScriptedResponse(const CurlRequest& request)>;

class Host {
public:
    explicit Host(HostOptions options);
    // Waits for requests in flight and calls their callbacks; drops timers and tasks not yet run.
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // The handles a host gives the plug-in before onLoad.
    std::shared_ptr<CVarManagerWrapper> CvarManager() const;
    std::shared_ptr<GameWrapper> Game() const;

    // The options in effect; an empty hostDir was replaced by a fresh folder under the system's
    // temporary folder.
    const HostOptions& Options() const;

    // --- The simulated game ---
    // Owned products, catalogue, loadouts, trade lobby and running game. Game thread only (the
    // thread that calls RunFor), between RunFor calls or from a task.
    game::World& GetWorld();

    // --- Time and the game thread ---
    // The wall clock (dates, the journal) and the steady clock timers fall due on.
    Clock::time_point Now() const;
    SteadyClock::time_point SteadyNow() const;
    // Sets the wall clock forward or back by `shift`, as a player or an NTP step would; timers
    // and the steady clock keep their course.
    void ShiftWallClock(Clock::duration shift);
    // Runs the game loop for this long: queued tasks, then each timer when it falls due.
    void RunFor(Seconds duration);
    // Runs queued tasks and timers already due, without letting time pass.
    void RunUntilIdle();
    // Lets `duration` of real time pass on the game thread: in real time as RunFor; in virtual
    // time the clock stands still while queued tasks, timers already due and host work run as
    // they come.
    void Idle(Seconds duration);
    // Queues the host's own work for the game thread (a window's frame): it runs as soon as the
    // loop runs or waits (RunFor, RunUntilIdle, Idle; also while something holds the virtual
    // clock), and it is no game work: it does not hold the virtual clock, never moves it and does
    // not count as work handed to the game thread. Dropped when the host goes. Any thread.
    void PostHostWork(std::function<void()> work);

    // --- Hooks ---
    // Plays one call of an engine function: HookEvent and HookEventWithCaller callbacks, then
    // HookEventPost callbacks, each group in registration order, on the calling thread.
    void CallFunction(const std::string& functionName, std::uintptr_t caller = 0,
                      void* params = nullptr);
    // Names for GameWrapper::GetFNameByIndex; returns the index of the name (existing or new).
    int InternName(const std::string& name);
    // The name at the index (GameWrapper::GetFNameByIndex); empty when it names nothing.
    std::string NameAt(int index) const;

    // --- Console ---
    void ExecuteConsole(const std::string& line);
    // The cvar and command names a console line may start with, sorted.
    std::vector<std::string> ConsoleNames() const;
    std::vector<std::string> ConsoleLines() const;
    bool ConsoleContains(const std::string& text) const;

    // --- What the player saw ---
    std::vector<ToastRecord> Toasts() const;
    std::vector<ModalRecord> Modals() const;
    // Each LoadToastTexture call: the name and the path as the plug-in gave it. A relative path
    // is read from the host folder; a file that is missing or no picture gets a console line
    // "plexar-sim: cannot load the toast texture NAME from PATH: REASON".
    std::vector<std::pair<std::string, std::filesystem::path>> Textures() const;
    // The picture last loaded under the name; null when none was or it could not be read.
    std::shared_ptr<const ToastTexture> Texture(const std::string& name) const;
    // The screen now. Any thread; never waits for the game thread.
    ScreenSnapshot ScreenNow() const;
    // Marks the modal shown as number `index` (ScreenSnapshot::OpenModal::index) answered, so the
    // next one becomes the open one; the caller then runs the pressed button's callback on the
    // game thread. False when that modal is not the open one (answered already). Any thread: the
    // scenario's `modal` and the window's buttons both answer through it, once each.
    bool ClaimModal(std::size_t index);

    // --- HTTP ---
    // When set, every request is answered by the responder and never reaches the network. The
    // responder runs on the HTTP thread and sees the request as the plug-in sent it (before any
    // service-url redirect).
    void SetResponder(Responder responder);
    std::vector<HttpExchange> HttpExchanges() const;
    // Blocks until every request sent so far has been answered and its callback has returned.
    void WaitForHttpIdle();

    // --- Output ---
    // Called for every journal entry as it happens, on the thread that caused it, one entry at a
    // time. The sink must not call into the Host.
    void SetJournalSink(std::function<void(const JournalEntry&)> sink);
    std::vector<JournalEntry> Journal() const;
    // Adds an entry for something a tool did on the host's behalf (a WebSocket exchange), stamped
    // with the host's clock. Any thread.
    void Record(JournalEntry::Kind kind, std::string text, std::shared_ptr<const nlohmann::json> fields);

    struct State;

private:
    std::unique_ptr<State> state_;
};

}  // namespace sim
