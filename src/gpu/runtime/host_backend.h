// The host backend of the GPU runtime interface: one simulated device whose memory is host memory
// kept in a registry and whose launches run the kernel's whole grid on the calling thread, one GPU
// thread after another, so the work is complete when the launch returns. Device operations run one
// at a time, in the order issued, like work on the default stream.
//
// Faithful where callers can tell: addresses that are not device memory are refused (1), a grid or
// thread block with a zero or oversized dimension is refused (9), allocations beyond the device's
// memory fail (2), and the last error is kept per host thread and cleared when read. A kernel given
// an address outside device memory is accepted but does not run: it faults the device (700). As in
// a CUDA context after a kernel fault, an execution fault (IsStickyError), raised so or injected,
// is then the answer of every operation on every thread, the last error included, which no longer
// clears; only a new process (here: the tests' ResetFaults) has a working device again.
#pragma once

#include <cstddef>
#include <type_traits>
#include <utility>

#include "gpu/runtime/runtime.h"

namespace framedec::gpu::runtime {

// How a kernel is named to the host backend: the function, a runner that calls it with the
// launch's argument array, and a check that its pointer arguments lie in device memory.
struct Kernel {
    void (*function)();
    void (*runThread)(void (*function)(), void** arguments);
    bool (*pointersOnDevice)(void** arguments);
};

namespace detail {

// Whether address lies inside a live allocation; called only while a launch holds the device.
bool InDeviceMemory(const void* address);

template <class T>
bool ArgumentOnDevice(void* argument) {
    if constexpr (std::is_pointer_v<T>) {
        return InDeviceMemory(*static_cast<T*>(argument));
    } else {
        return true;
    }
}

template <class... Args, std::size_t... I>
void RunThread(void (*function)(), void** arguments, std::index_sequence<I...>) {
    reinterpret_cast<void (*)(Args...)>(function)(*static_cast<Args*>(arguments[I])...);
}

template <class... Args, std::size_t... I>
bool PointersOnDevice(void** arguments, std::index_sequence<I...>) {
    return (ArgumentOnDevice<Args>(arguments[I]) && ...);
}

}  // namespace detail

template <class... Args>
Kernel KernelOf(void (*kernel)(Args...)) {
    return Kernel{
        reinterpret_cast<void (*)()>(kernel),
        [](void (*function)(), void** arguments) {
            detail::RunThread<Args...>(function, arguments, std::index_sequence_for<Args...>{});
        },
        [](void** arguments) { return detail::PointersOnDevice<Args...>(arguments, std::index_sequence_for<Args...>{}); },
    };
}

Error DeviceCount(int* count);
Error KernelAttributes(const Kernel& kernel);  // whether the device can run kernel (always, when it works)
Error Allocate(void** address, std::size_t bytes);  // on failure the address is null
Error ZeroFill(void* address, std::size_t bytes);
Error Copy(void* destination, const void* source, std::size_t bytes, CopyKind kind);
Error LaunchKernel(const Kernel& kernel, Dim3 grid, Dim3 block, void** arguments);
Error LastError();
Error Synchronize();
Error Free(void* address);

}  // namespace framedec::gpu::runtime
