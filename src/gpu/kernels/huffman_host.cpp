#include "gpu/kernels/huffman.cu"  // the kernel source, built by the host compiler for the host backend
