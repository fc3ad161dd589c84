#pragma once
// A call that one thread (the requester: plexar-sim's window) has another thread (the server: the
// game thread) make while it waits, because what the call reaches may only run there (a plug-in's
// settings page). The server may hand steps of the call back to the requester, which runs them
// while the server waits (the window's input and OpenGL drawing, which belong to the window's
// thread); so the two threads take turns and never run parts of one call at the same time.
//
// The requester's patience is bounded, so it never hangs on a server that does not come: a call
// the server has not begun within the patience is taken back and never runs (the game thread is
// busy, or serves no more); a begun call whose next step or end does not come within the patience
// is given up: the server finishes it alone, and the steps it hands back from then on are skipped.
// The server never waits for a requester that gave up.
//
//   window thread:  handOff.Call([](sim::HandOff::Steps& steps) { ...; steps.OnRequester(step); ... },
//                                [&] { host.PostHostWork([&] { handOff.Serve(); }); }, patience);
//   game thread:    handOff.Serve();   // from the host work the window posted
//
// Threads: Call on one requesting thread at a time; Serve and ServeNext on the serving thread; Close
// on any thread. The pending call and each call's turn are guarded by mutex_; changed_ tells both
// sides of every change. A step runs without the lock.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace sim {

class HandOff {
public:
    struct CallState;

    // What a call's work hands back to the requester.
    class Steps {
    public:
        // Runs `step` on the requesting thread and waits until it has run; false, without running
        // it, when the requester gave the call up.
        bool OnRequester(const std::function<void()>& step);

    private:
        friend class HandOff;
        Steps(HandOff& handOff, CallState& call) : handOff_(handOff), call_(call) {}
        HandOff& handOff_;
        CallState& call_;
    };
    using Work = std::function<void(Steps& steps)>;

    // Requester: has the server run `work`, after `ask` (called once, without the lock) has told it
    // to serve, and runs the steps it hands back. The work object is kept until the server is done
    // with it, even after the requester gave up: what it captures by reference it may reach only in
    // steps. True when the call ran to its end with the requester; false when it was taken back or
    // given up (see above), or the hand-off is closed. A step that throws gives the call up and its
    // exception leaves here.
    bool Call(Work work, const std::function<void()>& ask, std::chrono::milliseconds patience);

    // Server: runs the pending call, if there is one; true when one ran. What the work throws
    // leaves here, once the call is marked ended.
    bool Serve();
    // Server: waits up to `patience` for a call and runs it; true when one ran.
    bool ServeNext(std::chrono::milliseconds patience);

    // No call is served from now on: a pending one is taken back at once, later ones at once too.
    void Close();

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::shared_ptr<CallState> pending_;
    bool closed_ = false;
};

}  // namespace sim
