// The thread and block indices of the GPU thread that the host backend is running. A launch sets
// them before it runs each GPU thread of the grid; kernels compiled for the host read them as
// threadIdx, blockIdx and blockDim (see gpu/kernels/device_compat.h).
#pragma once

namespace framedec::gpu::host {

struct uint3 {
    unsigned x;
    unsigned y;
    unsigned z;
};

extern thread_local uint3 threadIdx;
extern thread_local uint3 blockIdx;
extern thread_local uint3 blockDim;

}  // namespace framedec::gpu::host
