// How a rectangle is cut into vertical strips of whole 8-pixel block columns for the parallel
// decode. The extra columns of an uneven split go to the left-most strips; the right-most strip
// ends exactly at the rectangle's right edge and so takes the partial block column, if any.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#include "codec/frame_geometry.h"

namespace framedec {

// The largest thread count a caller may ask for, the calling thread included.
inline constexpr uint32_t kMaxDecodeThreads = 32;

struct Strip {
    uint32_t offset;  // pixels from the rectangle's left edge; a multiple of 8
    uint32_t width;   // pixels
};

struct StripPartition {
    uint32_t count = 0;  // 0 only for a rectangle of width 0
    std::array<Strip, kMaxDecodeThreads> strips{};
};

// Cuts width pixels into at most threads strips (threads in 1 to kMaxDecodeThreads).
constexpr StripPartition PartitionIntoStrips(uint32_t width, uint32_t threads) {
    StripPartition partition;
    const uint32_t blockColumns = (width + kBlockSize - 1) / kBlockSize;
    partition.count = std::min(threads, blockColumns);
    if (partition.count == 0) return partition;
    const uint32_t base = blockColumns / partition.count;
    const uint32_t extra = blockColumns % partition.count;
    uint32_t offset = 0;
    for (uint32_t i = 0; i < partition.count; ++i) {
        const uint32_t columns = base + (i < extra ? 1 : 0);
        const bool last = i + 1 == partition.count;
        partition.strips[i] = {offset, last ? width - offset : kBlockSize * columns};
        offset += kBlockSize * columns;
    }
    return partition;
}

}  // namespace framedec
