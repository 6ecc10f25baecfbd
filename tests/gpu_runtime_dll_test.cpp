// framedec.dll with NVIDIA's runtime DLL beside it on a machine without NVIDIA's driver (Wine
// here): framedec.dll loads cudart64_13.dll from its own folder on the first GPU call, and every GPU
// export then answers as that runtime does without a driver: no device; set-up, decode and
// tear-down fail cleanly; the last error is the runtime's own answer, and stays. Nothing hangs or
// crashes. Skipped, with the reason, without the runtime DLL or where a device is present. And a
// runtime DLL planted in the current directory or in a PATH folder is never loaded.
#include <cuda_runtime_api.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
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

// Runs gpu_runtime_helper on a copy of framedec.dll in folder "dll" with the working directory
// "cwd", a PATH that starts with folder "path" and CUDA_PATH set to folder "toolkit"; returns what
// it printed.
std::string RunWithPlantedRuntimes(const std::filesystem::path& root) {
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    _putenv_s("PATH", ((root / "path").string() + ";" + path).c_str());
    _putenv_s("CUDA_PATH", (root / "toolkit").string().c_str());
    const ProgramRun run = RunProgram({FRAMEDEC_GPU_RUNTIME_HELPER, (root / "dll" / "framedec.dll").string()},
                                      root / "cwd", root / "out", root / "err", std::chrono::seconds(60));
    _putenv_s("PATH", path.c_str());
    _putenv_s("CUDA_PATH", "");
    EXPECT_EQ(run.exitCode, 0) << run.startError;
    std::ifstream out(root / "out", std::ios::binary);
    std::string text;
    for (auto c = std::istreambuf_iterator<char>(out); c != std::istreambuf_iterator<char>(); ++c) {
        if (*c != '\r') text.push_back(*c);
    }
    return text;
}

// A DLL of the runtime's name in the current directory or in a PATH folder, which anyone may write
// to, is never loaded (its DllMain would leave a marker beside it). From CUDA_PATH's bin folder it
// is, and unloaded again for lacking the runtime's entry points; beside framedec.dll NVIDIA's
// runtime comes first.
TEST(GpuWithRuntimeDll, LoadsTheRuntimeOnlyFromTrustedFolders) {
    namespace fs = std::filesystem;
    const fs::path root = MakeTemporaryDirectory("framedec-planted-runtime");
    for (const char* folder : {"dll", "cwd", "path", "toolkit/bin"}) fs::create_directories(root / folder);
    fs::copy_file(FRAMEDEC_SHARED_LIBRARY, root / "dll" / "framedec.dll");
    for (const char* folder : {"cwd", "path"}) fs::copy_file(FRAMEDEC_FAKE_CUDA_RUNTIME, root / folder / "cudart64_13.dll");
    const auto loaded = [&root](const char* folder) { return fs::exists(root / folder / "cudart64_13.dll.loaded"); };

    EXPECT_EQ(RunWithPlantedRuntimes(root), "available: 26\nruntime: none\n");
    EXPECT_FALSE(loaded("cwd"));
    EXPECT_FALSE(loaded("path"));

    fs::copy_file(FRAMEDEC_FAKE_CUDA_RUNTIME, root / "toolkit" / "bin" / "cudart64_13.dll");
    EXPECT_EQ(RunWithPlantedRuntimes(root), "available: 26\nruntime: none\n");
    EXPECT_TRUE(loaded("toolkit/bin"));
    EXPECT_FALSE(loaded("cwd"));
    EXPECT_FALSE(loaded("path"));

    const std::string runtimeDll = FRAMEDEC_CUDA_RUNTIME_DLL;
    if (runtimeDll.empty()) GTEST_SKIP() << "cudart64_13.dll was not found when CMake ran";
    fs::remove(root / "toolkit" / "bin" / "cudart64_13.dll.loaded");
    fs::copy_file(runtimeDll, root / "dll" / "cudart64_13.dll");
    const std::string beside = RunWithPlantedRuntimes(root);
    EXPECT_NE(beside.find("runtime: " + (root / "dll" / "cudart64_13.dll").string() + "\n"), std::string::npos)
        << beside;
    for (const char* folder : {"cwd", "path", "toolkit/bin"}) EXPECT_FALSE(loaded(folder)) << folder;
    fs::remove_all(root);
}

}  // namespace
}  // namespace framedec::testing
