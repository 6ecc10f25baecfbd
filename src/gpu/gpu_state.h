// The process-wide GPU state: one set of device buffers for decoding whole frames of one size on
// one GPU, and the set-up, tear-down and decode that work on it. Set-up, tear-down and decode each
// hold the GPU lock for their whole work, a set-up's tear-down of the old buffers included; the
// set-up flag is also read without it. Every call works in the set-up's CUDA context, whichever
// thread makes it and whatever context that thread has current, and leaves the caller's as it was.
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
    runtime::Context context{};          // where the buffers live: the set-up's context (null: none)
    FrameKernels kernels;                // loaded by the first set-up or availability check
    std::mutex lock;                     // the GPU lock
    std::atomic<bool> isSetup{false};    // set by a complete set-up, cleared by a complete tear-down
};

// 0 when the runtime reports at least one device, the launched kernels load, and the set-up's
// context (without a set-up: the caller's) can run them; 26 otherwise, also when the caller's
// context cannot be given back. Loads the kernels if no earlier call has.
int32_t CheckGpuAvailable(GpuState& state);

// In one step under the lock: frees the buffers an earlier set-up left (its result ignored), takes
// the calling thread's current context as the set-up's context (its current device's primary
// context where it has none), loads the kernels if no earlier call has and checks that the device
// can run them, then allocates and zero-fills the three buffers for the frame size there. 0, or 28
// when a size is below 1, the context cannot be had or its device cannot run the kernels, or the
// kernels do not load (nothing allocated), or an allocation fails (the buffers allocated before it
// stay allocated and recorded, with the context), or the caller's context cannot be given back.
// Either way no buffer of an earlier set-up stays recorded, and the state is not set up until all
// three are allocated.
int32_t SetupGpuState(GpuState& state, FrameSize frameSize);

// Frees the three buffers in order in the set-up's context. 0, or 29 when a free fails (that buffer
// and the later ones stay), the context cannot be made current (all stay) or the caller's context
// cannot be given back.
int32_t TeardownGpuState(GpuState& state);

// Decodes one frame in the set-up's context (see DecodeGPU in framedec.h): 0, 27, 30 or 31. With
// nothing set up it does no device work.
int32_t DecodeGpuFrame(GpuState& state, bool copyToHost, const uint8_t* frame, uint8_t** output, int32_t outputPitch);

}  // namespace framedec::gpu
