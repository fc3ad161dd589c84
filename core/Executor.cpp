#include "core/Executor.h"

#include <condition_variable>
#include <deque>
#include <utility>

#include "core/Boundary.h"

#ifdef _WIN32
#include "core/WindowsApi.h"
#else
#include <dlfcn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace quorvex {

void InlineExecutor::Post(Task task)
{
    task();
}

void OwnerGate::Close()
{
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
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

// A worker left running after its executor is gone still runs this library's code: the host
// must not unload the library under it, so it stays loaded until the process ends. A failure
// leaves the library as it was.
void KeepThisLibraryLoaded()
{
#ifdef _WIN32
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&KeepThisLibraryLoaded), &module);
#else
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&KeepThisLibraryLoaded), &info) != 0 && info.dli_fname != nullptr) {
        // A reference never released: the library is not unloaded before the process ends.
        dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    }
#endif
}

}  // namespace

struct WorkerThreadExecutor::Queue {
    std::mutex mutex;  // guards the members below
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<Task> tasks;
    bool stopping = false;
    bool busy = false;
};

WorkerThreadExecutor::WorkerThreadExecutor()
    : queue_(std::make_shared<Queue>()), thread_([queue = queue_] { Run(queue); })
{
}

WorkerThreadExecutor::~WorkerThreadExecutor()
{
    std::deque<Task> dropped;
    bool finished = false;
    {
        std::unique_lock<std::mutex> lock(queue_->mutex);
        queue_->stopping = true;
        dropped.swap(queue_->tasks);
        queue_->wake.notify_one();
        finished = queue_->idle.wait_for(lock, StopGrace, [this] { return !queue_->busy; });
    }
    dropped.clear();  // their captures go outside the lock
    if (finished) {
        thread_.join();
    } else {
        KeepThisLibraryLoaded();
        thread_.detach();
    }
}

void WorkerThreadExecutor::Post(Task task)
{
    {
        std::lock_guard<std::mutex> lock(queue_->mutex);
        if (queue_->stopping) {
            return;
        }
        queue_->tasks.push_back(std::move(task));
    }
    queue_->wake.notify_one();
}

void WorkerThreadExecutor::Run(const std::shared_ptr<Queue>& queue)
{
    LowerPriority();
    while (true) {
        Task task;
        {
            std::unique_lock<std::mutex> lock(queue->mutex);
            queue->busy = false;
            queue->idle.notify_all();
            queue->wake.wait(lock, [&] { return queue->stopping || !queue->tasks.empty(); });
            if (queue->tasks.empty()) {
                return;
            }
            task = std::move(queue->tasks.front());
            queue->tasks.pop_front();
            queue->busy = true;
        }
        CatchAndLog("WorkerThreadExecutor::Run", task);
        task = nullptr;  // its captures go before the worker reports itself idle
    }
}

}  // namespace quorvex
