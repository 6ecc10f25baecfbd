// The host device: a simulated GPU whose memory is host memory kept in a registry and whose
// launches run the kernel's whole grid on the calling thread, one GPU thread after another, so the
// work is complete when the launch returns. Device operations run one at a time, in the order
// issued, like work on the default stream. Its kernel library holds the host compiler's build of
// the kernel sources, found by their names in the device code. It counts one device unless a test
// asks for more (host_fault_injection.h), all served by the same memory.
//
// Contexts as CUDA's driver keeps them: each host thread has a stack of contexts, whose top is the
// context its work goes to, and each device has a primary context and may have more. A device
// operation on a thread whose stack is empty first makes the primary context of the thread's
// current device current, as NVIDIA's runtime does, and leaves it current. Memory belongs to the
// context that allocated it: another context's operations do not find it (1, or a kernel fault).
//
// It is the host backend of the runtime interface (gpu/runtime/host_backend.h), and behind a test
// double of NVIDIA's runtime entry points it stands in for the GPU under the cuda backend's own code.
//
// Faithful where callers can tell: addresses that are not device memory are refused (1), a grid or
// thread block with a zero or oversized dimension is refused (9), allocations beyond the device's
// memory fail (2), a kernel name the library does not hold is not found (500), and the last error
// is kept per host thread and cleared when read. A kernel given an address outside device memory
// is accepted but does not run: it faults the device (700). As in a CUDA context after a kernel
// fault, an execution fault (IsStickyError), raised so or injected, is then the answer of every
// operation on every thread, the last error included, which no longer clears; only a new process
// (here: the tests' ResetFaults) has a working device again.
#pragma once

#include <cstddef>
#include <type_traits>
#include <utility>

#include "gpu/runtime/runtime_types.h"

namespace framedec::gpu::host {

// A kernel as the host device runs it: the function, a runner that calls it with the launch's
// argument array, and a check that its pointer arguments lie in device memory.
struct Kernel {
    void (*function)();
    void (*runThread)(void (*function)(), void** arguments);
    bool (*pointersOnDevice)(void** arguments);
};

// The kernel library: the host builds of the kernels, by name.
struct NamedKernel {
    const char* name;
    Kernel kernel;
};
struct KernelLibrary {
    const NamedKernel* kernels;
    std::size_t count;
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

// A CUDA context: the address space of one device (defined in host_device.cpp).
struct Context;

Error DeviceCount(int* count);
// The device of the thread's current context, else the thread's own setting (0 until SetDevice).
// Fails only without a device.
Error CurrentDevice(int* device);
// Sets the thread's device (101, invalid device, beyond the count) and makes its primary context
// current: in place of the top of the thread's context stack, or as its only entry.
Error SetDevice(int device);
// The driver's context stack of the calling thread. As the driver's calls, these return their
// failure and leave the thread's last error alone. Reading the top (null for an empty stack) never
// fails; a push of null or a pop of an empty stack fails with 201 (invalid context).
Error CurrentContext(Context** context);
Error PushContext(Context* context);
Error PopContext(Context** context);
Error LoadKernelLibrary(const KernelLibrary** library);  // the host builds of every kernel
Error GetKernel(const Kernel** kernel, const KernelLibrary* library, const char* name);
Error KernelAttributes(const Kernel& kernel);  // whether the device can run kernel (always, when it works)
Error Allocate(void** address, std::size_t bytes);  // on failure the address is null
Error ZeroFill(void* address, std::size_t bytes);
Error Copy(void* destination, const void* source, std::size_t bytes, CopyKind kind);
Error LaunchKernel(const Kernel& kernel, Dim3 grid, Dim3 block, void** arguments);
Error LastError();
Error Synchronize();
Error Free(void* address);

// The kernel library's contents (host_kernels.cpp).
KernelLibrary HostKernels();

}  // namespace framedec::gpu::host
