// The host backend of the GPU runtime interface: the host device (gpu/runtime/host_device.h), the
// CPU stand-in for a GPU, called directly.
#pragma once

#include <cstddef>

#include "gpu/runtime/host_device.h"
#include "gpu/runtime/runtime_types.h"

namespace framedec::gpu::runtime {

using Kernel = host::Kernel;
using KernelLibrary = const host::KernelLibrary*;

// Any host function as a kernel (tests launch kernels of their own).
using host::KernelOf;

inline Error DeviceCount(int* count) { return host::DeviceCount(count); }
inline Error LoadKernelLibrary(KernelLibrary* library) { return host::LoadKernelLibrary(library); }

// On failure the kernel is left as it was.
inline Error GetKernel(Kernel* kernel, KernelLibrary library, const char* name) {
    const host::Kernel* found = nullptr;
    const Error error = host::GetKernel(&found, library, name);
    if (error == kSuccess) *kernel = *found;
    return error;
}

inline Error KernelAttributes(const Kernel& kernel) { return host::KernelAttributes(kernel); }
inline Error Allocate(void** address, std::size_t bytes) { return host::Allocate(address, bytes); }
inline Error ZeroFill(void* address, std::size_t bytes) { return host::ZeroFill(address, bytes); }
inline Error Copy(void* destination, const void* source, std::size_t bytes, CopyKind kind) {
    return host::Copy(destination, source, bytes, kind);
}
inline Error LaunchKernel(const Kernel& kernel, Dim3 grid, Dim3 block, void** arguments) {
    return host::LaunchKernel(kernel, grid, block, arguments);
}
inline Error LastError() { return host::LastError(); }
inline Error Synchronize() { return host::Synchronize(); }
inline Error Free(void* address) { return host::Free(address); }

}  // namespace framedec::gpu::runtime
