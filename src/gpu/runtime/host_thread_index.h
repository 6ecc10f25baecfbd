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

// The running GPU thread's index in its thread block, its thread block's index in the grid, and
// the size of a thread block. Per host thread.
const uint3& ThreadIndex();
const uint3& BlockIndex();
const uint3& BlockDimensions();

}  // namespace framedec::gpu::host
