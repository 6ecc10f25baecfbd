// Lets the host C++ compiler build the kernel sources for the host backend. Under nvcc this header
// adds nothing; otherwise it supplies the CUDA built-ins that the kernels use: the execution-space
// and constant-memory keywords, thread and block indices (set by the host backend's launch),
// int2, __ffs, __brev and the single- and double-precision maths functions.
#pragma once

#if !defined(__CUDACC__)
#include <math.h>

#include "gpu/kernels/int2.h"
#include "gpu/runtime/host_thread_index.h"

#define __global__
#define __device__
#define __constant__ const  // read-only on the host as on the device
#define __forceinline__ inline

#define threadIdx (::framedec::gpu::host::ThreadIndex())
#define blockIdx (::framedec::gpu::host::BlockIndex())
#define blockDim (::framedec::gpu::host::BlockDimensions())

// 1 + the index of the lowest set bit; 0 when no bit is set.
inline int __ffs(int value) { return __builtin_ffs(value); }

// The 32 bits in reverse order: bit 0 becomes bit 31.
inline unsigned __brev(unsigned v) {
    v = (v >> 1 & 0x55555555u) | (v & 0x55555555u) << 1;
    v = (v >> 2 & 0x33333333u) | (v & 0x33333333u) << 2;
    v = (v >> 4 & 0x0F0F0F0Fu) | (v & 0x0F0F0F0Fu) << 4;
    v = (v >> 8 & 0x00FF00FFu) | (v & 0x00FF00FFu) << 8;
    return v >> 16 | v << 16;
}
#endif
