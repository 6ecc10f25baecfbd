// The kernels as host code sees them: plain declarations, whose addresses the launch helper hands
// to the runtime (gpu/launch.h). Defined in huffman.cu and idct.cu.
#pragma once

#include "gpu/kernels/int2.h"

namespace framedec::gpu {

// One thread per block: decodes the block's slot of frameCopy into its 64 levels (floats, natural
// order) in coefficients. blockGrid: blocks across, blocks down.
void huffman(unsigned char* frameCopy, float* coefficients, int2 blockGrid);

// One thread per block: 64 levels to 8 x 8 pixels (dequantised with Q, inverse DCT, +128, clamp).
// imageSize.x is the pixel buffer's pitch in bytes (imageSize.y, the height, is not read).
// The butterfly kernel leaves the levels in place and writes no column at or beyond columnLimit.
void inverseDCT_2DLLM(float* coefficients, unsigned char* pixels, int2 blockGrid, int2 imageSize, int columnLimit);
// Cosine-sum kernels: dequantise the levels in place and clip no columns.
void inverseDCT_2DXYCONV(float* coefficients, unsigned char* pixels, int2 blockGrid, int2 imageSize);
void inverseDCT_2DCONV(float* coefficients, unsigned char* pixels, int2 blockGrid, int2 imageSize);

}  // namespace framedec::gpu
