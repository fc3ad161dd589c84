#pragma once
// Waiting in a test for what another thread (a server, a worker, the host's HTTP completions)
// makes happen: the test polls a condition until it holds, and fails instead of hanging when it
// never does. The patience is a guard against a hang, never a speed target.
#include <algorithm>
#include <chrono>
#include <thread>

namespace quorvex::testing {

// How long a test waits for something that should happen at once.
constexpr auto Patience = std::chrono::seconds(10);

// True as soon as condition() holds; false when it still does not after `patience`. Polls every
// millisecond at first, then less often, so a long wait does not take a core from the threads
// it waits for.
template <class Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds patience = Patience)
{
    const auto deadline = std::chrono::steady_clock::now() + patience;
    auto pause = std::chrono::milliseconds(1);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return condition();
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(16));
    }
    return true;
}

}  // namespace quorvex::testing
