#include "gpu/runtime/cuda_entry_points.h"

#include <atomic>

namespace framedec::gpu {
namespace {

std::atomic<const CudaEntryPoints*> replacement{nullptr};

}  // namespace

const CudaEntryPoints& CudaRuntime() {
    if (const CudaEntryPoints* replaced = replacement.load(std::memory_order_acquire)) return *replaced;
    return PlatformCudaRuntime();
}

void cuda_testing::ReplaceCudaRuntime(const CudaEntryPoints& entryPoints) {
    replacement.store(&entryPoints, std::memory_order_release);
}

}  // namespace framedec::gpu
