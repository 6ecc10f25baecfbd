// The GPU runtime interface: the few device operations the GPU decode needs (device count, the
// calling thread's current device and making another one current, load the kernel library, find a
// kernel in it by name, kernel attributes, allocate, zero-fill, copy, launch, last error,
// synchronise, free), each mapping one to one onto the CUDA runtime call of the same job, and the
// driver's three calls on the thread's context stack (current context, push, pop; Context is the
// driver's handle, null for none). Every device operation works in the calling thread's current
// context; on a thread without one, the runtime first makes its current device's primary context
// current and leaves it so. Three backends implement it:
//   cuda  calls into NVIDIA's runtime; the kernels come from the fatbin embedded in the library;
//   host  a stand-in that keeps "device" memory on the host and runs each launch's whole grid on
//         the CPU, so every GPU step builds, runs and is tested on machines without a GPU;
//   none  no device: every operation fails as NVIDIA's runtime does without a driver.
// Results are the CUDA runtime's error numbers in every backend (0 = success; the driver's numbers
// for the context calls, the same for the errors they share). Every failing runtime call also
// becomes the calling thread's last error (the context calls do not: they are the driver's), which
// LastError() returns and clears, except an execution fault (IsStickyError): that one stays for
// every later call of the process (and so does a missing driver, in NVIDIA's runtime and the none
// backend).
#pragma once

#include "gpu/runtime/runtime_types.h"

#if defined(FRAMEDEC_GPU_BACKEND_CUDA)
#include "gpu/runtime/cuda_backend.h"
#elif defined(FRAMEDEC_GPU_BACKEND_HOST)
#include "gpu/runtime/host_backend.h"
#elif defined(FRAMEDEC_GPU_BACKEND_NONE)
#include "gpu/runtime/none_backend.h"
#else
#error "define FRAMEDEC_GPU_BACKEND_CUDA, FRAMEDEC_GPU_BACKEND_HOST or FRAMEDEC_GPU_BACKEND_NONE"
#endif
