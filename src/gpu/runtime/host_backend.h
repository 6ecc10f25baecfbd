// The host backend of the GPU runtime interface: the host device (gpu/runtime/host_device.h), the
// CPU stand-in for a GPU, called directly.
#pragma once

#include "gpu/runtime/host_device.h"
#include "gpu/runtime/runtime_types.h"

namespace framedec::gpu::runtime {

using Kernel = host::Kernel;
using KernelLibrary = const host::KernelLibrary*;
using Context = host::Context*;

// Any host function as a kernel (tests launch kernels of their own).
using host::KernelOf;

// The host device's operations have the interface's signatures, except that its kernel lookup
// hands out the library's entry rather than a copy.
using host::Allocate;
using host::Copy;
using host::CurrentContext;
using host::CurrentDevice;
using host::DeviceCount;
using host::Free;
using host::KernelAttributes;
using host::LastError;
using host::LaunchKernel;
using host::LoadKernelLibrary;
using host::PopContext;
using host::PushContext;
using host::SetDevice;
using host::Synchronize;
using host::ZeroFill;

inline Error GetKernel(Kernel* kernel, KernelLibrary library, const char* name) {
    const host::Kernel* found = nullptr;
    const Error error = host::GetKernel(&found, library, name);
    if (error == kSuccess) *kernel = *found;
    return error;
}

}  // namespace framedec::gpu::runtime
