// One inventory sync of a generated inventory, against a snapshot of the same inventory with 1% of
// its items changed, measured on the substitute host: the time the game thread spends in Sync
// (the benchmark's reported time), the time until the request reaches the host's HTTP service,
// the time from the answer until the snapshot is written, the peak of extra memory, and the size
// of the request body. Each case runs with the plug-in's background worker and with its steps
// inline; the diff sync and the snapshot write also run the former document-tree path
// (bench/DomBaseline.h) as the baseline.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <stdexcept>
#include <vector>

#include <time.h>

#include <benchmark/benchmark.h>

#include "api/QvxApi.h"
#include "bench/AllocationCounter.h"
#include "bench/DomBaseline.h"
#include "core/Executor.h"
#include "core/PersistentStorage.h"
#include "core/PluginEventDispatcher.h"
#include "core/ToastHandler.h"
#include "inventory/InventorySync.h"
#include "plugin/Version.h"
#include "tests/support/TestHost.h"

namespace quorvex::bench {
namespace {

using SteadyClock = std::chrono::steady_clock;
using sim::game::Attribute;

double Milliseconds(SteadyClock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

// Processor time the calling thread has used: unlike elapsed time, not inflated when other
// processes on a shared machine preempt it.
double ThreadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Forwards to another executor and tells when every task posted so far has finished.
class TrackingExecutor final : public Executor {
public:
    explicit TrackingExecutor(std::unique_ptr<Executor> inner) : inner_(std::move(inner)) {}

    void Post(Task task) override
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++posted_;
        }
        inner_->Post([this, task = std::move(task)] {
            task();
            std::lock_guard<std::mutex> lock(mutex_);
            ++finished_;
            lastFinishedAt_ = SteadyClock::now();
            idle_.notify_all();
        });
    }

    // When the last task finished.
    SteadyClock::time_point WaitUntilIdle()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        idle_.wait(lock, [this] { return finished_ == posted_; });
        return lastFinishedAt_;
    }

private:
    std::unique_ptr<Executor> inner_;
    std::mutex mutex_;
    std::condition_variable idle_;
    std::size_t posted_ = 0;
    std::size_t finished_ = 0;
    SteadyClock::time_point lastFinishedAt_;
};

// A realistic mix: most items plain, some painted, certified, special or team edition,
// blueprints with their cost, titles.
sim::game::Product GeneratedProduct(std::mt19937_64& random, std::uint64_t instanceId, int titleName)
{
    sim::game::Product product;
    product.productId = static_cast<std::int32_t>(random() % 5000);
    product.seriesId = static_cast<std::int32_t>(random() % 300);
    product.tradeHold = random() % 10 == 0 ? 1767225600 + static_cast<std::int32_t>(random() % 604800) : 0;
    product.instanceId = instanceId;
    product.quality = static_cast<std::uint8_t>(random() % 10);
    product.longLabel = "Item " + std::to_string(product.productId);
    const auto kind = random() % 100;
    if (kind >= 60 && kind < 80) {
        product.attributes.push_back(Attribute::Painted(static_cast<std::int32_t>(random() % 14)));
    }
    if (kind >= 70 && kind < 85) {
        product.attributes.push_back(Attribute::Certified(static_cast<std::int32_t>(random() % 20),
                                                          static_cast<std::int32_t>(random() % 1000)));
    }
    if (kind >= 85 && kind < 89) {
        product.attributes.push_back(Attribute::SpecialEdition(static_cast<std::int32_t>(random() % 5)));
    }
    if (kind >= 89 && kind < 92) {
        product.attributes.push_back(Attribute::TeamEdition(static_cast<std::int32_t>(random() % 50)));
    }
    if (kind >= 92 && kind < 96) {
        product.attributes.push_back(Attribute::Blueprint(static_cast<std::int32_t>(random() % 5000)));
        product.attributes.push_back(Attribute::BlueprintCost(static_cast<std::int32_t>(random() % 3000)));
    }
    if (kind >= 96 && kind < 98) {
        product.attributes.push_back(Attribute::Title(titleName));
    }
    return product;
}

