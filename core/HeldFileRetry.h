#pragma once
// Tries a file replacement again while another process holds its target open for a moment (on
// players' machines usually an antivirus scanner reading the file just written): up to Retries
// more attempts, SecondsApart from one another on a host timer, so that no thread waits; only
// then does the failure stand, saying how long it was tried.
//
//   FileWriteResult result = WriteFileAtomically(file, Latest());
//   if (retry_.After(result, *gameWrapper_, WeakCallback(weak_from_this(), "Owner::Retry",
//           [](Owner& self, GameWrapper*) { self.Retry(); })) == HeldFileRetry::Step::Waiting) {
//       return;  // the timer writes again
//   }
//   // result.failure, if any, is final: log it once
//
//   void Owner::Retry() { if (retry_.TimerFired()) { /* write the latest content, then After */ } }
//
// A round starts with an attempt that finds the target in use and ends with one that succeeds,
// fails otherwise, or finds it still in use after the last retry. An attempt the owner makes while
// a timer is set (a newer change) sets no second timer and uses up no retry.
//
// Threads: the owner serialises its calls (a mutex, or a single executor); the timer's task runs
// on the game thread, and calls TimerFired as the owner serialises it.
#include "core/AtomicFile.h"
#include "host/GameWrapper.h"

namespace quorvex {

class HeldFileRetry {
public:
    static constexpr int Retries = 10;
    static constexpr float SecondsApart = 0.1f;

    enum class Step {
        Done,     // the write succeeded or failed for good: result.failure is final
        Waiting,  // the target is in use: a timer will run the retry task
    };

    // After an attempt: while the target is in use and retries are left, makes sure a timer runs
    // `retry` on the game thread SecondsApart from now. When the last retry found it in use, the
    // failure says for how long it was tried.
    Step After(FileWriteResult& result, GameWrapper& game, GameWrapper::Task retry);

    // First thing in the retry task: the timer is gone. False when the round ended meanwhile (an
    // attempt of the owner's succeeded), and nothing is to be written.
    bool TimerFired();

private:
    int retriesLeft_ = Retries;
    bool roundOpen_ = false;
    bool timerSet_ = false;
};

}  // namespace quorvex
