// The process-wide GPU state: one set of device buffers for decoding whole frames of one size on
// the GPU, and the set-up, tear-down and decode that work on it. Set-up, tear-down and decode each
// hold the GPU lock for their whole work; the set-up flag is also read without it.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "framedec.h"
#include "gpu/launch.h"

namespace framedec::gpu {

struct GpuState {
    unsigned char* frameCopy = nullptr;  // device frame copy: the frame's bytes from byte 4 on
    unsigned char* pixels = nullptr;     // pixel buffer: the decoded image, rows of output pitch bytes
    float* coefficients = nullptr;       // coefficient buffer: 64 floats per block of the block grid
    int64_t frameCopySize = 0;           // bytes of the device frame copy
    int32_t width = 0;                   // pixels, as given at set-up; bounds the output pitch
    int32_t height = 0;                  // lines, as given at set-up
    FrameKernels kernels;                // loaded by the first set-up or availability check
    std::mutex lock;                     // the GPU lock
    std::atomic<bool> isSetup{false};    // set by a complete set-up, cleared by a complete tear-down
};

// 0 when the runtime reports at least one device and the launched kernels load for it and it can
// run them; 26 otherwise. Loads the kernels if no earlier call has.
int32_t CheckGpuAvailable(GpuState& state);

// Tears down a set-up state first (outside the lock; its result ignored), loads the kernels if no
// earlier call has, then allocates and zero-fills the three buffers for the frame size. 0, or 28
// when a size is below 1 or the kernels do not load (nothing allocated) or an allocation fails (the
// buffers allocated before it stay allocated and recorded).
// Either way no buffer of an earlier set-up stays recorded, and the state is not set up until all
// three are allocated.
int32_t SetupGpuState(GpuState& state, FrameSize frameSize);

// Frees the three buffers in order. 0, or 29 when a free fails (that buffer and the later ones stay).
int32_t TeardownGpuState(GpuState& state);

// Decodes one frame (see DecodeGPU in framedec.h): 0, 27, 30 or 31.
int32_t DecodeGpuFrame(GpuState& state, bool copyToHost, const uint8_t* frame, uint8_t** output, int32_t outputPitch);

}  // namespace framedec::gpu
