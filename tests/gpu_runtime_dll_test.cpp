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

#include "framedec.h"
#include "gpu_without_driver.h"

namespace framedec::testing {
namespace {

TEST(GpuWithRuntimeDll, AnswersAsNvidiasRuntimeDoesWithoutADriver) {
    const std::string runtimeDll = FRAMEDEC_CUDA_RUNTIME_DLL;
    if (runtimeDll.empty())
        GTEST_SKIP() << "cudart64_13.dll was not found when CMake ran (tests/run-all.sh fetches it into "
                        "build/cuda-runtime-windows)";
    namespace fs = std::filesystem;
    const fs::path folder = MakeTemporaryDirectory("framedec-runtime-dll");
    fs::copy_file(FRAMEDEC_SHARED_LIBRARY, folder / "framedec.dll");
    fs::copy_file(runtimeDll, folder / "cudart64_13.dll");
    ASSERT_EQ(GetModuleHandleW(L"cudart64_13.dll"), nullptr) << "NVIDIA's runtime is loaded already";

    SharedLibrary library((folder / "framedec.dll").string());
    ASSERT_TRUE(library.Loaded()) << library.Error();
    const GpuExportsOf gpu(library);
    ASSERT_TRUE(gpu.Complete());

    if (gpu.getAvailable() == FRAMEDEC_OK) GTEST_SKIP() << "a CUDA device is present";
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

    ExpectAnswersWithoutADriver(gpu, noDriver);
    EXPECT_TRUE(library.Unload());
}

}  // namespace
}  // namespace framedec::testing