class SyncBench {
public:
    SyncBench(int itemCount, bool onWorker)
    {
        std::mt19937_64 random(42);
        const int titleName = host_->InternName("SKYVOLT LEGEND");
        for (int index = 0; index < itemCount; ++index) {
            host_->GetWorld().Items().AddOwnedProduct(
                GeneratedProduct(random, 0x1000000000000000ull + random() % 0x1000000000000ull, titleName));
        }
        host_->SetResponder([this](const CurlRequest& request) {
            requestAt_ = SteadyClock::now().time_since_epoch().count();
            bodyBytes_ = request.body.size();
            return sim::ScriptedResponse{200, R"({"guid":"G","full":false})"};
        });
        host_->ExecuteConsole("hidden_qvx_user_code bench");

        std::unique_ptr<Executor> inner;
        if (onWorker) {
            inner = std::make_unique<WorkerThreadExecutor>();
        } else {
            inner = std::make_unique<InlineExecutor>();
        }
        auto tracker = std::make_unique<TrackingExecutor>(std::move(inner));
        tracker_ = tracker.get();
        sync_ = InventorySync::Create(api_, store_, dispatcher_, host_->Game(), std::move(tracker));

        // The snapshot differs from the live inventory in 1% of its items.
        changedSnapshot_ = GetCurrentItems(*host_->Game());
        for (std::size_t index = 0; index < changedSnapshot_.size(); index += 100) {
            changedSnapshot_[index].InstanceID ^= 0x4000000000000000ull;
        }
    }

    struct Figures {
        double gameThreadMs;
        double requestSentMs;
        double snapshotWrittenMs;
        double peakMegabytes;
        double bodyKilobytes;
        double snapshotMegabytes;
        // Processor time of the calling thread from the call until the request was handed to the
        // host; with every step inline, all of the sync's work before the request.
        double handedCpuMs;
    };

    // What no executor can take off the game thread: reading the owned products.
    double ReadOwnedProductsMs()
    {
        const auto start = SteadyClock::now();
        benchmark::DoNotOptimize(GetCurrentItems(*host_->Game()));
        return Milliseconds(SteadyClock::now() - start);
    }

    // Writing the snapshot of the whole inventory, as after an accepted upload.
    struct WriteFigures {
        double elapsedMs;
        // The writing thread's processor time (the flush to disk waits without using any).
        double cpuMs;
    };

    WriteFigures WriteSnapshot(bool domBaseline)
    {
        const auto items = GetCurrentItems(*host_->Game());
        const double startCpu = ThreadCpuMs();
        const auto start = SteadyClock::now();
        const std::string failure = domBaseline
                                        ? baseline::WriteSnapshotDocument(sync_->Snapshot().File(), "G1", items)
                                        : sync_->Snapshot().Write("G1", items);
        const auto end = SteadyClock::now();
        const double cpu = ThreadCpuMs() - startCpu;
        if (!failure.empty()) {
            throw std::runtime_error(failure);
        }
        return {Milliseconds(end - start), cpu};
    }

    // One sync, after the cooldown of the one before has ended.
    Figures Measure(bool full)
    {
        const std::size_t before = Prepare();
        const double startCpu = ThreadCpuMs();
        const auto start = SteadyClock::now();
        benchmark::DoNotOptimize(sync_->Sync(full));
        const auto returned = SteadyClock::now();
        const double handedCpu = ThreadCpuMs() - startCpu;
        tracker_->WaitUntilIdle();
        host_->WaitForHttpIdle();
        const auto written = tracker_->WaitUntilIdle();
        return Result(before, start, returned, written, handedCpu);
    }

