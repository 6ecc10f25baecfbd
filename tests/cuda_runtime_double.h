// A test double of NVIDIA's runtime for the cuda backend: the entry points the backend calls,
// answered by the host device (gpu/runtime/host_device.h) as a GPU would answer them. The library
// "loaded" is the embedded fatbin, checked to be one; a kernel is found only if its name is in
// that fatbin's device code, and then runs as the host build of the same kernel. So the backend's
// kernel lookup, argument packing and error handling run here, with the host device's fault
// injection behind them.
#pragma once

#include "gpu/runtime/cuda_entry_points.h"

namespace framedec::testing {

const gpu::CudaEntryPoints& CudaRuntimeDouble();

// The code the last successful libraryLoadData was given.
const void* LastLoadedCode();

}  // namespace framedec::testing
