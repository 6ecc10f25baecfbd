// A fresh process that loads framedec.dll from the given path, makes its first GPU call and reports
// what that answered and which cudart64_13.dll (if any) is then loaded:
//   gpu_runtime_helper <path of framedec.dll>
#include <windows.h>

#include <cstdio>
#include <string>

#include "framedec.h"
#include "process_support.h"
#include "synth/file_path.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    framedec::testing::SharedLibrary library(argv[1]);
    const auto available = library.Lookup<decltype(GetAvailableGPUProcess)>("GetAvailableGPUProcess");
    if (available == nullptr) {
        std::printf("cannot load: %s\n", library.Error().c_str());
        return 2;
    }
    std::printf("available: %d\n", available());
    std::wstring runtime(MAX_PATH, L'\0');
    const HMODULE loaded = GetModuleHandleW(L"cudart64_13.dll");
    runtime.resize(loaded ? GetModuleFileNameW(loaded, runtime.data(), MAX_PATH) : 0);
    std::printf("runtime: %s\n", runtime.empty() ? "none" : framedec::tools::Utf8FromPath(runtime).c_str());
    return 0;
}
