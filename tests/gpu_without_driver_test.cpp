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
#include "process_support.h"

namespace framedec::testing {
namespace {

constexpr int32_t kInsufficientDriver = 35;

TEST(GpuWithoutDriver, TheLibraryFailsCleanly) {
    SharedLibrary library(FRAMEDEC_SHARED_LIBRARY);
    ASSERT_TRUE(library.Loaded()) << library.Error();
    auto* getAvailable = library.Lookup<decltype(GetAvailableGPUProcess)>("GetAvailableGPUProcess");
    auto* setup = library.Lookup<decltype(SetupGPUDecode)>("SetupGPUDecode");
    auto* decode = library.Lookup<decltype(DecodeGPU)>("DecodeGPU");
    auto* teardown = library.Lookup<decltype(TeardownGPUDecode)>("TeardownGPUDecode");
    auto* isSetup = library.Lookup<decltype(IsSetupGPUDecode)>("IsSetupGPUDecode");
    auto* lastError = library.Lookup<decltype(GetGPULastError)>("GetGPULastError");
    ASSERT_TRUE(getAvailable && setup && decode && teardown && isSetup && lastError);

    if (getAvailable() == FRAMEDEC_OK) GTEST_SKIP() << "a CUDA device is present";
    EXPECT_EQ(getAvailable(), FRAMEDEC_GPU_UNAVAILABLE);
    int32_t error = 0;
    EXPECT_EQ(lastError(&error), FRAMEDEC_OK);
    EXPECT_EQ(error, kInsufficientDriver);
    EXPECT_EQ(lastError(&error), FRAMEDEC_OK);
    EXPECT_EQ(error, kInsufficientDriver);  // stays set

    EXPECT_EQ(setup(FrameSize{1246, 1024}), FRAMEDEC_GPU_ALLOC_FAILED);
    bool setUp = true;
    EXPECT_EQ(isSetup(&setUp), FRAMEDEC_OK);
    EXPECT_FALSE(setUp);

    const std::vector<uint8_t> frame(FrameBytes(1024), 0);
    std::vector<uint8_t> image(std::size_t{1024} * 1246, 7);
    for (bool copyToHost : {true, false}) {
        uint8_t* output = image.data();
        int32_t result = -1;
        const auto captured = CaptureOutput([&] { result = decode(copyToHost, frame.data(), &output, 1246); });
        EXPECT_EQ(result, FRAMEDEC_GPU_DECODE_FAILED);
        EXPECT_EQ(captured.out, "cudaMemcpy failed!");
        EXPECT_EQ(captured.err, "");
        EXPECT_EQ(output, image.data());
    }
    EXPECT_EQ(image, std::vector<uint8_t>(image.size(), 7));
    EXPECT_EQ(teardown(), FRAMEDEC_GPU_FREE_FAILED);
    EXPECT_TRUE(library.Unload());
}

}  // namespace
}  // namespace framedec::testing
