// The process-wide GPU state: one set of device buffers for decoding whole frames of one size on
// one GPU, and the set-up, tear-down and decode that work on it. Set-up, tear-down and decode each
// hold the GPU lock for their whole work, a set-up's tear-down of the old buffers included; the
// set-up flag is also read without it. Every call works on the set-up's device, whichever thread
// makes it and whichever device that thread has made current.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>

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
    std::optional<int> device;           // where the buffers live: the set-up's device, until torn down
    FrameKernels kernels;                // loaded by the first set-up or availability check
    std::mutex lock;                     // the GPU lock
    std::atomic<bool> isSetup{false};    // set by a complete set-up, cleared by a complete tear-down
};

// 0 when the runtime reports at least one device, the launched kernels load, and the set-up's
// device (without a set-up: the caller's current one) can run them; 26 otherwise. Loads the
// kernels if no earlier call has.
int32_t CheckGpuAvailable(GpuState& state);

// In one step under the lock: frees the buffers an earlier set-up left (its result ignored), takes
// the calling thread's current device as the set-up's device, loads the kernels if no earlier call
// has and checks that the device can run them, then allocates and zero-fills the three buffers for
// the frame size there. 0, or 28 when a size is below 1, the device cannot be read or cannot run
// the kernels, or the kernels do not load (nothing allocated), or an allocation fails (the buffers
// allocated before it stay allocated and recorded). Either way no buffer of an earlier set-up
// stays recorded, and the state is not set up until all three are allocated.
int32_t SetupGpuState(GpuState& state, FrameSize frameSize);

// Frees the three buffers in order on the set-up's device. 0, or 29 when a free fails (that buffer
// and the later ones stay) or the device cannot be made current (all stay).
int32_t TeardownGpuState(GpuState& state);

// Decodes one frame on the set-up's device (see DecodeGPU in framedec.h): 0, 27, 30 or 31.
int32_t DecodeGpuFrame(GpuState& state, bool copyToHost, const uint8_t* frame, uint8_t** output, int32_t outputPitch);

}  // namespace framedec::gpu
