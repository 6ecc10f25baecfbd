// The cuda backend of the GPU runtime interface: NVIDIA's runtime, one call per operation, through
// its entry points (gpu/runtime/cuda_entry_points.h). The kernels come from the fatbin embedded in
// the library, loaded through the runtime's library API and launched by kernel handle, with the
// runtime's own error numbers and last-error rules. All work goes to the calling thread's current
// context (the GPU state pushes its set-up's context for each call) and to its legacy default
// stream. The context calls are the driver's, found through the runtime.
#pragma once

#include <cstddef>

#include "gpu/runtime/cuda_entry_points.h"
#include "gpu/runtime/embedded_fatbin.h"
#include "gpu/runtime/runtime_types.h"

namespace framedec::gpu::runtime {

using Kernel = cudaKernel_t;
using KernelLibrary = cudaLibrary_t;
using Context = CUcontext;

inline Error DeviceCount(int* count) { return CudaRuntime().getDeviceCount(count); }

inline Error CurrentDevice(int* device) { return CudaRuntime().getDevice(device); }

// Makes the device's primary context current on the calling thread (starting it if no call has yet).
inline Error SetDevice(int device) { return CudaRuntime().setDevice(device); }

// One of the driver's context calls, or why the runtime could not hand them out.
template <class Call>
Error CallDriver(Call call) {
    const CudaDriverEntryPoints& driver = CudaDriver();
    return driver.unavailable != kSuccess ? driver.unavailable : static_cast<Error>(call(driver));
}

inline Error CurrentContext(Context* context) {
    *context = nullptr;
    return CallDriver([&](const CudaDriverEntryPoints& driver) { return driver.ctxGetCurrent(context); });
}

inline Error PushContext(Context context) {
    return CallDriver([&](const CudaDriverEntryPoints& driver) { return driver.ctxPushCurrent(context); });
}

inline Error PopContext(Context* context) {
    *context = nullptr;
    return CallDriver([&](const CudaDriverEntryPoints& driver) { return driver.ctxPopCurrent(context); });
}

// Loads the embedded fatbin: the driver picks the machine code for the device, or compiles the PTX
// for a device newer than every machine code carried.
inline Error LoadKernelLibrary(KernelLibrary* library) {
    return CudaRuntime().libraryLoadData(library, EmbeddedFatbin(), nullptr, nullptr, 0, nullptr, nullptr, 0);
}

inline Error GetKernel(Kernel* kernel, KernelLibrary library, const char* name) {
    return CudaRuntime().libraryGetKernel(kernel, library, name);
}

// Whether the current device can run kernel: fails (209, no kernel image) on a device that none of
// the embedded machine code or PTX fits, and with the runtime's error when there is no usable device.
inline Error KernelAttributes(Kernel kernel) {
    cudaFuncAttributes attributes{};
    return CudaRuntime().funcGetAttributes(&attributes, reinterpret_cast<const void*>(kernel));
}

// On failure the address is null, whatever the runtime left in it.
inline Error Allocate(void** address, std::size_t bytes) {
    void* allocated = nullptr;
    const Error error = CudaRuntime().malloc(&allocated, bytes);
    *address = error == kSuccess ? allocated : nullptr;
    return error;
}

inline Error ZeroFill(void* address, std::size_t bytes) { return CudaRuntime().memset(address, 0, bytes); }

inline Error Copy(void* destination, const void* source, std::size_t bytes, CopyKind kind) {
    return CudaRuntime().memcpy(destination, source, bytes, static_cast<cudaMemcpyKind>(kind));
}

inline Error LaunchKernel(Kernel kernel, Dim3 grid, Dim3 block, void** arguments) {
    return CudaRuntime().launchKernel(reinterpret_cast<const void*>(kernel), dim3(grid.x, grid.y, grid.z),
                                      dim3(block.x, block.y, block.z), arguments, 0, nullptr);
}

inline Error LastError() { return CudaRuntime().getLastError(); }

inline Error Synchronize() { return CudaRuntime().deviceSynchronize(); }

inline Error Free(void* address) { return CudaRuntime().free(address); }

}  // namespace framedec::gpu::runtime
