// NVIDIA's runtime for the Windows DLL: cudart64_13.dll, loaded on the first GPU call (never from
// DllMain, which runs under the loader lock) from the folder of framedec.dll, else from the DLL
// search path. The library is never unloaded: kernels and device memory stay valid while the
// process runs. Without the DLL, or if it lacks an entry point, every call answers as NVIDIA's
// runtime does on a machine without a driver: 35, also as the last error, which stays set.
#include <windows.h>

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

constexpr CudaEntryPoints kWithoutRuntime{
    NoDeviceCount, NoGetDevice, NoSetDevice, NoLibraryLoadData, NoLibraryGetKernel, NoFuncGetAttributes, NoMalloc,
    NoMemset,      NoMemcpy,    NoLaunchKernel, NoError,        NoError,            NoFree,
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

HMODULE LoadRuntime() {
    if (const std::wstring folder = OwnFolder(); !folder.empty()) {
        // Its own dependencies are then looked up in its folder too.
        if (HMODULE beside = LoadLibraryExW((folder + kRuntimeDll).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH))
            return beside;
    }
    return LoadLibraryW(kRuntimeDll);
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
                          Resolve(runtime, "cudaFree", loaded.free);
    // An older or foreign DLL of that name: as if there were none (it stays loaded, unused).
    return complete ? loaded : kWithoutRuntime;
}

}  // namespace

const CudaEntryPoints& PlatformCudaRuntime() {
    static const CudaEntryPoints entryPoints = Load();
    return entryPoints;
}

}  // namespace framedec::gpu
