// The cuda backend on a machine without a GPU or driver, through the shipped shared library: it
// loads and unloads, reports no device, and fails set-up, decode and tear-down cleanly without
// crashing or hanging. NVIDIA's runtime answers every call here with 35 (insufficient driver) and
// keeps that error set even after it has been read. Skipped where a device is present.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <vector>

#include "captured_output.h"
#include "codec/frame_geometry.h"
#include "framedec.h"

namespace framedec::testing {
namespace {

constexpr int32_t kInsufficientDriver = 35;

template <class Function>
Function* Lookup(void* library, const char* name) {
    void* symbol = dlsym(library, name);
    EXPECT_NE(symbol, nullptr) << name;
    return reinterpret_cast<Function*>(symbol);
}

TEST(CudaBackend, WithoutADeviceTheLibraryFailsCleanly) {
    void* library = dlopen(FRAMEDEC_SHARED_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    auto* getAvailable = Lookup<decltype(GetAvailableGPUProcess)>(library, "GetAvailableGPUProcess");
    auto* setup = Lookup<decltype(SetupGPUDecode)>(library, "SetupGPUDecode");
    auto* decode = Lookup<decltype(DecodeGPU)>(library, "DecodeGPU");
    auto* teardown = Lookup<decltype(TeardownGPUDecode)>(library, "TeardownGPUDecode");
    auto* isSetup = Lookup<decltype(IsSetupGPUDecode)>(library, "IsSetupGPUDecode");
    auto* lastError = Lookup<decltype(GetGPULastError)>(library, "GetGPULastError");

    if (getAvailable() == FRAMEDEC_OK) {
        dlclose(library);
        GTEST_SKIP() << "a CUDA device is present";
    }
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
    EXPECT_EQ(dlclose(library), 0);
}

}  // namespace
}  // namespace framedec::testing
