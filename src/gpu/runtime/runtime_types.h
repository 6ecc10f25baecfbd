// The vocabulary of the GPU runtime interface (gpu/runtime/runtime.h), shared by its backends and
// by the host device that stands in for a GPU: NVIDIA's error numbers, launch dimensions, copy
// directions.
#pragma once

#include <cstdint>

namespace framedec::gpu {

using Error = int32_t;

inline constexpr Error kSuccess = 0;
inline constexpr Error kErrorInvalidValue = 1;           // cudaErrorInvalidValue
inline constexpr Error kErrorMemoryAllocation = 2;       // cudaErrorMemoryAllocation
inline constexpr Error kErrorInvalidConfiguration = 9;   // cudaErrorInvalidConfiguration
inline constexpr Error kErrorInsufficientDriver = 35;    // cudaErrorInsufficientDriver
inline constexpr Error kErrorInvalidDeviceFunction = 98; // cudaErrorInvalidDeviceFunction
inline constexpr Error kErrorNoDevice = 100;             // cudaErrorNoDevice
inline constexpr Error kErrorInvalidDevice = 101;        // cudaErrorInvalidDevice
inline constexpr Error kErrorInvalidContext = 201;       // CUDA_ERROR_INVALID_CONTEXT
inline constexpr Error kErrorNoKernelImage = 209;        // cudaErrorNoKernelImageForDevice
inline constexpr Error kErrorSymbolNotFound = 500;       // cudaErrorSymbolNotFound
inline constexpr Error kErrorIllegalAddress = 700;       // cudaErrorIllegalAddress

// The errors after which the CUDA context is unusable for the rest of the process: a kernel faulted
// (illegal address or instruction, misaligned address, device assert, timeout ...). Every later
// runtime call returns the same error, and reading the last error does not clear it.
constexpr bool IsStickyError(Error error) {
    switch (error) {
        case 226:  // contained
        case 700:  // illegal address
        case 702:  // launch timeout
        case 710:  // device assert
        case 714:  // hardware stack error
        case 715:  // illegal instruction
        case 716:  // misaligned address
        case 717:  // invalid address space
        case 718:  // invalid program counter
        case 719:  // launch failure
        case 721:  // tensor memory leak
        case 810:  // MPS client terminated
        case 911:  // external device
            return true;
        default:
            return false;
    }
}

// Launch dimensions (grid in thread blocks, thread block in threads).
struct Dim3 {
    unsigned x = 1;
    unsigned y = 1;
    unsigned z = 1;
};

// The two copy directions, numbered as the CUDA runtime numbers them.
enum class CopyKind : int { HostToDevice = 1, DeviceToHost = 2 };

}  // namespace framedec::gpu
