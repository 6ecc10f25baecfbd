// framedec.dll with NVIDIA's runtime DLL beside it on a machine without NVIDIA's driver (Wine
// here): framedec.dll loads cudart64_13.dll from its own folder on the first GPU call, and every GPU
// export then answers as that runtime does without a driver: no device; set-up, decode and
// tear-down fail cleanly; the last error is the runtime's own answer, and stays. Nothing hangs or
// crashes. Skipped, with the reason, without the runtime DLL or where a device is present.
#include <cuda_runtime_api.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "captured_output.h"
#include "codec/frame_geometry.h"
#include "framedec.h"
#include "process_support.h"

namespace framedec::testing {
namespace {

TEST(GpuWithRuntimeDll, AnswersAsNvidiasRuntimeDoesWithoutADriver) {
    const std::string runtimeDll = FRAMEDEC_CUDA_RUNTIME_DLL;
    if (runtimeDll.empty())
        GTEST_SKIP() << "cudart64_13.dll was not found when CMake ran (.ci/run fetches it into "
                        "build/cuda-runtime-windows)";
    namespace fs = std::filesystem;
    const fs::path folder = MakeTemporaryDirectory("framedec-runtime-dll");
    fs::copy_file(FRAMEDEC_SHARED_LIBRARY, folder / "framedec.dll");
    fs::copy_file(runtimeDll, folder / "cudart64_13.dll");
    ASSERT_EQ(GetModuleHandleW(L"cudart64_13.dll"), nullptr) << "NVIDIA's runtime is loaded already";

    SharedLibrary library((folder / "framedec.dll").string());
    ASSERT_TRUE(library.Loaded()) << library.Error();
    auto* getAvailable = library.Lookup<decltype(GetAvailableGPUProcess)>("GetAvailableGPUProcess");
    auto* setup = library.Lookup<decltype(SetupGPUDecode)>("SetupGPUDecode");
    auto* decode = library.Lookup<decltype(DecodeGPU)>("DecodeGPU");
    auto* teardown = library.Lookup<decltype(TeardownGPUDecode)>("TeardownGPUDecode");
    auto* isSetup = library.Lookup<decltype(IsSetupGPUDecode)>("IsSetupGPUDecode");
    auto* lastError = library.Lookup<decltype(GetGPULastError)>("GetGPULastError");
    ASSERT_TRUE(getAvailable && setup && decode && teardown && isSetup && lastError);

    if (getAvailable() == FRAMEDEC_OK) GTEST_SKIP() << "a CUDA device is present";
    // The runtime beside framedec.dll is the one it loaded.
    const HMODULE runtime = GetModuleHandleW(L"cudart64_13.dll");
    ASSERT_NE(runtime, nullptr) << "framedec.dll did not load cudart64_13.dll";
    std::wstring loadedFrom(MAX_PATH, L'\0');
    loadedFrom.resize(GetModuleFileNameW(runtime, loadedFrom.data(), MAX_PATH));
    EXPECT_TRUE(fs::equivalent(fs::path(loadedFrom), folder / "cudart64_13.dll"));
    // What the runtime itself says without a driver: 35 on Windows (Wine's loader gives 801).
    auto* deviceCount = reinterpret_cast<cudaError_t(CUDARTAPI*)(int*)>(
        reinterpret_cast<void*>(GetProcAddress(runtime, "cudaGetDeviceCount")));
    ASSERT_NE(deviceCount, nullptr);
    int count = -1;
    const int32_t noDriver = deviceCount(&count);
    EXPECT_NE(noDriver, 0);
    std::printf("NVIDIA's runtime without a driver: %d\n", noDriver);

    int32_t error = 0;
    for (int read = 0; read < 2; ++read) {  // stays set
        EXPECT_EQ(lastError(&error), FRAMEDEC_OK);
        EXPECT_EQ(error, noDriver);
    }
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
    EXPECT_EQ(lastError(&error), FRAMEDEC_OK);
    EXPECT_EQ(error, noDriver);
    EXPECT_TRUE(library.Unload());
}

}  // namespace
}  // namespace framedec::testing
