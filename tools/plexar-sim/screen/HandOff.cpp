#include "tools/plexar-sim/screen/HandOff.h"

#include <exception>
#include <utility>

namespace sim {

struct HandOff::CallState {
    enum class Phase { Waiting, Begun, Ended, GivenUp };
    explicit CallState(Work callWork) : work(std::move(callWork)) {}
    Work work;
    Phase phase = Phase::Waiting;
    // A step handed back and not yet taken by the requester; it lives on the server's stack.
    const std::function<void()>* step = nullptr;
    // Counts the steps the requester has run, so the server knows when its own has.
    unsigned stepsRun = 0;
};

bool HandOff::Steps::OnRequester(const std::function<void()>& step)
{
    std::unique_lock<std::mutex> lock(handOff_.mutex_);
    if (call_.phase != CallState::Phase::Begun) {
        return false;
    }
    const unsigned before = call_.stepsRun;
    call_.step = &step;
    handOff_.changed_.notify_all();
    // The requester takes a step handed back whenever it wakes, so it cannot give up on one.
    handOff_.changed_.wait(lock, [&] { return call_.stepsRun != before; });
    return true;
}

bool HandOff::Call(Work work, const std::function<void()>& ask, std::chrono::milliseconds patience)
{
    using Phase = CallState::Phase;
    const auto call = std::make_shared<CallState>(std::move(work));
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) {
            return false;
        }
        pending_ = call;
    }
    changed_.notify_all();
    ask();
    std::unique_lock<std::mutex> lock(mutex_);
    auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        changed_.wait_until(lock, deadline, [&] {
            return call->step != nullptr || call->phase == Phase::Ended || (call->phase == Phase::Waiting && closed_);
        });
        if (call->phase == Phase::Ended) {
            return true;
        }
        if (call->phase == Phase::Waiting) {
            if (pending_ == call) {
                pending_.reset();  // taken back: no server will see it
            }
            return false;
        }
        if (call->step == nullptr) {
            call->phase = Phase::GivenUp;
            lock.unlock();
            changed_.notify_all();
            return false;
        }
        const std::function<void()>& step = *call->step;
        call->step = nullptr;
        lock.unlock();
        std::exception_ptr failure;
        try {
            step();
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        ++call->stepsRun;
        if (failure) {
            call->phase = Phase::GivenUp;
        }
        changed_.notify_all();
        if (failure) {
            lock.unlock();
            std::rethrow_exception(failure);
        }
        deadline = std::chrono::steady_clock::now() + patience;
    }
}

bool HandOff::Serve()
{
    std::shared_ptr<CallState> call;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        call = std::move(pending_);
        pending_.reset();
        if (!call) {
            return false;
        }
        call->phase = CallState::Phase::Begun;
    }
    changed_.notify_all();
    // Marks the call ended however the work ends, so the requester stops waiting for it.
    struct EndCall {
        HandOff& handOff;
        CallState& call;
        ~EndCall()
        {
            {
                std::lock_guard<std::mutex> lock(handOff.mutex_);
                if (call.phase == CallState::Phase::Begun) {
                    call.phase = CallState::Phase::Ended;
                }
            }
            handOff.changed_.notify_all();
        }
    } const end{*this, *call};
    Steps steps(*this, *call);
    call->work(steps);
    return true;
}

bool HandOff::ServeNext(std::chrono::milliseconds patience)
{
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, patience, [this] { return pending_ != nullptr || closed_; });
    }
    return Serve();
}

void HandOff::Close()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        pending_.reset();
    }
    changed_.notify_all();
}

}  // namespace sim
