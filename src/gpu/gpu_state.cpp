#include "gpu/gpu_state.h"

#include <cstdio>

#include "api/result_codes.h"
#include "codec/frame_geometry.h"
#include "gpu/buffer_sizes.h"
#include "gpu/call_context.h"
#include "gpu/last_error.h"
#include "gpu/launch.h"
#include "gpu/runtime/runtime.h"

namespace framedec::gpu {
namespace {

// Allocates bytes into *address (null on failure) and issues the zero-fill whatever the outcome,
// ignoring its result: after a failed allocation the zero-fill's error is the thread's last error.
template <class T>
bool AllocateZeroed(T** address, uint64_t bytes) {
    void* allocated = nullptr;
    const Error error = runtime::Allocate(&allocated, bytes);
    *address = static_cast<T*>(allocated);
    runtime::ZeroFill(allocated, bytes);
    return error == kSuccess;
}

template <class T>
bool FreeBuffer(T** address) {
    if (runtime::Free(*address) != kSuccess) return false;
    *address = nullptr;
    return true;
}

constexpr const char* kFrameCopyFailed = "cudaMemcpy failed!";
constexpr const char* kHuffmanLaunchFailed = "huffman returned error code %d after launching addKernel!\n";
constexpr const char* kInverseDctLaunchFailed = "inverseDCT returned error code %d after launching addKernel!\n";

// Reads and clears the last error after a launch; a refused launch fails the decode with the
// message (a format with one %d, the error) on standard error.
bool LaunchSucceeded(const char* failureMessage) {
    const Error error = runtime::LastError();
    if (error == kSuccess) return true;
    std::fprintf(stderr, failureMessage, error);
    return false;
}

// Every buffer of the current set-up exists, and so (set-up loads them first) do the kernels.
bool ReadyToLaunch(const GpuState& state) {
    return state.frameCopy != nullptr && state.pixels != nullptr && state.coefficients != nullptr &&
           state.kernels.loaded;
}

// Whether the current device can run both launched kernels. The runtime also counts devices that
// cannot: one older than every architecture the library carries code for (no machine code, no PTX
// it can compile: 209), or one in a CUDA context that an execution fault has disabled. Asking for
// the kernels' attributes loads their code onto the device, which lazy loading would otherwise
// leave to the first launch.
bool KernelsRunOnCurrentDevice(const FrameKernels& kernels) {
    return runtime::KernelAttributes(kernels.huffman.handle) == kSuccess &&
           runtime::KernelAttributes(kernels.inverseDct.handle) == kSuccess;
}

// Frees the three buffers in order in the current context, up to the first that fails.
bool FreeAll(GpuState& state) {
    return FreeBuffer(&state.frameCopy) && FreeBuffer(&state.pixels) && FreeBuffer(&state.coefficients);
}

// The tear-down, with the GPU lock held, in the set-up's context (without one: the caller's).
int32_t FreeBuffers(GpuState& state) {
    runtime::Context context{};
    if (!ContextForCall(state.context, &context)) return kGpuFreeFailed;
    return InContext(context, kGpuFreeFailed, [&] {
        if (!FreeAll(state)) return kGpuFreeFailed;
        state.isSetup = false;
        state.context = {};
        return kOk;
    });
}

// Frees what an earlier set-up left, before a set-up replaces it: a failed free does not matter
// (the set-up drops what it leaves), a failure to give the caller's context back does. False then.
bool FreeReplacedBuffers(GpuState& state) {
    runtime::Context context{};
    if (!ContextForCall(state.context, &context)) return true;
    ContextScope scope(context);
    if (scope.Entered()) FreeAll(state);
    return scope.GiveBack();
}

// The decode's device work, in the set-up's context.
int32_t DecodeInContext(GpuState& state, bool copyToHost, const uint8_t* frame, uint8_t** output, int32_t outputPitch);

}  // namespace

int32_t CheckGpuAvailable(GpuState& state) {
    std::lock_guard hold(state.lock);
    int count = 0;
    if (runtime::DeviceCount(&count) != kSuccess || count < 1) return kGpuUnavailable;
    runtime::Context context{};
    if (!ContextForCall(state.context, &context)) return kGpuUnavailable;
    return InContext(context, kGpuUnavailable, [&] {
        if (LoadFrameKernels(&state.kernels) != kSuccess || !KernelsRunOnCurrentDevice(state.kernels))
            return kGpuUnavailable;
        return kOk;
    });
}

int32_t SetupGpuState(GpuState& state, FrameSize frameSize) {
    std::lock_guard hold(state.lock);
    // The old buffers go in the same step under the lock as the new ones come, so that a racing
    // set-up never records its buffers in between only to have them dropped. What a failed free
    // leaves (of a set-up or of a partial one) is dropped like the addresses the allocations below
    // overwrite, so that a partial set-up never pairs a buffer of the old size with the new size (a
    // decode would run the kernels past its end). The state is not set up until the last buffer is.
    const bool givenBack = (state.frameCopy == nullptr && state.pixels == nullptr && state.coefficients == nullptr) ||
                           FreeReplacedBuffers(state);
    state.isSetup = false;
    state.frameCopy = nullptr;
    state.pixels = nullptr;
    state.coefficients = nullptr;
    state.context = {};
    if (!givenBack || frameSize.width < 1 || frameSize.height < 1) return kGpuAllocFailed;
    state.width = frameSize.width;
    state.height = frameSize.height;
    const BufferSizes sizes = BufferSizesFor(frameSize.width, frameSize.height);
    state.frameCopySize = static_cast<int64_t>(sizes.frameCopyBytes);

    // The set-up's context is the caller's current one (its device's primary context where the
    // caller has none). The kernels first (loaded once per process: a loaded set stays), and proof
    // that this device can run them, so that a set-up that succeeds can always launch them; failing
    // here allocates nothing. The context is recorded before the first allocation, so that a
    // tear-down frees what a partial set-up left where it lives.
    runtime::Context context{};
    if (!ContextForCall({}, &context)) return kGpuAllocFailed;
    return InContext(context, kGpuAllocFailed, [&] {
        if (LoadFrameKernels(&state.kernels) != kSuccess || !KernelsRunOnCurrentDevice(state.kernels))
            return kGpuAllocFailed;
        state.context = context;
        if (!AllocateZeroed(&state.frameCopy, sizes.frameCopyBytes)) return kGpuAllocFailed;
        if (!AllocateZeroed(&state.pixels, sizes.pixelBytes)) return kGpuAllocFailed;
        if (!AllocateZeroed(&state.coefficients, sizes.coefficientBytes)) return kGpuAllocFailed;
        state.isSetup = true;
        return kOk;
    });
}

int32_t TeardownGpuState(GpuState& state) {
    std::lock_guard hold(state.lock);
    return FreeBuffers(state);
}

int32_t DecodeGpuFrame(GpuState& state, bool copyToHost, const uint8_t* frame, uint8_t** output, int32_t outputPitch) {
    std::lock_guard hold(state.lock);
    // The kernel writes, and the copy back reads, outputPitch bytes per line of a pixel buffer that
    // is padded width bytes wide: a wider pitch would run past it. Before any set-up nothing fits.
    if (outputPitch < 1 || static_cast<uint64_t>(outputPitch) > PaddedWidth(state.width)) return kGpuDecodeFailed;
    // Nothing set up (torn down, or a set-up that allocated nothing): the frame has nowhere to go.
    // The decode fails as the refused copy of the frame would, without any device work, which on a
    // thread without a context would start one just to fail.
    if (state.frameCopy == nullptr) {
        std::fputs(kFrameCopyFailed, stdout);
        ReportError(kErrorInvalidValue);
        return kGpuDecodeFailed;
    }
    // An error that an earlier call left unread is not this decode's: set it aside (GetGPULastError
    // still reports it) so that the checks see only what this decode's own steps raise.
    SetAsideUnreadError();
    return InContext(state.context, kGpuDecodeFailed,
                     [&] { return DecodeInContext(state, copyToHost, frame, output, outputPitch); });
}

namespace {

int32_t DecodeInContext(GpuState& state, bool copyToHost, const uint8_t* frame, uint8_t** output, int32_t outputPitch) {
    const BufferSizes sizes = BufferSizesFor(state.width, state.height);
    const int2 blockGrid{static_cast<int>(kGridPositionsPerRow), static_cast<int>(sizes.rows)};
    const LaunchGeometry geometry = BlockGridLaunch(blockGrid);

    // Every block record starts at 0: huffman writes only the coded coefficients. A failure here
    // stays the thread's last error, which the check at huffman reports.
    const Error zeroFill = runtime::ZeroFill(state.coefficients, sizes.coefficientBytes);
    // The frame's block data: every byte from byte 4 to the end of a frame of the set-up height,
    // nothing beyond it. The rest of the device copy (its last 4 bytes when the height is a
    // multiple of 8) keeps the zeros of the set-up.
    if (runtime::Copy(state.frameCopy, frame + kRowLeadInBytes,
                      FrameBytes(static_cast<uint32_t>(state.height)) - kRowLeadInBytes,
                      CopyKind::HostToDevice) != kSuccess) {
        std::fputs(kFrameCopyFailed, stdout);
        return kGpuDecodeFailed;
    }
    // No kernel runs over a buffer that a partial set-up left missing or that the zero-fill did not
    // clear. On a GPU huffman would store through a null coefficient buffer and fault, and the
    // fault would disable the CUDA context, the host application's own work in it included, for
    // the rest of the process. The decode fails as the launch check would: with the zero-fill's error.
    if (zeroFill != kSuccess || !ReadyToLaunch(state)) {
        const Error error = runtime::LastError();
        std::fprintf(stderr, kHuffmanLaunchFailed, error != kSuccess ? error : kErrorInvalidValue);
        return kGpuDecodeFailed;
    }
    Launch(state.kernels.huffman, geometry, state.frameCopy, state.coefficients, blockGrid);
    if (!LaunchSucceeded(kHuffmanLaunchFailed)) return kGpuDecodeFailed;
    Launch(state.kernels.inverseDct, geometry, state.coefficients, state.pixels, blockGrid,
           int2{outputPitch, state.height}, outputPitch);
    if (!LaunchSucceeded(kInverseDctLaunchFailed)) return kGpuDecodeFailed;

    if (!copyToHost) {
        *output = state.pixels;  // the kernels may still be running
        return kOk;
    }
    if (runtime::Synchronize() != kSuccess) return kGpuSyncFailed;
    if (runtime::Copy(*output, state.pixels, static_cast<uint64_t>(state.height) * static_cast<uint64_t>(outputPitch),
                      CopyKind::DeviceToHost) != kSuccess)
        return kGpuCopyBackFailed;
    return kOk;
}

}  // namespace
}  // namespace framedec::gpu
