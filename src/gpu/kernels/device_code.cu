// All kernels in one module: the unit the device compilers build into the library's embedded
// fatbin, so that one loaded library holds every kernel the decode launches.
#include "gpu/kernels/huffman.cu"
#include "gpu/kernels/idct.cu"
