// The GPU exports of the shipped shared library where there is no driver: the cuda backend on a
// machine without a GPU or driver (on Windows: without NVIDIA's runtime DLL either), and the none
// backend everywhere. The library loads and unloads, reports no device, and fails set-up, decode
// and tear-down cleanly without crashing or hanging. NVIDIA's runtime answers every call here with
// 35 (insufficient driver) and keeps that error set even after it has been read; the Windows DLL
// without the runtime DLL, and the none backend, answer exactly the same.
// Skipped where a device is present.
#include <gtest/gtest.h>

#include <vector>

#include "captured_output.h"
#include "codec/frame_geometry.h"
#include "framedec.h"
#include "gpu_without_driver.h"

namespace framedec::testing {
namespace {

constexpr int32_t kInsufficientDriver = 35;

TEST(GpuWithoutDriver, TheLibraryFailsCleanly) {
    SharedLibrary library(FRAMEDEC_SHARED_LIBRARY);
    ASSERT_TRUE(library.Loaded()) << library.Error();
    const GpuExportsOf gpu(library);
    ASSERT_TRUE(gpu.Complete());
    if (gpu.getAvailable() == FRAMEDEC_OK) GTEST_SKIP() << "a CUDA device is present";
    ExpectAnswersWithoutADriver(gpu, kInsufficientDriver);
    EXPECT_TRUE(library.Unload());
}

}  // namespace

GpuExportsOf::GpuExportsOf(const SharedLibrary& library)
    : getAvailable(library.Lookup<decltype(GetAvailableGPUProcess)>("GetAvailableGPUProcess")),
      setup(library.Lookup<decltype(SetupGPUDecode)>("SetupGPUDecode")),
      decode(library.Lookup<decltype(DecodeGPU)>("DecodeGPU")),
      teardown(library.Lookup<decltype(TeardownGPUDecode)>("TeardownGPUDecode")),
      isSetup(library.Lookup<decltype(IsSetupGPUDecode)>("IsSetupGPUDecode")),
      lastError(library.Lookup<decltype(GetGPULastError)>("GetGPULastError")) {}

void ExpectAnswersWithoutADriver(const GpuExportsOf& gpu, int32_t noDriverError) {
    EXPECT_EQ(gpu.getAvailable(), FRAMEDEC_GPU_UNAVAILABLE);
    int32_t error = 0;
    for (int read = 0; read < 2; ++read) {  // stays set
        EXPECT_EQ(gpu.lastError(&error), FRAMEDEC_OK);
        EXPECT_EQ(error, noDriverError);
    }

    EXPECT_EQ(gpu.setup(FrameSize{1246, 1024}), FRAMEDEC_GPU_ALLOC_FAILED);
    bool setUp = true;
    EXPECT_EQ(gpu.isSetup(&setUp), FRAMEDEC_OK);
    EXPECT_FALSE(setUp);

    const std::vector<uint8_t> frame(FrameBytes(1024), 0);
    std::vector<uint8_t> image(std::size_t{1024} * 1246, 7);
    for (bool copyToHost : {true, false}) {
        uint8_t* output = image.data();
        int32_t result = -1;
        const auto captured = CaptureOutput([&] { result = gpu.decode(copyToHost, frame.data(), &output, 1246); });
        EXPECT_EQ(result, FRAMEDEC_GPU_DECODE_FAILED);
        EXPECT_EQ(captured.out, "cudaMemcpy failed!");
        EXPECT_EQ(captured.err, "");
        EXPECT_EQ(output, image.data());
    }
    EXPECT_EQ(image, std::vector<uint8_t>(image.size(), 7));
    EXPECT_EQ(gpu.teardown(), FRAMEDEC_GPU_FREE_FAILED);
    EXPECT_EQ(gpu.lastError(&error), FRAMEDEC_OK);
    EXPECT_EQ(error, noDriverError);
}

}  // namespace framedec::testing
