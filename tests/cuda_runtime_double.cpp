#include "cuda_runtime_double.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string_view>
#include <utility>

#include "gpu/runtime/host_device.h"

namespace framedec::testing {
namespace {

namespace host = gpu::host;

constexpr uint32_t kFatbinMagic = 0xBA55ED50u;
// The oldest CUDA version whose driver calls the double hands out (cuCtx*_v2 came with 4.0).
constexpr unsigned int kOldestDriverApiVersion = 4000;

std::atomic<const unsigned char*> loadedFatbin{nullptr};

struct DeviceCallLog {
    std::mutex lock;
    std::vector<DeviceCall> calls;
};

DeviceCallLog& Log() {
    static DeviceCallLog log;
    return log;
}

// Logs the call on the device of the calling thread's current context and passes its result through.
cudaError_t OnDevice(const char* entryPoint, gpu::Error result) {
    int device = -1;
    host::CurrentDevice(&device);
    DeviceCallLog& log = Log();
    std::lock_guard hold(log.lock);
    log.calls.push_back({entryPoint, device});
    return static_cast<cudaError_t>(result);
}

cudaError_t Result(gpu::Error error) { return static_cast<cudaError_t>(error); }

// The fatbin's bytes: a 16-byte header whose last 8 bytes give the size of what follows.
std::string_view FatbinBytes(const void* code) {
    uint64_t size = 0;
    std::memcpy(&size, static_cast<const unsigned char*>(code) + 8, sizeof size);
    return {static_cast<const char*>(code), static_cast<std::size_t>(16 + size)};
}

const host::Kernel& HostKernel(const void* function) { return *static_cast<const host::Kernel*>(function); }

cudaError_t CUDARTAPI GetDeviceCount(int* count) { return Result(host::DeviceCount(count)); }
cudaError_t CUDARTAPI GetDevice(int* device) { return Result(host::CurrentDevice(device)); }
cudaError_t CUDARTAPI SetDevice(int device) { return Result(host::SetDevice(device)); }

// The driver's context calls, over the host device's context stacks.
CUresult CUDAAPI CtxGetCurrent(CUcontext* context) {
    host::Context* current = nullptr;
    const gpu::Error error = host::CurrentContext(&current);
    *context = reinterpret_cast<CUcontext>(current);
    return static_cast<CUresult>(error);
}

CUresult CUDAAPI CtxPushCurrent(CUcontext context) {
    return static_cast<CUresult>(host::PushContext(reinterpret_cast<host::Context*>(context)));
}

CUresult CUDAAPI CtxPopCurrent(CUcontext* context) {
    host::Context* popped = nullptr;
    const gpu::Error error = host::PopContext(&popped);
    if (context != nullptr) *context = reinterpret_cast<CUcontext>(popped);
    return static_cast<CUresult>(error);
}

// As the runtime: success with a null function and "not found" for a symbol it does not know,
// invalid value for a version older than the call.
cudaError_t CUDARTAPI GetDriverEntryPointByVersion(const char* symbol, void** function, unsigned int cudaVersion,
                                                   unsigned long long flags, cudaDriverEntryPointQueryResult* status) {
    if (symbol == nullptr || function == nullptr || flags != cudaEnableDefault) return cudaErrorInvalidValue;
    const struct {
        const char* name;
        void* function;
    } calls[] = {
        {"cuCtxGetCurrent", reinterpret_cast<void*>(CtxGetCurrent)},
        {"cuCtxPushCurrent", reinterpret_cast<void*>(CtxPushCurrent)},
        {"cuCtxPopCurrent", reinterpret_cast<void*>(CtxPopCurrent)},
    };
    *function = nullptr;
    cudaDriverEntryPointQueryResult found = cudaDriverEntryPointSymbolNotFound;
    for (const auto& call : calls) {
        if (std::string_view(symbol) != call.name) continue;
        found = cudaVersion >= kOldestDriverApiVersion ? cudaDriverEntryPointSuccess
                                                       : cudaDriverEntryPointVersionNotSufficent;
        if (found == cudaDriverEntryPointSuccess) *function = call.function;
    }
    if (status != nullptr) *status = found;
    return cudaSuccess;
}

cudaError_t CUDARTAPI LibraryLoadData(cudaLibrary_t* library, const void* code, cudaJitOption*, void**,
                                      unsigned int jitOptionCount, cudaLibraryOption*, void**,
                                      unsigned int libraryOptionCount) {
    uint32_t magic = 0;
    if (code != nullptr) std::memcpy(&magic, code, sizeof magic);
    if (library == nullptr || magic != kFatbinMagic || jitOptionCount != 0 || libraryOptionCount != 0)
        return cudaErrorInvalidValue;
    const host::KernelLibrary* kernels = nullptr;
    const gpu::Error error = host::LoadKernelLibrary(&kernels);
    if (error != gpu::kSuccess) return Result(error);
    loadedFatbin = static_cast<const unsigned char*>(code);
    *library = reinterpret_cast<cudaLibrary_t>(const_cast<host::KernelLibrary*>(kernels));
    return cudaSuccess;
}

cudaError_t CUDARTAPI LibraryGetKernel(cudaKernel_t* kernel, cudaLibrary_t library, const char* name) {
    const host::Kernel* found = nullptr;
    const gpu::Error error = host::GetKernel(&found, reinterpret_cast<const host::KernelLibrary*>(library), name);
    if (error != gpu::kSuccess) return Result(error);
    // As the runtime: a kernel whose name is not in the device code is not found.
    const std::string_view terminatedName(name, std::strlen(name) + 1);
    if (loadedFatbin == nullptr || FatbinBytes(loadedFatbin).find(terminatedName) == std::string_view::npos)
        return cudaErrorSymbolNotFound;
    *kernel = reinterpret_cast<cudaKernel_t>(const_cast<host::Kernel*>(found));
    return cudaSuccess;
}

cudaError_t CUDARTAPI FuncGetAttributes(cudaFuncAttributes* attributes, const void* function) {
    if (attributes == nullptr || function == nullptr) return cudaErrorInvalidDeviceFunction;
    const gpu::Error error = host::KernelAttributes(HostKernel(function));
    if (error == gpu::kSuccess) attributes->maxThreadsPerBlock = 1024;
    return OnDevice("cudaFuncGetAttributes", error);
}

cudaError_t CUDARTAPI Malloc(void** address, size_t bytes) {
    return OnDevice("cudaMalloc", host::Allocate(address, bytes));
}

// The library only ever zero-fills.
cudaError_t CUDARTAPI Memset(void* address, int value, size_t bytes) {
    return value == 0 ? OnDevice("cudaMemset", host::ZeroFill(address, bytes)) : cudaErrorInvalidValue;
}

cudaError_t CUDARTAPI Memcpy(void* destination, const void* source, size_t bytes, cudaMemcpyKind kind) {
    if (kind != cudaMemcpyHostToDevice && kind != cudaMemcpyDeviceToHost) return cudaErrorInvalidValue;
    return OnDevice("cudaMemcpy", host::Copy(destination, source, bytes, static_cast<gpu::CopyKind>(kind)));
}

// Launches on the default stream with no dynamic shared memory are the only ones the library makes.
cudaError_t CUDARTAPI LaunchKernel(const void* function, dim3 grid, dim3 block, void** arguments,
                                   size_t sharedMemory, cudaStream_t stream) {
    if (function == nullptr) return cudaErrorInvalidDeviceFunction;
    if (sharedMemory != 0 || stream != nullptr) return cudaErrorInvalidValue;
    return OnDevice("cudaLaunchKernel", host::LaunchKernel(HostKernel(function), gpu::Dim3{grid.x, grid.y, grid.z},
                                                           gpu::Dim3{block.x, block.y, block.z}, arguments));
}

cudaError_t CUDARTAPI GetLastError() { return Result(host::LastError()); }
cudaError_t CUDARTAPI DeviceSynchronize() { return OnDevice("cudaDeviceSynchronize", host::Synchronize()); }
cudaError_t CUDARTAPI Free(void* address) { return OnDevice("cudaFree", host::Free(address)); }

}  // namespace

const gpu::CudaEntryPoints& CudaRuntimeDouble() {
    static constexpr gpu::CudaEntryPoints entryPoints{
        GetDeviceCount, GetDevice, SetDevice,    LibraryLoadData, LibraryGetKernel,  FuncGetAttributes, Malloc,
        Memset,         Memcpy,    LaunchKernel, GetLastError,    DeviceSynchronize, Free,              GetDriverEntryPointByVersion,
    };
    return entryPoints;
}

std::vector<DeviceCall> TakeDeviceCalls() {
    DeviceCallLog& log = Log();
    std::lock_guard hold(log.lock);
    return std::exchange(log.calls, {});
}

const void* LastLoadedCode() { return loadedFatbin; }

}  // namespace framedec::testing
