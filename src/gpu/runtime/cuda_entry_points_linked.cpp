// The entry points of NVIDIA's runtime linked into the library (its static runtime, so that users
// need only the driver).
#include "gpu/runtime/cuda_entry_points.h"

namespace framedec::gpu {

const CudaEntryPoints& PlatformCudaRuntime() {
    static constexpr CudaEntryPoints linked{
        cudaGetDeviceCount,    cudaGetDevice, cudaSetDevice, cudaLibraryLoadData, cudaLibraryGetKernel,
        cudaFuncGetAttributes, cudaMalloc,    cudaMemset,    cudaMemcpy,          cudaLaunchKernel,
        cudaGetLastError,      cudaDeviceSynchronize,        cudaFree,      cudaGetDriverEntryPointByVersion,
    };
    return linked;
}

}  // namespace framedec::gpu
