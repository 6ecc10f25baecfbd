#include "gpu/kernels/idct.cu"  // the kernel source, built by the host compiler for the host backend
