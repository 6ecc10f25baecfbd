// The int2 kernel-argument type as host code sees it: CUDA's own with the cuda backend, an
// identical plain struct (x, then y; 8 bytes) with the host backend.
#pragma once

#if defined(FRAMEDEC_GPU_BACKEND_CUDA) || defined(__CUDACC__)
#include <vector_types.h>
#else
struct int2 {
    int x;
    int y;
};
#endif
