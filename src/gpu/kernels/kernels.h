// The kernels as host code sees them. The runtime finds each in the loaded kernel library by its
// name in the device code (the mangled name of the __global__ function, the same for every
// architecture and for the host compiler's build of the same source); the name carries the
// kernel's parameter types, so that launches pack exactly those (gpu/launch.h). The declarations
// below are the host backend's build of the kernels (huffman.cu and idct.cu).
#pragma once

#include "gpu/kernels/int2.h"

namespace framedec::gpu {

// A kernel's name in the device code, typed by the kernel's parameters.
template <class... Params>
struct KernelName {
    const char* mangled;
};

// One thread per block: decodes the block's slot of frameCopy into its 64 levels (floats, natural
// order) in coefficients. blockGrid: blocks across, blocks down.
void huffman(unsigned char* frameCopy, float* coefficients, int2 blockGrid);
inline constexpr KernelName<unsigned char*, float*, int2> kHuffman{"_ZN8framedec3gpu7huffmanEPhPf4int2"};

// One thread per block: 64 levels to 8 x 8 pixels (dequantised with Q, inverse DCT, +128, clamp).
// imageSize.x is the pixel buffer's pitch in bytes (imageSize.y, the height, is not read).
// The butterfly kernel leaves the levels in place and writes no column at or beyond columnLimit.
void inverseDCT_2DLLM(float* coefficients, unsigned char* pixels, int2 blockGrid, int2 imageSize, int columnLimit);
inline constexpr KernelName<float*, unsigned char*, int2, int2, int> kInverseDctLlm{
    "_ZN8framedec3gpu16inverseDCT_2DLLMEPfPh4int2S3_i"};

// Cosine-sum kernels: dequantise the levels in place and clip no columns.
void inverseDCT_2DXYCONV(float* coefficients, unsigned char* pixels, int2 blockGrid, int2 imageSize);
void inverseDCT_2DCONV(float* coefficients, unsigned char* pixels, int2 blockGrid, int2 imageSize);
inline constexpr KernelName<float*, unsigned char*, int2, int2> kInverseDctXyConv{
    "_ZN8framedec3gpu19inverseDCT_2DXYCONVEPfPh4int2S3_"};
inline constexpr KernelName<float*, unsigned char*, int2, int2> kInverseDctConv{
    "_ZN8framedec3gpu17inverseDCT_2DCONVEPfPh4int2S3_"};

}  // namespace framedec::gpu
