// The GPU runtime interface: the few device operations the GPU decode needs (device count, kernel
// attributes, allocate, zero-fill, copy, launch, last error, synchronise, free), each mapping one
// to one onto the CUDA runtime call of the same job. Three backends implement it:
//   cuda  thin inline calls into NVIDIA's runtime; the kernels are compiled by nvcc;
//   host  a stand-in that keeps "device" memory on the host and runs each launch's whole grid on
//         the CPU, so every GPU step builds, runs and is tested on machines without a GPU;
//   none  no device: every operation fails as NVIDIA's runtime does without a driver.
// Results are the CUDA runtime's error numbers in every backend (0 = success). Every failing call
// also becomes the calling thread's last error, which LastError() returns and clears, except an
// execution fault (IsStickyError): that one stays for every later call of the process (and so
// does a missing driver, in NVIDIA's runtime and the none backend).
#pragma once

#include <cstddef>
#include <cstdint>

namespace framedec::gpu {

using Error = int32_t;

inline constexpr Error kSuccess = 0;
inline constexpr Error kErrorInvalidValue = 1;           // cudaErrorInvalidValue
inline constexpr Error kErrorMemoryAllocation = 2;       // cudaErrorMemoryAllocation
inline constexpr Error kErrorInvalidConfiguration = 9;   // cudaErrorInvalidConfiguration
inline constexpr Error kErrorNoDevice = 100;             // cudaErrorNoDevice
inline constexpr Error kErrorNoKernelImage = 209;        // cudaErrorNoKernelImageForDevice
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

#if defined(FRAMEDEC_GPU_BACKEND_CUDA)
#include "gpu/runtime/cuda_backend.h"
#elif defined(FRAMEDEC_GPU_BACKEND_HOST)
#include "gpu/runtime/host_backend.h"
#elif defined(FRAMEDEC_GPU_BACKEND_NONE)
#include "gpu/runtime/none_backend.h"
#else
#error "define FRAMEDEC_GPU_BACKEND_CUDA, FRAMEDEC_GPU_BACKEND_HOST or FRAMEDEC_GPU_BACKEND_NONE"
#endif
