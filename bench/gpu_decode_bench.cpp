// Whole frames through the GPU path: the two kernels alone (the frame already on the device), and
// DecodeGPU with its copies, beside DecodeData. With the host backend the kernels run on the CPU,
// one GPU thread after another: the numbers say how long the GPU tests take, not how fast a GPU is.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench_support.h"
#include "codec/frame_geometry.h"
#include "framedec.h"
#include "gpu/buffer_sizes.h"
#include "gpu/launch.h"
#include "gpu/runtime/runtime.h"
#include "ratio_report.h"

namespace framedec::bench {
namespace {

#if defined(FRAMEDEC_GPU_BACKEND_HOST)
const std::string kBackend = "host";
#else
const std::string kBackend = "cuda";
#endif

constexpr FrameSize kFrameSize{static_cast<int32_t>(kMaxImageWidth), static_cast<int32_t>(kMaxImageHeight)};

// huffman then inverseDCT_2DLLM over the whole block grid, after zeroing the coefficients.
void RunKernels(benchmark::State& state, const BenchImage& b) {
    namespace runtime = gpu::runtime;
    const gpu::BufferSizes sizes = gpu::BufferSizesFor(kFrameSize.width, kFrameSize.height);
    void* frameCopy = nullptr;
    void* coefficients = nullptr;
    void* pixels = nullptr;
    static gpu::FrameKernels kernels;  // loaded once, as the library loads them
    if (gpu::LoadFrameKernels(&kernels) != gpu::kSuccess ||
        runtime::Allocate(&frameCopy, sizes.frameCopyBytes) != gpu::kSuccess ||
        runtime::Allocate(&coefficients, sizes.coefficientBytes) != gpu::kSuccess ||
        runtime::Allocate(&pixels, sizes.pixelBytes) != gpu::kSuccess ||
        runtime::Copy(frameCopy, b.frame.data() + kRowLeadInBytes, b.frame.size() - kRowLeadInBytes,
                      gpu::CopyKind::HostToDevice) != gpu::kSuccess) {
        state.SkipWithError("no GPU device");
    } else {
        const int2 grid{static_cast<int>(kGridPositionsPerRow), static_cast<int>(sizes.rows)};
        const auto geometry = gpu::BlockGridLaunch(grid);
        const int pitch = kFrameSize.width;
        for (auto _ : state) {
            runtime::ZeroFill(coefficients, sizes.coefficientBytes);
            gpu::Launch(kernels.huffman, geometry, static_cast<unsigned char*>(frameCopy), static_cast<float*>(coefficients),
                        grid);
            gpu::Launch(kernels.inverseDct, geometry, static_cast<float*>(coefficients),
                        static_cast<unsigned char*>(pixels), grid, int2{pitch, kFrameSize.height}, pitch);
            if (runtime::Synchronize() != gpu::kSuccess) state.SkipWithError("kernels failed");
        }
    }
    runtime::Free(frameCopy);
    runtime::Free(coefficients);
    runtime::Free(pixels);
}

void RunDecodeGpu(benchmark::State& state, const BenchImage& b) {
    std::vector<uint8_t> out(std::size_t{kMaxImageWidth} * kMaxImageHeight);
    if (SetupGPUDecode(kFrameSize) != FRAMEDEC_OK) {
        state.SkipWithError("no GPU device");
    } else {
        for (auto _ : state) {
            uint8_t* output = out.data();
            if (DecodeGPU(true, b.frame.data(), &output, kFrameSize.width) != FRAMEDEC_OK)
                state.SkipWithError("DecodeGPU failed");
            benchmark::DoNotOptimize(out.data());
        }
    }
    TeardownGPUDecode();
}

const bool kRegistered = [] {
    for (const BenchImage& b : BenchImages()) {
        const auto add = [&](const std::string& label, ImageBenchmark run) { RegisterImageBenchmark(label, b, std::move(run)); };
        add("GpuKernels." + kBackend, RunKernels);
        add("DecodeGPU." + kBackend, RunDecodeGpu);
    }
    AddRatio("DecodeGPU." + kBackend, "DecodeData", kBackend == "host" ? "kernels run on the CPU" : "", RatioClock::Wall);
    return true;
}();

}  // namespace
}  // namespace framedec::bench
