// Sizes of the GPU state's device buffers for one set-up, in 64-bit arithmetic. Every buffer covers
// the whole block grid that a decode launches (160 blocks across, ceil(height / 8) down), so no
// kernel reads or writes past a buffer whatever the set-up size.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/frame_geometry.h"

namespace framedec::gpu {

struct BufferSizes {
    uint64_t rows;               // block rows: ceil(height / 8)
    uint64_t paddedWidth;        // width rounded up to a multiple of 4
    uint64_t frameCopyBytes;     // whole block rows of 2560 bytes: height x 320 for whole-block heights
    uint64_t pixelBytes;         // 8 x rows lines of padded width bytes
    uint64_t coefficientBytes;   // one 64-float record per block of the block grid
};

constexpr uint64_t PaddedWidth(int32_t width) {
    return width > 0 ? (static_cast<uint64_t>(width) + 3) / 4 * 4 : 0;
}

// width and height at least 1.
constexpr BufferSizes BufferSizesFor(int32_t width, int32_t height) {
    const uint64_t rows = (static_cast<uint64_t>(height) + kBlockSize - 1) / kBlockSize;
    return {rows, PaddedWidth(width), rows * kBlockRowBytes, PaddedWidth(width) * kBlockSize * rows,
            rows * kGridPositionsPerRow * kBlockPixels * sizeof(float)};
}

static_assert(BufferSizesFor(1246, 1024).frameCopyBytes == 327680);
static_assert(BufferSizesFor(1246, 1024).pixelBytes == 1277952);
static_assert(BufferSizesFor(1245, 8).paddedWidth == 1248 && BufferSizesFor(1280, 8).paddedWidth == 1280);

}  // namespace framedec::gpu
