// Whole frames of the test photographs decoded by DecodeDataMultiThread with 2 and with 32 strips,
// against DecodeData on the calling thread alone and against two plain threads that decode the
// same two strips (a second thread started once, woken for each frame and waited for without
// polling): the pool's own cost is the difference. On a machine whose two processors are two
// hardware threads of one core, a second thread gains only what one thread leaves of the core idle.
#include <benchmark/benchmark.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "codec/frame_geometry.h"
#include "codec/quant_table_q.h"
#include "framedec.h"
#include "parallel/strip_partition.h"
#include "ratio_report.h"

namespace framedec::bench {
namespace {

void RunDecodeDataMultiThread(benchmark::State& state, const BenchImage& b, uint32_t threads) {
    std::vector<uint8_t> out(std::size_t{kMaxImageWidth} * kMaxImageHeight);
    for (auto _ : state) {
        DecodeDataMultiThread(out.data(), 0, 0, kMaxImageWidth, kMaxImageHeight, kMaxImageWidth, b.frame.data(),
                              kTableQ, threads);
        benchmark::DoNotOptimize(out.data());
    }
}

// A second thread that decodes one strip whenever it is asked to, for as long as it lives.
class StripThread {
  public:
    explicit StripThread(std::function<void()> decode) : decode_(std::move(decode)), thread_([this] { Run(); }) {}
    ~StripThread() {
        asked_.store(-1);
        asked_.notify_one();
        thread_.join();
    }
    void Ask() {
        asked_.fetch_add(1);
        asked_.notify_one();
    }
    void WaitUntilDone() {
        const int target = asked_.load();
        for (int done = done_.load(); done != target; done = done_.load()) done_.wait(done);
    }

  private:
    void Run() {
        for (int seen = 0;;) {
            asked_.wait(seen);
            const int asked = asked_.load();
            if (asked < 0) return;
            for (; seen < asked; ++seen) decode_();
            done_.store(seen);
            done_.notify_one();
        }
    }
    std::function<void()> decode_;
    std::atomic<int> asked_{0}, done_{0};
    std::thread thread_;
};

// The partition DecodeDataMultiThread uses for 2 strips: the left one on the second thread, the
// right one on the calling thread.
void RunTwoPlainThreads(benchmark::State& state, const BenchImage& b) {
    std::vector<uint8_t> out(std::size_t{kMaxImageWidth} * kMaxImageHeight);
    const StripPartition partition = PartitionIntoStrips(kMaxImageWidth, 2);
    const auto decode = [&](const Strip& s) {
        DecodeData(out.data() + s.offset, s.offset, 0, s.width, kMaxImageHeight, kMaxImageWidth, b.frame.data(), kTableQ);
    };
    StripThread left([&] { decode(partition.strips[0]); });
    for (auto _ : state) {
        left.Ask();
        decode(partition.strips[1]);
        left.WaitUntilDone();
        benchmark::DoNotOptimize(out.data());
    }
}

// The 32 strips of DecodeDataMultiThread decoded one after another on the calling thread: what
// cutting the frame into narrow strips costs by itself.
void RunStripsInSequence(benchmark::State& state, const BenchImage& b, uint32_t threads) {
    std::vector<uint8_t> out(std::size_t{kMaxImageWidth} * kMaxImageHeight);
    const StripPartition partition = PartitionIntoStrips(kMaxImageWidth, threads);
    for (auto _ : state) {
        for (uint32_t i = 0; i < partition.count; ++i) {
            const Strip& s = partition.strips[i];
            DecodeData(out.data() + s.offset, s.offset, 0, s.width, kMaxImageHeight, kMaxImageWidth, b.frame.data(), kTableQ);
        }
        benchmark::DoNotOptimize(out.data());
    }
}

const bool kRegistered = [] {
    for (const BenchImage& b : BenchImages()) {
        for (const uint32_t threads : {2u, 32u}) {
            RegisterImageBenchmark("DecodeDataMultiThread." + std::to_string(threads), b,
                                   [threads](benchmark::State& s, const BenchImage& i) { RunDecodeDataMultiThread(s, i, threads); })
                ->MeasureProcessCPUTime();
        }
        RegisterImageBenchmark("TwoPlainThreads", b, RunTwoPlainThreads)->MeasureProcessCPUTime();
        RegisterImageBenchmark("StripsInSequence.32", b, [](benchmark::State& s, const BenchImage& i) { RunStripsInSequence(s, i, 32); });
    }
    // Time ratios: the first is DecodeData's time over the 2-strip time, i.e. the throughput gain.
    AddRatio("DecodeData", "DecodeDataMultiThread.2", "gain of 2 strips (the core's idle share)", RatioClock::Wall);
    AddRatio("DecodeDataMultiThread.2", "TwoPlainThreads", "pool's cost, target <= 1.10", RatioClock::Wall);
    AddRatio("DecodeDataMultiThread.32", "DecodeDataMultiThread.2", "32 strips vs 2, target <= 1.25", RatioClock::Wall);
    // The same by the processor time of the whole process (every thread's work and waits), which
    // the load of a shared machine moves far less than the wall-clock time.
    AddRatio("DecodeDataMultiThread.2", "TwoPlainThreads", "pool's cost, all threads' processor time");
    AddRatio("DecodeDataMultiThread.32", "DecodeDataMultiThread.2", "32 strips vs 2, all threads' processor time");
    AddRatio("StripsInSequence.32", "DecodeData", "32 strips decoded one after another on one thread");
    return true;
}();

}  // namespace
}  // namespace framedec::bench
