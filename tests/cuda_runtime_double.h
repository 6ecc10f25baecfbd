// A test double of NVIDIA's runtime for the cuda backend: the entry points the backend calls,
// answered by the host device (gpu/runtime/host_device.h) as a GPU would answer them. The library
// "loaded" is the embedded fatbin, checked to be one; a kernel is found only if its name is in
// that fatbin's device code, and then runs as the host build of the same kernel. So the backend's
// kernel lookup, argument packing and error handling run here, with the host device's fault
// injection behind them.
// The devices, the threads' current devices and their context stacks are the host device's; the
// driver's context calls (found through cudaGetDriverEntryPointByVersion) work on those stacks.
// It logs on which device each call that works on a device ran.
#pragma once

#include <string>
#include <vector>

#include "gpu/runtime/cuda_entry_points.h"

namespace framedec::testing {

const gpu::CudaEntryPoints& CudaRuntimeDouble();

// A call that worked on a device: the entry point's name and the device of the calling thread's
// current context.
struct DeviceCall {
    std::string entryPoint;
    int device;
};

// The device calls since the last TakeDeviceCalls, from every thread, in order; clears the log.
std::vector<DeviceCall> TakeDeviceCalls();

// The code the last successful libraryLoadData was given.
const void* LastLoadedCode();

}  // namespace framedec::testing
