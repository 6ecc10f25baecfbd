#include "gpu/runtime/cuda_entry_points.h"

#include <atomic>

namespace framedec::gpu {
namespace {

std::atomic<const CudaEntryPoints*> replacement{nullptr};

// The driver's calls as CUDA 12.0 defined them (unchanged since 4.0): what the typedefs describe.
constexpr unsigned int kDriverApiVersion = 12000;

template <class Function>
Error FindDriverCall(const CudaEntryPoints& runtime, const char* symbol, Function* function) {
    void* found = nullptr;
    cudaDriverEntryPointQueryResult status = cudaDriverEntryPointSymbolNotFound;
    if (const cudaError_t error =
            runtime.getDriverEntryPointByVersion(symbol, &found, kDriverApiVersion, cudaEnableDefault, &status);
        error != cudaSuccess)
        return error;
    if (status != cudaDriverEntryPointSuccess || found == nullptr) return kErrorSymbolNotFound;
    *function = reinterpret_cast<Function>(found);
    return kSuccess;
}

CudaDriverEntryPoints FindDriverCalls(const CudaEntryPoints& runtime) {
    CudaDriverEntryPoints driver{};
    Error error = FindDriverCall(runtime, "cuCtxGetCurrent", &driver.ctxGetCurrent);
    if (error == kSuccess) error = FindDriverCall(runtime, "cuCtxPushCurrent", &driver.ctxPushCurrent);
    if (error == kSuccess) error = FindDriverCall(runtime, "cuCtxPopCurrent", &driver.ctxPopCurrent);
    if (error != kSuccess) driver = CudaDriverEntryPoints{error, nullptr, nullptr, nullptr};
    return driver;
}

}  // namespace

const CudaDriverEntryPoints& CudaDriver() {
    static const CudaDriverEntryPoints driver = FindDriverCalls(CudaRuntime());
    return driver;
}

const CudaEntryPoints& CudaRuntime() {
    if (const CudaEntryPoints* replaced = replacement.load(std::memory_order_acquire)) return *replaced;
    return PlatformCudaRuntime();
}

void cuda_testing::ReplaceCudaRuntime(const CudaEntryPoints& entryPoints) {
    replacement.store(&entryPoints, std::memory_order_release);
}

}  // namespace framedec::gpu
