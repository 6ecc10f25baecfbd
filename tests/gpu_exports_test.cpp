// The six GPU exports on the host backend, one group per export: result codes, the state table
// (not set up, set up, partly set up after 28, partly torn down after 29), the per-thread last
// error, the console messages, and the images. Failures are injected into the host backend.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "captured_output.h"
#include "codec/quant_table_q.h"
#include "framedec.h"
#include "gpu/gpu_state.h"
#include "gpu/runtime/host_fault_injection.h"
#include "gpu/runtime/runtime.h"
#include "gpu_test_support.h"
#include "test_support.h"

namespace framedec::testing {
namespace {

using gpu::host_testing::AllocationBytes;
using gpu::host_testing::FailNextCall;
using gpu::host_testing::LiveAllocations;
using gpu::host_testing::Operation;

constexpr FrameSize kFullFrame{1246, 1024};
constexpr int32_t kPitch = 1246;

int32_t LastError() {
    int32_t error = -1;
    EXPECT_EQ(GetGPULastError(&error), FRAMEDEC_OK);
    return error;
}

bool IsSetup() {
    bool setup = false;
    EXPECT_EQ(IsSetupGPUDecode(&setup), FRAMEDEC_OK);
    return setup;
}

int32_t DecodeToHost(const std::vector<uint8_t>& frame, std::vector<uint8_t>& image, int32_t pitch = kPitch) {
    uint8_t* output = image.data();
    return DecodeGPU(true, frame.data(), &output, pitch);
}

// Every test starts and ends with the process-wide GPU state torn down and no fault pending.
class GpuExports : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset() {
        gpu::host_testing::ResetFaults();
        ASSERT_EQ(TeardownGPUDecode(), FRAMEDEC_OK);
        LastError();
    }
};

// --- GetAvailableGPUProcess -------------------------------------------------------------------

// A device is available when the runtime counts one and can load both launched kernels for it: a
// device older than every architecture built is counted but has no kernel image (209).
TEST_F(GpuExports, GetAvailableGPUProcessReportsWhetherTheDeviceCanRunTheKernels) {
    EXPECT_EQ(GetAvailableGPUProcess(), FRAMEDEC_OK);

    gpu::host_testing::SetNoDevice(true);
    EXPECT_EQ(GetAvailableGPUProcess(), FRAMEDEC_GPU_UNAVAILABLE);
    EXPECT_EQ(LastError(), gpu::kErrorNoDevice);
    gpu::host_testing::SetNoDevice(false);

    const struct {
        Operation operation;
        gpu::Error error;
        unsigned skipCalls;
    } failures[] = {
        {Operation::DeviceCount, 3, 0},
        {Operation::KernelAttributes, gpu::kErrorNoKernelImage, 0},  // huffman
        {Operation::KernelAttributes, gpu::kErrorNoKernelImage, 1},  // inverseDCT_2DLLM
    };
    for (const auto& f : failures) {
        FailNextCall(f.operation, f.error, f.skipCalls);
        EXPECT_EQ(GetAvailableGPUProcess(), FRAMEDEC_GPU_UNAVAILABLE) << f.error;
        EXPECT_EQ(LastError(), f.error);
        EXPECT_EQ(GetAvailableGPUProcess(), FRAMEDEC_OK);
    }
    EXPECT_FALSE(IsSetup());
}

// The kernels are loaded once per process, under the GPU lock, by the first set-up or availability
// check; a set-up whose kernels do not load fails before it allocates anything, and the next one
// tries again.
TEST_F(GpuExports, KernelsLoadOnceAndASetupWithoutThemAllocatesNothing) {
    const std::size_t loads = gpu::host_testing::KernelLibraryLoads();
    gpu::GpuState checked;
    EXPECT_EQ(gpu::CheckGpuAvailable(checked), FRAMEDEC_OK);
    ASSERT_EQ(gpu::SetupGpuState(checked, FrameSize{64, 16}), FRAMEDEC_OK);
    EXPECT_EQ(gpu::CheckGpuAvailable(checked), FRAMEDEC_OK);
    EXPECT_EQ(gpu::host_testing::KernelLibraryLoads(), loads + 1);
    EXPECT_EQ(gpu::TeardownGpuState(checked), FRAMEDEC_OK);

    const struct {
        Operation operation;
        unsigned skipCalls;
    } failures[] = {{Operation::LoadLibrary, 0}, {Operation::GetKernel, 0}, {Operation::GetKernel, 1}};
    for (const auto& f : failures) {
        gpu::GpuState state;
        const std::size_t allocations = LiveAllocations();
        FailNextCall(f.operation, 3, f.skipCalls);
        EXPECT_EQ(gpu::SetupGpuState(state, kFullFrame), FRAMEDEC_GPU_ALLOC_FAILED);
        EXPECT_FALSE(state.isSetup);
        EXPECT_EQ(LiveAllocations(), allocations);
        EXPECT_EQ(gpu::runtime::LastError(), 3);
        FailNextCall(f.operation, 3, f.skipCalls);
        EXPECT_EQ(gpu::CheckGpuAvailable(state), FRAMEDEC_GPU_UNAVAILABLE);
        EXPECT_EQ(gpu::runtime::LastError(), 3);
        ASSERT_EQ(gpu::SetupGpuState(state, kFullFrame), FRAMEDEC_OK);
        EXPECT_EQ(gpu::TeardownGpuState(state), FRAMEDEC_OK);
    }
}

// --- SetupGPUDecode ---------------------------------------------------------------------------

// Set-up proves that its device can run both launched kernels before it allocates: a device the
// fatbin has no image for is refused there, not at the first decode.
TEST_F(GpuExports, SetupOnADeviceThatCannotRunAKernelAllocatesNothing) {
    for (unsigned kernel : {0u, 1u}) {  // huffman, inverseDCT_2DLLM
        const std::size_t allocations = LiveAllocations();
        FailNextCall(Operation::KernelAttributes, gpu::kErrorNoKernelImage, kernel);
        EXPECT_EQ(SetupGPUDecode(kFullFrame), FRAMEDEC_GPU_ALLOC_FAILED);
        EXPECT_FALSE(IsSetup());
        EXPECT_EQ(LiveAllocations(), allocations);
        EXPECT_EQ(LastError(), gpu::kErrorNoKernelImage);
    }
}

TEST_F(GpuExports, SetupSizesEveryBufferForTheWholeBlockGridAndZeroesIt) {
    struct Case {
        FrameSize size;
        std::size_t frameCopy, pixels;
    };
    const Case cases[] = {
        {{1246, 1024}, 327680, 1248 * 1024},
        {{1280, 8}, 2560, 1280 * 8},
        {{1245, 8}, 2560, 1248 * 8},
        {{1246, 1020}, 327680, 1248 * 1024},  // whole block rows, as the kernels use them
    };
    for (const Case& c : cases) {
        gpu::GpuState state;
        ASSERT_EQ(gpu::SetupGpuState(state, c.size), FRAMEDEC_OK);
        EXPECT_TRUE(state.isSetup);
        EXPECT_EQ(state.frameCopySize, static_cast<int64_t>(c.frameCopy));
        EXPECT_EQ(AllocationBytes(state.frameCopy), c.frameCopy);
        EXPECT_EQ(AllocationBytes(state.pixels), c.pixels);
        EXPECT_EQ(AllocationBytes(state.coefficients), c.frameCopy / 2560 * 160 * 64 * sizeof(float));
        std::vector<uint8_t> pixels(c.pixels, 1);
        ASSERT_EQ(gpu::runtime::Copy(pixels.data(), state.pixels, c.pixels, gpu::CopyKind::DeviceToHost), gpu::kSuccess);
        EXPECT_EQ(pixels, std::vector<uint8_t>(c.pixels, 0));
        EXPECT_EQ(gpu::TeardownGpuState(state), FRAMEDEC_OK);
    }
}

TEST_F(GpuExports, SetupWhileSetUpReplacesTheBuffers) {
    const std::size_t before = LiveAllocations();
    ASSERT_EQ(SetupGPUDecode(FrameSize{64, 16}), FRAMEDEC_OK);
    ASSERT_EQ(SetupGPUDecode(kFullFrame), FRAMEDEC_OK);
    EXPECT_TRUE(IsSetup());
    EXPECT_EQ(LiveAllocations(), before + 3);  // the first set-up's buffers were freed
    std::vector<uint8_t> image(std::size_t{1024} * kPitch);
    EXPECT_EQ(DecodeToHost(AstronautFrame(), image), FRAMEDEC_OK);
}

TEST_F(GpuExports, FailedAllocationLeavesAPartialSetup) {
    for (unsigned failing = 0; failing < 3; ++failing) {
        const std::size_t before = LiveAllocations();
        gpu::GpuState state;
        FailNextCall(Operation::Allocate, gpu::kErrorMemoryAllocation, failing);
        EXPECT_EQ(gpu::SetupGpuState(state, kFullFrame), FRAMEDEC_GPU_ALLOC_FAILED);
        EXPECT_FALSE(state.isSetup);
        const void* buffers[] = {state.frameCopy, state.pixels, state.coefficients};
        for (unsigned b = 0; b < 3; ++b) EXPECT_EQ(buffers[b] != nullptr, b < failing) << "buffer " << b;
        EXPECT_EQ(LiveAllocations(), before + failing);
        EXPECT_EQ(state.height, 1024);  // the new size is recorded
        // The zero-fill issued after the failed allocation failed last.
        EXPECT_EQ(gpu::runtime::LastError(), gpu::kErrorInvalidValue);
        EXPECT_EQ(gpu::runtime::LastError(), gpu::kSuccess);
        // A tear-down frees what the failed set-up allocated.
        EXPECT_EQ(gpu::TeardownGpuState(state), FRAMEDEC_OK);
        EXPECT_EQ(LiveAllocations(), before);
    }
    const std::size_t before = LiveAllocations();
    FailNextCall(Operation::Allocate, gpu::kErrorMemoryAllocation, 1);
    EXPECT_EQ(SetupGPUDecode(kFullFrame), FRAMEDEC_GPU_ALLOC_FAILED);
    EXPECT_FALSE(IsSetup());
    EXPECT_NE(LastError(), 0);
    EXPECT_EQ(LastError(), 0);
    EXPECT_EQ(SetupGPUDecode(kFullFrame), FRAMEDEC_OK);  // from partly set up: frees, then allocates afresh
    EXPECT_TRUE(IsSetup());
    EXPECT_EQ(LiveAllocations(), before + 3);
}

TEST_F(GpuExports, SizesBelowOneAllocateNothing) {
    ASSERT_EQ(SetupGPUDecode(kFullFrame), FRAMEDEC_OK);
    const std::size_t setUp = LiveAllocations();
    for (FrameSize size : {FrameSize{0, 1024}, FrameSize{1246, 0}, FrameSize{-8, 1024}, FrameSize{1246, INT_MIN}}) {
        EXPECT_EQ(SetupGPUDecode(size), FRAMEDEC_GPU_ALLOC_FAILED) << size.width << " x " << size.height;
        EXPECT_FALSE(IsSetup());
        EXPECT_EQ(LiveAllocations(), setUp - 3);  // the earlier set-up was torn down first
        EXPECT_EQ(LastError(), 0);
    }
}

// --- TeardownGPUDecode ------------------------------------------------------------------------

TEST_F(GpuExports, TeardownWithoutASetupSucceedsAgainAndAgain) {
    gpu::GpuState state;
    EXPECT_EQ(gpu::TeardownGpuState(state), FRAMEDEC_OK);
    EXPECT_EQ(gpu::TeardownGpuState(state), FRAMEDEC_OK);
    EXPECT_FALSE(state.isSetup);
    EXPECT_EQ(TeardownGPUDecode(), FRAMEDEC_OK);
    EXPECT_FALSE(IsSetup());
}

TEST_F(GpuExports, FailedFreeLeavesAPartialTeardown) {
    for (unsigned failing = 0; failing < 3; ++failing) {
        const std::size_t before = LiveAllocations();
        gpu::GpuState state;
        ASSERT_EQ(gpu::SetupGpuState(state, kFullFrame), FRAMEDEC_OK);
        FailNextCall(Operation::Free, gpu::kErrorInvalidValue, failing);
        EXPECT_EQ(gpu::TeardownGpuState(state), FRAMEDEC_GPU_FREE_FAILED);
        EXPECT_TRUE(state.isSetup);  // unchanged
        const void* buffers[] = {state.frameCopy, state.pixels, state.coefficients};
        for (unsigned b = 0; b < 3; ++b) EXPECT_EQ(buffers[b] == nullptr, b < failing) << "buffer " << b;
        EXPECT_EQ(gpu::runtime::LastError(), gpu::kErrorInvalidValue);
        EXPECT_EQ(gpu::TeardownGpuState(state), FRAMEDEC_OK);
        EXPECT_FALSE(state.isSetup);
        EXPECT_EQ(LiveAllocations(), before);
    }
    ASSERT_EQ(SetupGPUDecode(kFullFrame), FRAMEDEC_OK);
    FailNextCall(Operation::Free, gpu::kErrorInvalidValue, 2);
    EXPECT_EQ(TeardownGPUDecode(), FRAMEDEC_GPU_FREE_FAILED);
    EXPECT_TRUE(IsSetup());
    EXPECT_EQ(LastError(), gpu::kErrorInvalidValue);
}

// A set-up whose own tear-down fails part-way and whose allocation then fails leaves a partial
// set-up of the new size only: a decode must not run the kernels over the old, smaller buffer.
TEST_F(GpuExports, PartialSetupAfterAFailedTeardownKeepsNoBufferOfTheOldSize) {
    ASSERT_EQ(SetupGPUDecode(FrameSize{64, 16}), FRAMEDEC_OK);
    FailNextCall(Operation::Free, gpu::kErrorInvalidValue, 2);          // the old coefficient buffer stays
    FailNextCall(Operation::Allocate, gpu::kErrorMemoryAllocation, 1);  // the new pixel buffer fails
    EXPECT_EQ(SetupGPUDecode(kFullFrame), FRAMEDEC_GPU_ALLOC_FAILED);
    EXPECT_FALSE(IsSetup());
    LastError();
    std::vector<uint8_t> image(std::size_t{1024} * kPitch, 7);
    int32_t result = -1;
    const auto captured = CaptureOutput([&] { result = DecodeToHost(AstronautFrame(), image); });
    EXPECT_EQ(result, FRAMEDEC_GPU_DECODE_FAILED);
    EXPECT_NE(captured.err.find("huffman returned error code"), std::string::npos) << captured.err;
    EXPECT_EQ(image, std::vector<uint8_t>(image.size(), 7));
}

TEST_F(GpuExports, TeardownWithoutADeviceFailsAtTheFirstFree) {
    gpu::host_testing::SetNoDevice(true);
    EXPECT_EQ(TeardownGPUDecode(), FRAMEDEC_GPU_FREE_FAILED);
    EXPECT_EQ(LastError(), gpu::kErrorNoDevice);
}

// --- IsSetupGPUDecode and GetGPULastError -----------------------------------------------------

TEST_F(GpuExports, IsSetupFollowsCompleteSetupsAndTeardowns) {
    EXPECT_FALSE(IsSetup());
    ASSERT_EQ(SetupGPUDecode(kFullFrame), FRAMEDEC_OK);
    EXPECT_TRUE(IsSetup());
    ASSERT_EQ(TeardownGPUDecode(), FRAMEDEC_OK);
    EXPECT_FALSE(IsSetup());
}

TEST_F(GpuExports, LastErrorIsZeroAfterASuccessfulDecodeAndBelongsToOneThread) {
    ASSERT_EQ(SetupGPUDecode(kFullFrame), FRAMEDEC_OK);
    std::vector<uint8_t> image(std::size_t{1024} * kPitch);
    ASSERT_EQ(DecodeToHost(AstronautFrame(), image), FRAMEDEC_OK);
    EXPECT_EQ(LastError(), 0);

    // A failed copy on another thread is seen there, and only there.
    int32_t seenThere = -1;
    std::thread([&] {
        FailNextCall(Operation::Copy, 11);
        CaptureOutput([&] { DecodeToHost(AstronautFrame(), image); });
        seenThere = LastError();
    }).join();
    EXPECT_EQ(seenThere, 11);
    EXPECT_EQ(LastError(), 0);
}

// --- DecodeGPU --------------------------------------------------------------------------------

TEST_F(GpuExports, DecodeBeforeAnySetupFailsWithoutDeviceWork) {
    gpu::GpuState state;
    std::vector<uint8_t> image(16, 7);
    uint8_t* output = image.data();
    const auto captured = CaptureOutput([&] {
        EXPECT_EQ(gpu::DecodeGpuFrame(state, true, AstronautFrame().data(), &output, kPitch), FRAMEDEC_GPU_DECODE_FAILED);
    });
    EXPECT_EQ(captured.out + captured.err, "");
    EXPECT_EQ(image, std::vector<uint8_t>(16, 7));
    EXPECT_EQ(gpu::runtime::LastError(), gpu::kSuccess);
}

TEST_F(GpuExports, DecodeAfterATeardownFailsToCopyTheFrame) {
    ASSERT_EQ(SetupGPUDecode(kFullFrame), FRAMEDEC_OK);
    ASSERT_EQ(TeardownGPUDecode(), FRAMEDEC_OK);
    std::vector<uint8_t> image(std::size_t{1024} * kPitch);
    int32_t result = -1;
    const auto captured = CaptureOutput([&] { result = DecodeToHost(AstronautFrame(), image); });
    EXPECT_EQ(result, FRAMEDEC_GPU_DECODE_FAILED);
    EXPECT_EQ(captured.out, "cudaMemcpy failed!");
    EXPECT_EQ(captured.err, "");
    EXPECT_EQ(LastError(), gpu::kErrorInvalidValue);
}

TEST_F(GpuExports, DecodeRefusesAPitchBeyondThePixelBuffer) {
    ASSERT_EQ(SetupGPUDecode(kFullFrame), FRAMEDEC_OK);
    std::vector<uint8_t> image(std::size_t{1024} * 1249, 7);
    for (int32_t pitch : {0, -1, 1249, INT_MAX}) {
        const auto captured = CaptureOutput([&] {
            EXPECT_EQ(DecodeToHost(AstronautFrame(), image, pitch), FRAMEDEC_GPU_DECODE_FAILED) << pitch;
        });
        EXPECT_EQ(captured.out + captured.err, "");
    }
    EXPECT_EQ(image, std::vector<uint8_t>(image.size(), 7));
    EXPECT_EQ(LastError(), 0);
    EXPECT_EQ(DecodeToHost(AstronautFrame(), image, 1248), FRAMEDEC_OK);  // the padded width
}

TEST_F(GpuExports, DeviceAddressIsTheSameOnEveryDecodeUntilTheNextSetup) {
    gpu::GpuState state;
    ASSERT_EQ(gpu::SetupGpuState(state, kFullFrame), FRAMEDEC_OK);
    for (int i = 0; i < 3; ++i) {
        uint8_t* output = nullptr;
        ASSERT_EQ(gpu::DecodeGpuFrame(state, false, AstronautFrame().data(), &output, kPitch), FRAMEDEC_OK);
        EXPECT_EQ(output, state.pixels);
    }
    // The image behind it is the decoded frame.
    std::vector<uint8_t> onDevice(std::size_t{1024} * kPitch), copied(onDevice.size());
    ASSERT_EQ(gpu::runtime::Copy(onDevice.data(), state.pixels, onDevice.size(), gpu::CopyKind::DeviceToHost),
              gpu::kSuccess);
    uint8_t* output = copied.data();
    ASSERT_EQ(gpu::DecodeGpuFrame(state, true, AstronautFrame().data(), &output, kPitch), FRAMEDEC_OK);
    EXPECT_EQ(onDevice, copied);
    EXPECT_EQ(gpu::TeardownGpuState(state), FRAMEDEC_OK);
}

TEST_F(GpuExports, HostCopyWritesExactlyHeightTimesPitchBytes) {
    ASSERT_EQ(SetupGPUDecode(kFullFrame), FRAMEDEC_OK);
    const int32_t pitch = 1000;
    CanaryBuffer image(std::size_t{1024} * pitch + 4096);
    uint8_t* output = image.bytes.data();
    ASSERT_EQ(DecodeGPU(true, AstronautFrame().data(), &output, pitch), FRAMEDEC_OK);
    EXPECT_TRUE(image.OnlyRectangleChanged(pitch, 1024, pitch));
}

// With pitch 1248, columns 1246 and 1247 show the last real block column, and nothing of block
// columns 156 to 159 appears (their writes would land at the start of the next line).
TEST_F(GpuExports, PaddedPitchShowsTheLastBlockColumnWhole) {
    ASSERT_EQ(SetupGPUDecode(kFullFrame), FRAMEDEC_OK);
    std::vector<uint8_t> image(std::size_t{1024} * 1248);
    ASSERT_EQ(DecodeToHost(AstronautFrame(), image, 1248), FRAMEDEC_OK);
    const auto cpu = ReferencePixels(AstronautFrame(), 1024, kTableQ);
    int worst = 0;
    for (std::size_t i = 0; i < image.size(); ++i) worst = std::max(worst, std::abs(image[i] - cpu[i]));
    EXPECT_LE(worst, 2);
    EXPECT_EQ(image, RunFrameKernels(AstronautFrame(), 128, 1248));
}

TEST_F(GpuExports, AllZeroFrameDecodesToMidGrey) {
    ASSERT_EQ(SetupGPUDecode(kFullFrame), FRAMEDEC_OK);
    const std::vector<uint8_t> frame(FrameBytes(1024), 0);
    std::vector<uint8_t> image(std::size_t{1024} * kPitch);
    ASSERT_EQ(DecodeToHost(frame, image), FRAMEDEC_OK);
    EXPECT_EQ(image, std::vector<uint8_t>(image.size(), 128));
}

// The CPU floors after each of its two passes: a few pixels end two levels apart, and in the finest
// textures a handful three (docs/c-interface.md's figures: gravel 2.4 % by two, 8 pixels by three).
TEST_F(GpuExports, RealImagesAreWithinAFewGreyLevelsOfDecodeDataWithTableQ) {
    ASSERT_EQ(SetupGPUDecode(kFullFrame), FRAMEDEC_OK);
    for (const char* name : {"astronaut", "hubble", "rocket", "gravel"}) {
        tools::GreyImage picture;
        std::string error;
        ASSERT_TRUE(tools::ReadPgm(DataPath(std::string(name) + ".pgm"), picture, error)) << error;
        const std::vector<uint8_t> frame = tools::SynthesizeFrame(picture, {});
        std::vector<uint8_t> gpuImage(std::size_t{1024} * kPitch), cpuImage(gpuImage.size());
        ASSERT_EQ(DecodeToHost(frame, gpuImage), FRAMEDEC_OK);
        ASSERT_EQ(DecodeData(cpuImage.data(), 0, 0, 1246, 1024, kPitch, frame.data(), kTableQ), FRAMEDEC_OK);
        std::size_t withinOne = 0;
        int worst = 0;
        for (std::size_t i = 0; i < gpuImage.size(); ++i) {
            const int difference = std::abs(gpuImage[i] - cpuImage[i]);
            withinOne += difference <= 1;
            worst = std::max(worst, difference);
        }
        EXPECT_GE(static_cast<double>(withinOne) / static_cast<double>(gpuImage.size()), 0.97) << name;
        EXPECT_LE(worst, 3) << name;
    }
}

// A height that is not a multiple of 8: the last block row is only partly in the frame. Only the
// frame's own bytes are read (the frame buffer is exactly height x 320 bytes) and height lines of
// the image are written.
TEST_F(GpuExports, PartialLastBlockRowReadsOnlyTheFrame) {
    ASSERT_EQ(SetupGPUDecode(FrameSize{1246, 1020}), FRAMEDEC_OK);
    const std::vector<uint8_t> frame(AstronautFrame().begin(), AstronautFrame().begin() + FrameBytes(1020));
    CanaryBuffer image(std::size_t{1024} * kPitch);
    uint8_t* output = image.bytes.data();
    ASSERT_EQ(DecodeGPU(true, frame.data(), &output, kPitch), FRAMEDEC_OK);
    EXPECT_TRUE(image.OnlyRectangleChanged(kPitch, 1020, kPitch));
}

struct DecodeFailure {
    Operation operation;
    gpu::Error error;
    unsigned skipCalls;
    int32_t result;
    const char* out;
    const char* err;
    int32_t lastError;  // what GetGPULastError reports afterwards
};

TEST_F(GpuExports, EachFailingStepGivesItsResultAndAtMostOneMessage) {
    const DecodeFailure failures[] = {
        {Operation::Copy, 11, 0, FRAMEDEC_GPU_DECODE_FAILED, "cudaMemcpy failed!", "", 11},
        {Operation::Launch, 9, 0, FRAMEDEC_GPU_DECODE_FAILED, "", "huffman returned error code 9 after launching addKernel!\n", 0},
        {Operation::Launch, 9, 1, FRAMEDEC_GPU_DECODE_FAILED, "", "inverseDCT returned error code 9 after launching addKernel!\n", 0},
        // A zero-fill error nobody read is picked up by the check after huffman.
        {Operation::ZeroFill, 4, 0, FRAMEDEC_GPU_DECODE_FAILED, "", "huffman returned error code 4 after launching addKernel!\n", 0},
        {Operation::Synchronize, 999, 0, FRAMEDEC_GPU_SYNC_FAILED, "", "", 999},
        {Operation::Copy, 1, 1, FRAMEDEC_GPU_COPY_BACK_FAILED, "", "", 1},
    };
    ASSERT_EQ(SetupGPUDecode(kFullFrame), FRAMEDEC_OK);
    for (const DecodeFailure& f : failures) {
        CanaryBuffer image(std::size_t{1024} * kPitch);
        uint8_t* output = image.bytes.data();
        int32_t result = -1;
        FailNextCall(f.operation, f.error, f.skipCalls);
        const auto captured = CaptureOutput([&] { result = DecodeGPU(true, AstronautFrame().data(), &output, kPitch); });
        EXPECT_EQ(result, f.result) << f.out << f.err;
        EXPECT_EQ(captured.out, f.out);
        EXPECT_EQ(captured.err, f.err);
        EXPECT_EQ(LastError(), f.lastError) << f.out << f.err;
        EXPECT_EQ(LastError(), 0);
        EXPECT_TRUE(image.Untouched());
        EXPECT_TRUE(IsSetup());
    }
}

TEST_F(GpuExports, WithoutCopyToHostNothingWaits) {
    ASSERT_EQ(SetupGPUDecode(kFullFrame), FRAMEDEC_OK);
    FailNextCall(Operation::Synchronize, 700);
    uint8_t* output = nullptr;
    EXPECT_EQ(DecodeGPU(false, AstronautFrame().data(), &output, kPitch), FRAMEDEC_OK);
    EXPECT_NE(output, nullptr);
    EXPECT_EQ(gpu::runtime::Synchronize(), 700);  // the injected failure was still waiting
}

// After a set-up whose second or third allocation failed, the frame copy exists but the pixel or
// coefficient buffer does not. No kernel may run: on a GPU huffman would store through the null
// coefficient buffer and fault the device for the rest of the process. The decode fails as the
// failed zero-fill makes it fail at the huffman check, and the device stays usable.
TEST_F(GpuExports, DecodeAfterAPartialSetupRunsNoKernel) {
    for (unsigned failing : {1u, 2u}) {  // the pixel buffer, the coefficient buffer
        for (bool copyToHost : {true, false}) {
            FailNextCall(Operation::Allocate, gpu::kErrorMemoryAllocation, failing);
            ASSERT_EQ(SetupGPUDecode(kFullFrame), FRAMEDEC_GPU_ALLOC_FAILED);
            LastError();
            const std::size_t kernelRuns = gpu::host_testing::KernelRuns();
            CanaryBuffer image(std::size_t{1024} * kPitch);
            uint8_t* output = image.bytes.data();
            int32_t result = -1;
            const auto captured =
                CaptureOutput([&] { result = DecodeGPU(copyToHost, AstronautFrame().data(), &output, kPitch); });
            EXPECT_EQ(result, FRAMEDEC_GPU_DECODE_FAILED);
            EXPECT_EQ(captured.out, "");
            EXPECT_EQ(captured.err, "huffman returned error code 1 after launching addKernel!\n");
            EXPECT_EQ(gpu::host_testing::KernelRuns(), kernelRuns) << "buffer " << failing;
            EXPECT_EQ(output, image.bytes.data());
            EXPECT_TRUE(image.Untouched());
            EXPECT_EQ(LastError(), 0);
        }
    }
    ASSERT_EQ(SetupGPUDecode(kFullFrame), FRAMEDEC_OK);
    std::vector<uint8_t> image(std::size_t{1024} * kPitch);
    EXPECT_EQ(DecodeToHost(AstronautFrame(), image), FRAMEDEC_OK);
}

// A decode's result and messages come from its own steps: an error that an earlier failed call
// left unread does not fail it, yet GetGPULastError still reports that error until a newer one
// takes its place.
TEST_F(GpuExports, AnEarlierUnreadErrorDoesNotFailTheNextDecode) {
    ASSERT_EQ(SetupGPUDecode(kFullFrame), FRAMEDEC_OK);
    std::vector<uint8_t> image(std::size_t{1024} * kPitch);
    FailNextCall(Operation::Copy, 11);
    CaptureOutput([&] { EXPECT_EQ(DecodeToHost(AstronautFrame(), image), FRAMEDEC_GPU_DECODE_FAILED); });

    int32_t result = -1;
    auto captured = CaptureOutput([&] { result = DecodeToHost(AstronautFrame(), image); });
    EXPECT_EQ(result, FRAMEDEC_OK);
    EXPECT_EQ(captured.out + captured.err, "");
    EXPECT_EQ(LastError(), 11);
    EXPECT_EQ(LastError(), 0);

    FailNextCall(Operation::Copy, 11);
    FailNextCall(Operation::Launch, 9, 1);  // the next decode's own failure, at inverseDCT
    CaptureOutput([&] { DecodeToHost(AstronautFrame(), image); });
    captured = CaptureOutput([&] { result = DecodeToHost(AstronautFrame(), image); });
    EXPECT_EQ(result, FRAMEDEC_GPU_DECODE_FAILED);
    EXPECT_EQ(captured.err, "inverseDCT returned error code 9 after launching addKernel!\n");
    EXPECT_EQ(LastError(), 11);  // the launch error was read by the decode, the copy error not

    for (gpu::Error error : {11, 12}) {
        FailNextCall(Operation::Copy, error);
        CaptureOutput([&] { DecodeToHost(AstronautFrame(), image); });
    }
    EXPECT_EQ(LastError(), 12);  // the newer failure
    EXPECT_EQ(LastError(), 0);
}

// An execution fault (here: the wait after the kernels reports 700) disables the CUDA context for
// the rest of the process, as NVIDIA's runtime does: every export fails from then on, on every
// thread, and the last error stays 700 however often it is read.
TEST_F(GpuExports, AnExecutionFaultFailsEveryLaterCall) {
    ASSERT_EQ(SetupGPUDecode(kFullFrame), FRAMEDEC_OK);
    FailNextCall(Operation::Synchronize, gpu::kErrorIllegalAddress);
    std::vector<uint8_t> image(std::size_t{1024} * kPitch, 7);
    EXPECT_EQ(DecodeToHost(AstronautFrame(), image), FRAMEDEC_GPU_SYNC_FAILED);
    const std::size_t kernelRuns = gpu::host_testing::KernelRuns();

    EXPECT_EQ(LastError(), gpu::kErrorIllegalAddress);
    EXPECT_EQ(LastError(), gpu::kErrorIllegalAddress);
    EXPECT_EQ(GetAvailableGPUProcess(), FRAMEDEC_GPU_UNAVAILABLE);
    std::fill(image.begin(), image.end(), 7);
    for (bool copyToHost : {true, false}) {
        uint8_t* output = image.data();
        int32_t result = -1;
        const auto captured =
            CaptureOutput([&] { result = DecodeGPU(copyToHost, AstronautFrame().data(), &output, kPitch); });
        EXPECT_EQ(result, FRAMEDEC_GPU_DECODE_FAILED);
        EXPECT_EQ(captured.out, "cudaMemcpy failed!");
        EXPECT_EQ(captured.err, "");
        EXPECT_EQ(output, image.data());
    }
    EXPECT_EQ(image, std::vector<uint8_t>(image.size(), 7));
    EXPECT_TRUE(IsSetup());
    EXPECT_EQ(TeardownGPUDecode(), FRAMEDEC_GPU_FREE_FAILED);
    EXPECT_TRUE(IsSetup());
    EXPECT_EQ(SetupGPUDecode(kFullFrame), FRAMEDEC_GPU_ALLOC_FAILED);
    EXPECT_FALSE(IsSetup());
    int32_t seenElsewhere = -1;
    std::thread([&] { seenElsewhere = LastError(); }).join();
    EXPECT_EQ(seenElsewhere, gpu::kErrorIllegalAddress);
    EXPECT_EQ(LastError(), gpu::kErrorIllegalAddress);
    EXPECT_EQ(gpu::host_testing::KernelRuns(), kernelRuns);
}

// --- Null pointers ---------------------------------------------------------------------------

// Every GPU export that takes a pointer refuses a null one with 5 and touches nothing: no device
// work, no message, the state and the thread's unread error as they were. Each of these crashed.
TEST_F(GpuExports, NullPointersAreRefusedAndTouchNothing) {
    ASSERT_EQ(SetupGPUDecode(kFullFrame), FRAMEDEC_OK);
    std::vector<uint8_t> image(std::size_t{1024} * kPitch, 7);
    uint8_t* output = image.data();
    const uint8_t* frame = AstronautFrame().data();
    const struct {
        const char* name;
        std::function<int32_t()> call;
    } calls[] = {
        {"DecodeGPU to the host, no frame", [&] { return DecodeGPU(true, nullptr, &output, kPitch); }},
        {"DecodeGPU on the device, no frame", [&] { return DecodeGPU(false, nullptr, &output, kPitch); }},
        {"DecodeGPU to the host, no output", [&] { return DecodeGPU(true, frame, nullptr, kPitch); }},
        {"DecodeGPU on the device, no output", [&] { return DecodeGPU(false, frame, nullptr, kPitch); }},
        {"IsSetupGPUDecode", [] { return IsSetupGPUDecode(nullptr); }},
        {"GetGPULastError", [] { return GetGPULastError(nullptr); }},
    };
    for (const auto& c : calls) {
        FailNextCall(Operation::Copy, 11);  // leaves error 11 unread on this thread
        CaptureOutput([&] { DecodeToHost(AstronautFrame(), image); });
        std::fill(image.begin(), image.end(), 7);
        const std::size_t kernelRuns = gpu::host_testing::KernelRuns();
        int32_t result = -1;
        const auto captured = CaptureOutput([&] { result = c.call(); });
        EXPECT_EQ(result, FRAMEDEC_INVALID_ARGUMENT) << c.name;
        EXPECT_EQ(captured.out + captured.err, "") << c.name;
        EXPECT_EQ(gpu::host_testing::KernelRuns(), kernelRuns) << c.name;
        EXPECT_EQ(output, image.data()) << c.name;
        EXPECT_EQ(image, std::vector<uint8_t>(image.size(), 7)) << c.name;
        EXPECT_TRUE(IsSetup()) << c.name;
        EXPECT_EQ(LastError(), 11) << c.name;
    }
}

// --- Several threads --------------------------------------------------------------------------

TEST_F(GpuExports, TwoThreadsDecodeAtOnce) {
    ASSERT_EQ(SetupGPUDecode(kFullFrame), FRAMEDEC_OK);
    std::vector<uint8_t> expected(std::size_t{1024} * kPitch);
    ASSERT_EQ(DecodeToHost(AstronautFrame(), expected), FRAMEDEC_OK);
    const std::vector<uint8_t> zeros(FrameBytes(1024), 0);
    std::vector<uint8_t> grey(expected.size(), 128);

    auto decodeRepeatedly = [&](const std::vector<uint8_t>& frame, const std::vector<uint8_t>& want, bool& allGood) {
        std::vector<uint8_t> image(want.size());
        for (int i = 0; i < 3; ++i) allGood = allGood && DecodeToHost(frame, image) == FRAMEDEC_OK && image == want;
    };
    bool firstGood = true, secondGood = true;
    std::thread first(decodeRepeatedly, std::cref(AstronautFrame()), std::cref(expected), std::ref(firstGood));
    std::thread second(decodeRepeatedly, std::cref(zeros), std::cref(grey), std::ref(secondGood));
    first.join();
    second.join();
    EXPECT_TRUE(firstGood);
    EXPECT_TRUE(secondGood);
}

// A set-up replaces the buffers in one step under the GPU lock: a decode on another thread runs
// before or after it, never in between, and gives the whole image.
TEST_F(GpuExports, SetupRacingADecodeNeverCorruptsTheImage) {
    ASSERT_EQ(SetupGPUDecode(kFullFrame), FRAMEDEC_OK);
    std::vector<uint8_t> expected(std::size_t{1024} * kPitch);
    ASSERT_EQ(DecodeToHost(AstronautFrame(), expected), FRAMEDEC_OK);

    int wrong = 0, setupFailures = 0;
    const auto captured = CaptureOutput([&] {
        std::thread setups([&] {
            for (int i = 0; i < 4; ++i) setupFailures += SetupGPUDecode(kFullFrame) != FRAMEDEC_OK;
        });
        std::vector<uint8_t> image(expected.size());
        for (int i = 0; i < 6; ++i) wrong += DecodeToHost(AstronautFrame(), image) != FRAMEDEC_OK || image != expected;
        setups.join();
    });
    EXPECT_EQ(setupFailures, 0);
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(captured.out + captured.err, "");
}

// Set-ups racing on two threads lost buffers when the old set-up was torn down outside the GPU lock:
// another set-up that ran in between had its buffers dropped unfreed, and after some 500 calls the
// device's memory was gone. Every set-up succeeds, and one tear-down frees everything.
// Under the sanitizers a tenth of the set-ups, of 64-line frames: each instrumented allocation and
// zero-fill of a whole frame's 7 MB takes about a tenth of a second there.
TEST_F(GpuExports, RacingSetupsLoseNoDeviceMemory) {
    const int setupsPerThread = Iterations(3000);
    const FrameSize size = kSanitized ? FrameSize{1246, 64} : kFullFrame;
    const std::size_t inUse = gpu::host_testing::MemoryInUse();
    std::atomic<int> failures{0};
    auto setUpRepeatedly = [&] {
        for (int i = 0; i < setupsPerThread; ++i) failures += SetupGPUDecode(size) != FRAMEDEC_OK;
    };
    std::thread first(setUpRepeatedly), second(setUpRepeatedly);
    first.join();
    second.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(TeardownGPUDecode(), FRAMEDEC_OK);
    EXPECT_EQ(SetupGPUDecode(kFullFrame), FRAMEDEC_OK);
    EXPECT_EQ(TeardownGPUDecode(), FRAMEDEC_OK);
    EXPECT_EQ(gpu::host_testing::MemoryInUse(), inUse);
}

}  // namespace
}  // namespace framedec::testing
