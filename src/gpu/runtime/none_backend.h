// The none backend of the GPU runtime interface, for builds that have no CUDA runtime to call (the
// Windows build, until it loads NVIDIA's runtime at run time): it answers every operation as NVIDIA's
// runtime does on a machine without a driver. Every call fails with 35 (insufficient driver), the
// device count included, and the last error stays 35 after it has been read. Nothing is allocated,
// copied or launched: no kernel ever runs on the CPU in its place.
#pragma once

#include <cstddef>

#include "gpu/runtime/runtime.h"

namespace framedec::gpu::runtime {

inline constexpr Error kErrorInsufficientDriver = 35;  // cudaErrorInsufficientDriver

// A kernel is named by its address, as in the cuda backend; it is never called.
using Kernel = const void*;

template <class... Args>
Kernel KernelOf(void (*kernel)(Args...)) {
    return reinterpret_cast<const void*>(kernel);
}

inline Error DeviceCount(int* count) {
    *count = 0;
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
