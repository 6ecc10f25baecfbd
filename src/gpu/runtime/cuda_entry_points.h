// The entry points of NVIDIA's runtime that the cuda backend calls, as one table of function
// pointers. Where the table comes from is the platform's business: on Linux the runtime is linked
// into the library statically; the Windows DLL loads NVIDIA's runtime DLL on first use. Tests put a
// double of the runtime in its place, so the backend's own code runs here without a GPU. The few
// driver calls the backend needs are found through the runtime (cudaGetDriverEntryPointByVersion),
// so the library never links the driver's library itself.
#pragma once

#include <cudaTypedefs.h>
#include <cuda_runtime_api.h>

#include "gpu/runtime/runtime_types.h"

namespace framedec::gpu {

struct CudaEntryPoints {
    cudaError_t(CUDARTAPI* getDeviceCount)(int* count);
    cudaError_t(CUDARTAPI* getDevice)(int* device);
    cudaError_t(CUDARTAPI* setDevice)(int device);
    cudaError_t(CUDARTAPI* libraryLoadData)(cudaLibrary_t* library, const void* code, cudaJitOption* jitOptions,
                                            void** jitOptionValues, unsigned int jitOptionCount,
                                            cudaLibraryOption* libraryOptions, void** libraryOptionValues,
                                            unsigned int libraryOptionCount);
    cudaError_t(CUDARTAPI* libraryGetKernel)(cudaKernel_t* kernel, cudaLibrary_t library, const char* name);
    cudaError_t(CUDARTAPI* funcGetAttributes)(cudaFuncAttributes* attributes, const void* function);
    cudaError_t(CUDARTAPI* malloc)(void** address, size_t bytes);
    cudaError_t(CUDARTAPI* memset)(void* address, int value, size_t bytes);
    cudaError_t(CUDARTAPI* memcpy)(void* destination, const void* source, size_t bytes, cudaMemcpyKind kind);
    cudaError_t(CUDARTAPI* launchKernel)(const void* function, dim3 grid, dim3 block, void** arguments,
                                         size_t sharedMemory, cudaStream_t stream);
    cudaError_t(CUDARTAPI* getLastError)();
    cudaError_t(CUDARTAPI* deviceSynchronize)();
    cudaError_t(CUDARTAPI* free)(void* address);
    cudaError_t(CUDARTAPI* getDriverEntryPointByVersion)(const char* symbol, void** function, unsigned int cudaVersion,
                                                        unsigned long long flags,
                                                        cudaDriverEntryPointQueryResult* status);
};

// The driver's context calls, as the runtime hands them out. Where it could not, `unavailable` is
// why (the runtime's error, or 500 for a driver without the call) and the pointers are null.
struct CudaDriverEntryPoints {
    Error unavailable;
    PFN_cuCtxGetCurrent_v4000 ctxGetCurrent;
    PFN_cuCtxPushCurrent_v4000 ctxPushCurrent;
    PFN_cuCtxPopCurrent_v4000 ctxPopCurrent;
};

// The runtime's entry points; the first call settles where they come from.
const CudaEntryPoints& CudaRuntime();

// The driver's entry points, asked of CudaRuntime() by the first call.
const CudaDriverEntryPoints& CudaDriver();

// The platform's own entry points (cuda_entry_points_*.cpp).
const CudaEntryPoints& PlatformCudaRuntime();

namespace cuda_testing {

// From now on CudaRuntime() answers with entryPoints (which must outlive every GPU call). Tests
// call it before any GPU call.
void ReplaceCudaRuntime(const CudaEntryPoints& entryPoints);

}  // namespace cuda_testing

}  // namespace framedec::gpu
