// The six GPU exports over the one process-wide GPU state. The state is a static object, so it
// exists (null buffers, the GPU lock, flag clear) as soon as the library is loaded; it is never
// torn down by the library itself: a host that sets up must tear down. It is not constinit: a
// std::mutex over winpthreads (MinGW) cannot be constructed at compile time.
#include "api/export.h"
#include "api/result_codes.h"
#include "framedec.h"
#include "gpu/gpu_state.h"
#include "gpu/last_error.h"

using namespace framedec;

namespace {
gpu::GpuState gpuState;
}  // namespace

// Only a failure to take the GPU lock can throw here; it is reported as the call's failure code.

FRAMEDEC_EXPORT int32_t GetAvailableGPUProcess() noexcept {
    try {
        return gpu::CheckGpuAvailable(gpuState);
    } catch (...) {
        return kGpuUnavailable;
    }
}

FRAMEDEC_EXPORT int32_t SetupGPUDecode(FrameSize frameSize) noexcept {
    try {
        return gpu::SetupGpuState(gpuState, frameSize);
    } catch (...) {
        return kGpuAllocFailed;
    }
}

FRAMEDEC_EXPORT int32_t DecodeGPU(bool copyToHost, const uint8_t* frame, uint8_t** output, int32_t outputPitch) noexcept {
    try {
        return gpu::DecodeGpuFrame(gpuState, copyToHost, frame, output, outputPitch);
    } catch (...) {
        return kGpuDecodeFailed;
    }
}

FRAMEDEC_EXPORT int32_t TeardownGPUDecode() noexcept {
    try {
        return gpu::TeardownGpuState(gpuState);
    } catch (...) {
        return kGpuFreeFailed;
    }
}

FRAMEDEC_EXPORT int32_t IsSetupGPUDecode(bool* isSetup) noexcept {
    *isSetup = gpuState.isSetup;
    return kOk;
}

FRAMEDEC_EXPORT int32_t GetGPULastError(int32_t* error) noexcept {
    *error = gpu::TakeLastError();
    return kOk;
}
