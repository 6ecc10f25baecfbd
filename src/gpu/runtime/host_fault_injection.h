// Test-only controls of the host backend: make the next call of one operation fail with a chosen
// error, pretend there is no device, and look at the device's allocations. Only tests call these.
#pragma once

#include <cstddef>

#include "gpu/runtime/runtime.h"

namespace framedec::gpu::host_testing {

enum class Operation { DeviceCount, Allocate, ZeroFill, Copy, Launch, Synchronize, Free };

// The next call of operation, from any thread, fails with error and does nothing else; with
// skipCalls, the call after that many more calls of the operation, which run normally.
void FailNextCall(Operation operation, Error error, unsigned skipCalls = 0);

// While set, every operation fails with no device (100) and the device count is 0.
void SetNoDevice(bool noDevice);

// Clears injected failures, the no-device setting and a pending kernel fault. Memory stays.
void ResetFaults();

// Number of live allocations, and the size of the allocation that starts at address (0 if none).
std::size_t LiveAllocations();
std::size_t AllocationBytes(const void* address);

}  // namespace framedec::gpu::host_testing
