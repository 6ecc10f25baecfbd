// The cuda backend of the GPU runtime interface: NVIDIA's runtime, one inline call per operation.
// All work goes to the default device and the default stream.
#pragma once

#include <cuda_runtime_api.h>

#include <cstddef>

#include "gpu/runtime/runtime.h"

namespace framedec::gpu::runtime {

// How a kernel is named to the runtime: the address of the host stub that nvcc generates.
using Kernel = const void*;

template <class... Args>
Kernel KernelOf(void (*kernel)(Args...)) {
    return reinterpret_cast<const void*>(kernel);
}

inline Error DeviceCount(int* count) { return cudaGetDeviceCount(count); }

// Whether the current device can run kernel: fails (209, no kernel image) on a device that none of
// the embedded machine code or PTX fits, and with the runtime's error when there is no usable device.
inline Error KernelAttributes(Kernel kernel) {
    cudaFuncAttributes attributes{};
    return cudaFuncGetAttributes(&attributes, kernel);
}

// On failure the address is null, whatever the runtime left in it.
inline Error Allocate(void** address, std::size_t bytes) {
    void* allocated = nullptr;
    const Error error = cudaMalloc(&allocated, bytes);
    *address = error == kSuccess ? allocated : nullptr;
    return error;
}

inline Error ZeroFill(void* address, std::size_t bytes) { return cudaMemset(address, 0, bytes); }

inline Error Copy(void* destination, const void* source, std::size_t bytes, CopyKind kind) {
    return cudaMemcpy(destination, source, bytes, static_cast<cudaMemcpyKind>(kind));
}

inline Error LaunchKernel(Kernel kernel, Dim3 grid, Dim3 block, void** arguments) {
    return cudaLaunchKernel(kernel, dim3(grid.x, grid.y, grid.z), dim3(block.x, block.y, block.z), arguments, 0,
                            nullptr);
}

inline Error LastError() { return cudaGetLastError(); }

inline Error Synchronize() { return cudaDeviceSynchronize(); }

inline Error Free(void* address) { return cudaFree(address); }

}  // namespace framedec::gpu::runtime
