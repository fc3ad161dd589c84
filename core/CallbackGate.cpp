#include "core/CallbackGate.h"

#include <condition_variable>
#include <mutex>

namespace quorvex::CallbackGate {
namespace {

std::mutex mutex;
std::condition_variable bodyEnded;
int liveObjects = 0;   // guarded by mutex
bool closed = false;   // guarded by mutex
int bodiesUnderWay = 0;  // guarded by mutex
thread_local int bodiesOnThisThread = 0;

}  // namespace

Pass::Pass()
{
    std::lock_guard<std::mutex> lock(mutex);
    entered_ = !closed;
    if (entered_) {
        ++bodiesUnderWay;
        ++bodiesOnThisThread;
    }
}

Pass::~Pass()
{
    if (!entered_) {
        return;
    }
    --bodiesOnThisThread;
    {
        std::lock_guard<std::mutex> lock(mutex);
        --bodiesUnderWay;
    }
    bodyEnded.notify_all();
}

Holder::Holder()
{
    std::lock_guard<std::mutex> lock(mutex);
    ++liveObjects;
}

Holder::~Holder()
{
    std::lock_guard<std::mutex> lock(mutex);
    if (--liveObjects == 0) {
        closed = false;
    }
}

void Close()
{
    std::unique_lock<std::mutex> lock(mutex);
    if (liveObjects > 1) {
        return;
    }
    closed = true;
    bodyEnded.wait(lock, [] { return bodiesUnderWay == bodiesOnThisThread; });
}

}  // namespace quorvex::CallbackGate