    // One diff sync the way it ran before the streaming reader and writer, every step inline: the
    // owned products and the headers, the snapshot parsed as a JSON tree, the diff, the body as a
    // JSON tree, the request; on the answer the snapshot written from one JSON tree per product.
    Figures MeasureDomBaseline()
    {
        const std::size_t before = Prepare();
        const double startCpu = ThreadCpuMs();
        const auto start = SteadyClock::now();
        auto items = GetCurrentItems(*host_->Game());
        CurlRequest request = api_->BuildRequest({}, {});
        const auto returned = SteadyClock::now();

        StoredInventory stored = baseline::ReadSnapshotDocument(sync_->Snapshot().File());
        InventoryDiff diff = baseline::DiffSortedLists(items, std::move(stored.items));
        diff.previousGuid = std::move(stored.guid);
        request.url = api_->smartSyncUrl + "?lastRequest=" + diff.previousGuid;
        request.body = baseline::DumpDiffBodyDocument(diff);
        auto accepted = std::make_shared<const std::vector<ProductData>>(std::move(items));
        std::mutex mutex;
        std::condition_variable done;
        std::optional<SteadyClock::time_point> written;
        HttpWrapper::SendCurlJsonRequest(std::move(request), [&, accepted](int, const std::string&) {
            baseline::WriteSnapshotDocument(sync_->Snapshot().File(), "G", *accepted);
            std::lock_guard<std::mutex> lock(mutex);
            written = SteadyClock::now();
            done.notify_all();
        });
        const double handedCpu = ThreadCpuMs() - startCpu;
        std::unique_lock<std::mutex> lock(mutex);
        done.wait(lock, [&] { return written.has_value(); });
        return Result(before, start, returned, *written, handedCpu);
    }

private:
    // Lets the cooldown of the sync before run out, then puts the changed snapshot in place.
    // Returns the bytes allocated before the sync starts.
    std::size_t Prepare()
    {
        host_->RunFor(sim::Seconds(10.5));
        tracker_->WaitUntilIdle();
        host_->WaitForHttpIdle();
        tracker_->WaitUntilIdle();
        sync_->Snapshot().Write("G0", changedSnapshot_);
        snapshotBytes_ = std::filesystem::file_size(sync_->Snapshot().File());
        ResetPeak();
        return AllocatedBytes();
    }

    Figures Result(std::size_t before, SteadyClock::time_point start, SteadyClock::time_point returned,
                   SteadyClock::time_point written, double handedCpuMs) const
    {
        const SteadyClock::time_point sent{SteadyClock::duration(requestAt_.load())};
        return {Milliseconds(returned - start),
                Milliseconds(sent - start),
                Milliseconds(written - sent),
                static_cast<double>(PeakAllocatedBytes() - before) / 1e6,
                static_cast<double>(bodyBytes_) / 1e3,
                static_cast<double>(snapshotBytes_) / 1e6,
                handedCpuMs};
    }

    testing::TestHost host_;
    std::shared_ptr<PersistentStorage> store_ = PersistentStorage::Create(host_.plugin(), "QVX_InventorySync", true, true);
    std::shared_ptr<PluginEventDispatcher> dispatcher_ = std::make_shared<PluginEventDispatcher>();
    std::shared_ptr<ToastHandler> toasts_ = ToastHandler::Create(dispatcher_, host_->Game(), host_->CvarManager(), store_);
    std::shared_ptr<UserCode> userCode_ = UserCode::Create(store_, dispatcher_);
    std::shared_ptr<QvxApi> api_ = std::make_shared<QvxApi>(host_->Game(), userCode_, QUORVEX_VERSION_HEADER_TEXT);
    std::atomic<SteadyClock::rep> requestAt_{0};
    std::atomic<std::size_t> bodyBytes_{0};
    TrackingExecutor* tracker_ = nullptr;  // owned by sync_
    std::shared_ptr<InventorySync> sync_;
    std::vector<ProductData> changedSnapshot_;
    std::uintmax_t snapshotBytes_ = 0;
};

