// Whole frames of the test photographs decoded by DecodeDataMultiThread with 2 and with 32 strips,
// against DecodeData on the calling thread alone.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench_support.h"
#include "codec/frame_geometry.h"
#include "codec/quant_table_q.h"
#include "framedec.h"
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

const bool kRegistered = [] {
    for (const BenchImage& b : BenchImages()) {
        for (const uint32_t threads : {2u, 32u}) {
            const std::string name = "DecodeDataMultiThread." + std::to_string(threads) + "/" + b.name;
            benchmark::RegisterBenchmark(name.c_str(), RunDecodeDataMultiThread, std::cref(b), threads)
                ->Unit(benchmark::kMicrosecond)
                ->UseRealTime();
        }
    }
    // Time ratios: the first is DecodeData's time over the 2-strip time, i.e. the throughput gain.
    AddRatio("DecodeData", "DecodeDataMultiThread.2", "throughput gain of 2 strips, target >= 1.8");
    AddRatio("DecodeDataMultiThread.32", "DecodeDataMultiThread.2", "32 strips vs 2, target <= 1.0");
    return true;
}();

}  // namespace
}  // namespace framedec::bench
