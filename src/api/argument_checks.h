// Argument checks shared by the exported decoders. Sums are formed in 64 bits, so no combination
// of 32-bit arguments can wrap around into the accepted range.
#pragma once

#include <cstdint>

#include "codec/frame_geometry.h"

namespace framedec {

// Whether start + length lies in minEnd..maxEnd.
constexpr bool EndWithin(uint32_t start, uint32_t length, uint32_t minEnd, uint32_t maxEnd) {
    const uint64_t end = uint64_t{start} + length;
    return end >= minEnd && end <= maxEnd;
}

constexpr bool BlockAligned(uint32_t position) { return position % kBlockSize == 0; }

// The rectangle checks of the pixel decoders: its last column within the image width, its last
// line within the image height, the corner on a block boundary.
constexpr bool PixelRectangleAccepted(uint32_t x, uint32_t y, uint32_t width, uint32_t height) {
    return EndWithin(x, width, 1, kMaxImageWidth) && EndWithin(y, height, 1, kMaxImageHeight) &&
           BlockAligned(x) && BlockAligned(y);
}

// The coefficient decoder covers whole blocks: its rectangle may reach pixel column 1247 (the
// outside part of the last block column) and must reach at least to the end of the first block.
constexpr bool CoefficientRectangleAccepted(uint32_t x, uint32_t y, uint32_t width, uint32_t height) {
    return EndWithin(x, width, kBlockSize, kPaddedImageWidth) &&
           EndWithin(y, height, kBlockSize, kMaxImageHeight) && BlockAligned(x) && BlockAligned(y);
}

// The DC preview counts in blocks and covers the whole 160-position grid of each block row.
constexpr bool BlockRectangleAccepted(uint32_t x, uint32_t y, uint32_t width, uint32_t height) {
    return EndWithin(x, width, 1, kGridPositionsPerRow) && EndWithin(y, height, 1, kMaxBlockRows);
}

}  // namespace framedec