// The middle value: other processes on a shared machine preempt single iterations at random, and
// the mean (the reported time) carries those outliers.
double Median(std::vector<double> values)
{
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

enum class Path { Worker, Inline, DomBaseline };

void InventorySyncCase(benchmark::State& state, bool full, Path path)
{
    SyncBench bench(static_cast<int>(state.range(0)), path == Path::Worker);
    std::vector<double> gameThread;
    std::vector<double> requestSent;
    std::vector<double> snapshotWritten;
    std::vector<double> handedCpu;
    double peak = 0;
    double bodyKilobytes = 0;
    double snapshotMegabytes = 0;
    for (auto _ : state) {
        const auto figures = path == Path::DomBaseline ? bench.MeasureDomBaseline() : bench.Measure(full);
        state.SetIterationTime(figures.gameThreadMs / 1e3);
        gameThread.push_back(figures.gameThreadMs);
        requestSent.push_back(figures.requestSentMs);
        snapshotWritten.push_back(figures.snapshotWrittenMs);
        handedCpu.push_back(figures.handedCpuMs);
        peak = std::max(peak, figures.peakMegabytes);
        bodyKilobytes = figures.bodyKilobytes;
        snapshotMegabytes = figures.snapshotMegabytes;
    }
    state.counters["game_ms_median"] = Median(gameThread);
    state.counters["request_sent_ms_median"] = Median(requestSent);
    state.counters["answer_to_snapshot_ms_median"] = Median(snapshotWritten);
    if (path != Path::Worker) {
        state.counters["handed_cpu_ms_median"] = Median(handedCpu);
    }
    state.counters["peak_extra_MB"] = peak;
    state.counters["snapshot_MB"] = snapshotMegabytes;
    state.counters["body_kB"] = bodyKilobytes;
}

// The plug-in's diff sync and the baseline's, every step inline, taking turns on one host and one
// snapshot, so that a change of the machine's load in the middle of a run falls on both alike:
// the processor time of each until the request is handed over, and the median of their ratios.
void DiffAgainstBaseline(benchmark::State& state)
{
    SyncBench bench(static_cast<int>(state.range(0)), false);
    std::vector<double> streaming;
    std::vector<double> baseline;
    std::vector<double> ratios;
    for (auto _ : state) {
        const double plugin = bench.Measure(false).handedCpuMs;
        const double former = bench.MeasureDomBaseline().handedCpuMs;
        state.SetIterationTime((plugin + former) / 1e3);
        streaming.push_back(plugin);
        baseline.push_back(former);
        ratios.push_back(plugin / former);
    }
    state.counters["streaming_cpu_ms_median"] = Median(streaming);
    state.counters["baseline_cpu_ms_median"] = Median(baseline);
    state.counters["ratio_median"] = Median(ratios);
}

void ReadOwnedProducts(benchmark::State& state)
{
    SyncBench bench(static_cast<int>(state.range(0)), false);
    for (auto _ : state) {
        state.SetIterationTime(bench.ReadOwnedProductsMs() / 1e3);
    }
}

void WriteSnapshot(benchmark::State& state, bool domBaseline)
{
    SyncBench bench(static_cast<int>(state.range(0)), false);
    std::vector<double> times;
    std::vector<double> cpuTimes;
    for (auto _ : state) {
        const auto figures = bench.WriteSnapshot(domBaseline);
        times.push_back(figures.elapsedMs);
        cpuTimes.push_back(figures.cpuMs);
        state.SetIterationTime(figures.elapsedMs / 1e3);
    }
    state.counters["median_ms"] = Median(times);
    state.counters["cpu_ms_median"] = Median(cpuTimes);
}

void ArgumentsFor(benchmark::internal::Benchmark* benchmark)
{
    benchmark->Arg(1000)->Arg(10000)->Arg(100000)->UseManualTime()->MinTime(0.2)->Unit(benchmark::kMillisecond);
}

BENCHMARK(ReadOwnedProducts)->Apply(ArgumentsFor);
BENCHMARK_CAPTURE(WriteSnapshot, Streaming, false)->Apply(ArgumentsFor);
BENCHMARK_CAPTURE(WriteSnapshot, DomBaseline, true)->Apply(ArgumentsFor);
BENCHMARK_CAPTURE(InventorySyncCase, Diff_Worker, false, Path::Worker)->Apply(ArgumentsFor);
BENCHMARK_CAPTURE(InventorySyncCase, Diff_Inline, false, Path::Inline)->Apply(ArgumentsFor);
BENCHMARK_CAPTURE(InventorySyncCase, Diff_DomBaseline, false, Path::DomBaseline)->Apply(ArgumentsFor);
// Enough turns for a median: at 100,000 items one turn of both takes half a second or more.
BENCHMARK(DiffAgainstBaseline)->Arg(1000)->Arg(10000)->UseManualTime()->MinTime(1.0)->Unit(benchmark::kMillisecond);
BENCHMARK(DiffAgainstBaseline)->Arg(100000)->UseManualTime()->Iterations(9)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(InventorySyncCase, Full_Worker, true, Path::Worker)->Apply(ArgumentsFor);
BENCHMARK_CAPTURE(InventorySyncCase, Full_Inline, true, Path::Inline)->Apply(ArgumentsFor);

}  // namespace
}  // namespace quorvex::bench

BENCHMARK_MAIN();
