// The six GPU exports over the one process-wide GPU state. The state is a static object, so it
// exists (null buffers, the GPU lock, flag clear) as soon as the library is loaded; it is never
// torn down by the library itself: a host that sets up must tear down. It is not constinit: a
// std::mutex over winpthreads (MinGW) cannot be constructed at compile time. A null pointer
// argument is refused with 5 before anything is touched: a crash would take the host's process.
#include "api/export.h"
#include "api/result_codes.h"
#include "framedec.h"
#include "gpu/gpu_state.h"
#include "gpu/last_error.h"

using namespace framedec;

namespace {

gpu::GpuState gpuState;

// Only a failure to take the GPU lock can throw here; it is reported as the call's failure code.
template <class Call>
int32_t OrOnThrow(int32_t failure, Call call) noexcept {
    try {
        return call();
    } catch (...) {
        return failure;
    }
}

}  // namespace

FRAMEDEC_EXPORT int32_t GetAvailableGPUProcess() noexcept {
    return OrOnThrow(kGpuUnavailable, [] { return gpu::CheckGpuAvailable(gpuState); });
}

FRAMEDEC_EXPORT int32_t SetupGPUDecode(FrameSize frameSize) noexcept {
    return OrOnThrow(kGpuAllocFailed, [&] { return gpu::SetupGpuState(gpuState, frameSize); });
}

FRAMEDEC_EXPORT int32_t DecodeGPU(bool copyToHost, const uint8_t* frame, uint8_t** output, int32_t outputPitch) noexcept {
    if (frame == nullptr || output == nullptr) return kInvalidArgument;
    return OrOnThrow(kGpuDecodeFailed,
                     [&] { return gpu::DecodeGpuFrame(gpuState, copyToHost, frame, output, outputPitch); });
}

FRAMEDEC_EXPORT int32_t TeardownGPUDecode() noexcept {
    return OrOnThrow(kGpuFreeFailed, [] { return gpu::TeardownGpuState(gpuState); });
}

FRAMEDEC_EXPORT int32_t IsSetupGPUDecode(bool* isSetup) noexcept {
    if (isSetup == nullptr) return kInvalidArgument;
    *isSetup = gpuState.isSetup;
    return kOk;
}

FRAMEDEC_EXPORT int32_t GetGPULastError(int32_t* error) noexcept {
    if (error == nullptr) return kInvalidArgument;
    *error = gpu::TakeLastError();
    return kOk;
}
