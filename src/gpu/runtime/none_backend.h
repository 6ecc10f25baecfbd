// The none backend of the GPU runtime interface, for builds that have no CUDA runtime to call (a
// Windows build on a machine without the CUDA toolkit): it answers every operation as NVIDIA's
// runtime does on a machine without a driver. Every call fails with 35 (insufficient driver), the
// device count included, and the last error stays 35 after it has been read. Nothing is allocated,
// copied or launched: no kernel ever runs on the CPU in its place.
#pragma once

#include <cstddef>

#include "gpu/runtime/runtime_types.h"

namespace framedec::gpu::runtime {

// Handles as in the cuda backend; none is ever handed out.
using Kernel = const void*;
using KernelLibrary = const void*;
using Context = void*;

inline Error DeviceCount(int* count) {
    *count = 0;
    return kErrorInsufficientDriver;
}

inline Error CurrentDevice(int* device) {
    *device = 0;
    return kErrorInsufficientDriver;
}

inline Error SetDevice(int /*device*/) { return kErrorInsufficientDriver; }

inline Error CurrentContext(Context* context) {
    *context = nullptr;
    return kErrorInsufficientDriver;
}

inline Error PushContext(Context /*context*/) { return kErrorInsufficientDriver; }

inline Error PopContext(Context* context) {
    *context = nullptr;
    return kErrorInsufficientDriver;
}

inline Error LoadKernelLibrary(KernelLibrary* /*library*/) { return kErrorInsufficientDriver; }

inline Error GetKernel(Kernel* /*kernel*/, KernelLibrary /*library*/, const char* /*name*/) {
    return kErrorInsufficientDriver;
}

inline Error KernelAttributes(Kernel /*kernel*/) { return kErrorInsufficientDriver; }

inline Error Allocate(void** address, std::size_t /*bytes*/) {
    *address = nullptr;
    return kErrorInsufficientDriver;
}

inline Error ZeroFill(void* /*address*/, std::size_t /*bytes*/) { return kErrorInsufficientDriver; }

inline Error Copy(void* /*destination*/, const void* /*source*/, std::size_t /*bytes*/, CopyKind /*kind*/) {
    return kErrorInsufficientDriver;
}

inline Error LaunchKernel(Kernel /*kernel*/, Dim3 /*grid*/, Dim3 /*block*/, void** /*arguments*/) {
    return kErrorInsufficientDriver;
}

inline Error LastError() { return kErrorInsufficientDriver; }

inline Error Synchronize() { return kErrorInsufficientDriver; }

inline Error Free(void* /*address*/) { return kErrorInsufficientDriver; }

}  // namespace framedec::gpu::runtime
