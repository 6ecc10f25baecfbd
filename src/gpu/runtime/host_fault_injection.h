// Test-only controls of the host device (the host backend, and the device behind the test double of
// NVIDIA's runtime): make the next call of one operation fail with a chosen error, pretend there is
// no device, and look at the device's allocations, kernel library loads and kernel runs. Only tests
// call these.
#pragma once

#include <cstddef>

#include "gpu/runtime/host_device.h"
#include "gpu/runtime/runtime_types.h"

namespace framedec::gpu::host_testing {

enum class Operation {
    DeviceCount, SetDevice, LoadLibrary, GetKernel, KernelAttributes, Allocate, ZeroFill, Copy, Launch, Synchronize,
    Free, PushContext, PopContext
};

// The next call of operation, from any thread, fails with error and does nothing else; with
// skipCalls, the call after that many more calls of the operation, which run normally. An execution
// fault (IsStickyError) then stays, as a kernel fault does: every later call of every operation
// reports it until ResetFaults.
void FailNextCall(Operation operation, Error error, unsigned skipCalls = 0);

// While set, every operation fails with no device (100) and the device count is 0.
void SetNoDevice(bool noDevice);

// The number of devices the host device counts (1 unless a test sets more); SetDevice takes
// 0 to count - 1.
void SetDeviceCount(int count);

// A new context on device, besides its primary one, as a host application makes with the driver
// API; and the device's primary context. Neither is ever destroyed.
host::Context* CreateContext(int device);
host::Context* PrimaryContext(int device);

// Clears injected failures, the no-device setting, an execution fault and the calling thread's
// last error. Memory stays.
void ResetFaults();

// Number of live allocations, the bytes they hold, and the size of the allocation that starts at
// address (0 if none).
std::size_t LiveAllocations();
std::size_t MemoryInUse();
std::size_t AllocationBytes(const void* address);

// Number of launches so far that the device accepted and ran (or that faulted it).
std::size_t KernelRuns();

// Number of kernel library loads so far that succeeded.
std::size_t KernelLibraryLoads();

}  // namespace framedec::gpu::host_testing
