#include "core/Executor.h"

#include <utility>

#include "core/Boundary.h"

#ifdef _WIN32
#include "core/WindowsApi.h"
#else
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace quorvex {

void InlineExecutor::Post(Task task)
{
    task();
}

namespace {

// The worker's work is never urgent: when cores are scarce, the game thread (which wakes the
// worker by posting) must not be preempted by it. A failure leaves the normal priority.
void LowerPriority()
{
#ifdef _WIN32
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
#else
    // Linux keeps the nice value per thread.
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 10);
#endif
}

}  // namespace

WorkerThreadExecutor::WorkerThreadExecutor() : thread_([this] { Run(); })
{
}

WorkerThreadExecutor::~WorkerThreadExecutor()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void WorkerThreadExecutor::Post(Task task)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    wake_.notify_one();
}

void WorkerThreadExecutor::Run()
{
    LowerPriority();
    while (true) {
        Task task;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
            if (tasks_.empty()) {
                return;
            }
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        CatchAndLog("WorkerThreadExecutor::Run", task);
    }
}

}  // namespace quorvex
