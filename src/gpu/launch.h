// The one way kernels are launched, for both backends: one GPU thread per 8 x 8 block of the block
// grid, in thread blocks of 4 x 2 threads, on the default stream with no dynamic shared memory.
#pragma once

#include <type_traits>

#include "gpu/kernels/int2.h"
#include "gpu/runtime/runtime.h"

namespace framedec::gpu {

inline constexpr Dim3 kThreadBlock{4, 2, 1};

struct LaunchGeometry {
    Dim3 grid;   // thread blocks
    Dim3 block;  // threads per thread block
};

// ceil(blocks across / 4) x ceil(blocks down / 2) x 1 thread blocks of 4 x 2 x 1 threads. An empty
// block grid gives an empty launch grid, which the runtime refuses.
constexpr LaunchGeometry BlockGridLaunch(int2 blockGrid) {
    const auto ceilDiv = [](int n, unsigned d) { return n > 0 ? (static_cast<unsigned>(n) + d - 1) / d : 0u; };
    return {Dim3{ceilDiv(blockGrid.x, kThreadBlock.x), ceilDiv(blockGrid.y, kThreadBlock.y), 1}, kThreadBlock};
}

// Queues kernel(args...). The result is not returned: a refused launch becomes the calling
// thread's last error, which callers read with runtime::LastError().
template <class... Args>
void Launch(void (*kernel)(Args...), const LaunchGeometry& geometry, std::type_identity_t<Args>... args) {
    void* arguments[] = {&args...};
    runtime::LaunchKernel(runtime::KernelOf(kernel), geometry.grid, geometry.block, arguments);
}

}  // namespace framedec::gpu
