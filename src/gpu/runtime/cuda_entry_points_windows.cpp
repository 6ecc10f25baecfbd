// NVIDIA's runtime for the Windows DLL: cudart64_13.dll, loaded on the first GPU call (never from
// DllMain, which runs under the loader lock) only from places the application controls: the folder
// of framedec.dll, the CUDA toolkit's bin folder named by CUDA_PATH, then the system's safe search
// (the application's folder, System32 and folders added with AddDllDirectory, such as Python's
// os.add_dll_directory). Never the current directory or PATH, where anyone may plant a DLL of that
// name: loading it would run its code. The library is never unloaded: kernels and device memory
// stay valid while the process runs. Without the DLL, or if it lacks an entry point (it is then
// unloaded again), every call answers as NVIDIA's runtime does on a machine without a driver: 35,
// also as the last error, which stays set.
#include <windows.h>

#include <filesystem>
#include <string>

#include "gpu/runtime/cuda_entry_points.h"

namespace framedec::gpu {
namespace {

constexpr wchar_t kRuntimeDll[] = L"cudart64_13.dll";

cudaError_t CUDARTAPI NoDeviceCount(int* count) {
    if (count != nullptr) *count = 0;
    return cudaErrorInsufficientDriver;
}
cudaError_t CUDARTAPI NoGetDevice(int* device) {
    if (device != nullptr) *device = 0;
    return cudaErrorInsufficientDriver;
}
cudaError_t CUDARTAPI NoSetDevice(int) { return cudaErrorInsufficientDriver; }
cudaError_t CUDARTAPI NoLibraryLoadData(cudaLibrary_t*, const void*, cudaJitOption*, void**, unsigned int,
                                        cudaLibraryOption*, void**, unsigned int) {
    return cudaErrorInsufficientDriver;
}
cudaError_t CUDARTAPI NoLibraryGetKernel(cudaKernel_t*, cudaLibrary_t, const char*) {
    return cudaErrorInsufficientDriver;
}
cudaError_t CUDARTAPI NoFuncGetAttributes(cudaFuncAttributes*, const void*) { return cudaErrorInsufficientDriver; }
cudaError_t CUDARTAPI NoMalloc(void** address, size_t) {
    if (address != nullptr) *address = nullptr;
    return cudaErrorInsufficientDriver;
}
cudaError_t CUDARTAPI NoMemset(void*, int, size_t) { return cudaErrorInsufficientDriver; }
cudaError_t CUDARTAPI NoMemcpy(void*, const void*, size_t, cudaMemcpyKind) { return cudaErrorInsufficientDriver; }
cudaError_t CUDARTAPI NoLaunchKernel(const void*, dim3, dim3, void**, size_t, cudaStream_t) {
    return cudaErrorInsufficientDriver;
}
cudaError_t CUDARTAPI NoError() { return cudaErrorInsufficientDriver; }
cudaError_t CUDARTAPI NoFree(void*) { return cudaErrorInsufficientDriver; }
cudaError_t CUDARTAPI NoDriverEntryPoint(const char*, void** function, unsigned int, unsigned long long,
                                         cudaDriverEntryPointQueryResult* status) {
    if (function != nullptr) *function = nullptr;
    if (status != nullptr) *status = cudaDriverEntryPointSymbolNotFound;
    return cudaErrorInsufficientDriver;
}

constexpr CudaEntryPoints kWithoutRuntime{
    NoDeviceCount, NoGetDevice, NoSetDevice,    NoLibraryLoadData, NoLibraryGetKernel, NoFuncGetAttributes, NoMalloc,
    NoMemset,      NoMemcpy,    NoLaunchKernel, NoError,           NoError,            NoFree,   NoDriverEntryPoint,
};

// The folder of the module that holds this code (framedec.dll), with a trailing separator.
std::wstring OwnFolder() {
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&OwnFolder), &self))
        return {};
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const auto separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::wstring{} : path.substr(0, separator + 1);
}

// The CUDA toolkit's bin folder, with a trailing separator, where CUDA_PATH names one by its full path.
std::wstring ToolkitBinFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetEnvironmentVariableW(L"CUDA_PATH", path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(length);  // the size it needs, terminator included
    }
    if (!std::filesystem::path(path).is_absolute()) return {};
    if (path.back() != L'\\' && path.back() != L'/') path += L'\\';
    return path + L"bin\\";
}

HMODULE LoadRuntime() {
    // By full path; its own dependencies are then looked up in its folder and in System32 only.
    constexpr DWORD kFromFolder = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;
    for (const std::wstring& folder : {OwnFolder(), ToolkitBinFolder()}) {
        if (folder.empty()) continue;
        if (HMODULE runtime = LoadLibraryExW((folder + kRuntimeDll).c_str(), nullptr, kFromFolder)) return runtime;
    }
    return LoadLibraryExW(kRuntimeDll, nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
}

template <class Function>
bool Resolve(HMODULE runtime, const char* name, Function*& entry) {
    entry = reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(runtime, name)));
    return entry != nullptr;
}

CudaEntryPoints Load() {
    const HMODULE runtime = LoadRuntime();
    if (runtime == nullptr) return kWithoutRuntime;
    CudaEntryPoints loaded{};
    const bool complete = Resolve(runtime, "cudaGetDeviceCount", loaded.getDeviceCount) &&
                          Resolve(runtime, "cudaGetDevice", loaded.getDevice) &&
                          Resolve(runtime, "cudaSetDevice", loaded.setDevice) &&
                          Resolve(runtime, "cudaLibraryLoadData", loaded.libraryLoadData) &&
                          Resolve(runtime, "cudaLibraryGetKernel", loaded.libraryGetKernel) &&
                          Resolve(runtime, "cudaFuncGetAttributes", loaded.funcGetAttributes) &&
                          Resolve(runtime, "cudaMalloc", loaded.malloc) && Resolve(runtime, "cudaMemset", loaded.memset) &&
                          Resolve(runtime, "cudaMemcpy", loaded.memcpy) &&
                          Resolve(runtime, "cudaLaunchKernel", loaded.launchKernel) &&
                          Resolve(runtime, "cudaGetLastError", loaded.getLastError) &&
                          Resolve(runtime, "cudaDeviceSynchronize", loaded.deviceSynchronize) &&
                          Resolve(runtime, "cudaFree", loaded.free) &&
                          Resolve(runtime, "cudaGetDriverEntryPointByVersion", loaded.getDriverEntryPointByVersion);
    if (complete) return loaded;
    // An older or foreign DLL of that name: as if there were none.
    FreeLibrary(runtime);
    return kWithoutRuntime;
}

}  // namespace

const CudaEntryPoints& PlatformCudaRuntime() {
    static const CudaEntryPoints entryPoints = Load();
    return entryPoints;
}

}  // namespace framedec::gpu
