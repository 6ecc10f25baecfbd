// The one way kernels are found and launched, for both backends: a kernel is looked up by name in
// the loaded kernel library, then launched by its handle with one GPU thread per 8 x 8 block of the
// block grid, in thread blocks of 4 x 2 threads, on the default stream with no dynamic shared memory.
#pragma once

#include <type_traits>

#include "gpu/kernels/int2.h"
#include "gpu/kernels/kernels.h"
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

// A kernel found in the loaded kernel library, typed by its parameters.
template <class... Params>
struct LaunchableKernel {
    runtime::Kernel handle{};
};

// Looks the kernel up by name in library; on failure the kernel is left as it was.
template <class... Params>
Error FindKernel(runtime::KernelLibrary library, KernelName<Params...> name, LaunchableKernel<Params...>* kernel) {
    runtime::Kernel found{};
    const Error error = runtime::GetKernel(&found, library, name.mangled);
    if (error == kSuccess) kernel->handle = found;
    return error;
}

// Queues kernel(args...). The result is not returned: a refused launch becomes the calling
// thread's last error, which callers read with runtime::LastError().
template <class... Params>
void Launch(const LaunchableKernel<Params...>& kernel, const LaunchGeometry& geometry,
            std::type_identity_t<Params>... args) {
    void* arguments[] = {&args...};
    runtime::LaunchKernel(kernel.handle, geometry.grid, geometry.block, arguments);
}

// The two kernels a frame decode launches, once the kernel library is loaded.
struct FrameKernels {
    bool loaded = false;
    runtime::KernelLibrary library{};  // loaded once: a later attempt only looks up what is missing
    bool libraryLoaded = false;
    LaunchableKernel<unsigned char*, float*, int2> huffman;
    LaunchableKernel<float*, unsigned char*, int2, int2, int> inverseDct;
};

// Loads the kernel library and finds both frame kernels; loaded only when all three steps succeed
// (the first failure is returned and stays the thread's last error). A loaded set stays loaded.
inline Error LoadFrameKernels(FrameKernels* kernels) {
    if (kernels->loaded) return kSuccess;
    if (!kernels->libraryLoaded) {
        if (const Error error = runtime::LoadKernelLibrary(&kernels->library); error != kSuccess) return error;
        kernels->libraryLoaded = true;
    }
    Error error = FindKernel(kernels->library, kHuffman, &kernels->huffman);
    if (error == kSuccess) error = FindKernel(kernels->library, kInverseDctLlm, &kernels->inverseDct);
    kernels->loaded = error == kSuccess;
    return error;
}

}  // namespace framedec::gpu
