// The strip-parallel decode: a rectangle cut into vertical strips of whole block columns, all but
// the right-most decoded as worker-pool tasks, the right-most on the calling thread.
#pragma once

#include <cstdint>

#include "parallel/worker_pool.h"

namespace framedec {

// The eight values of one DecodeRegion call.
struct PixelRegion {
    uint8_t* output;
    uint32_t x, y, width, height, pitch;
    const uint8_t* frame;
    const uint16_t* table;
};

// Decodes region (already validated) in at most threads strips (1 to kMaxDecodeThreads) and
// returns when every strip is written, having waited only for its own tasks. A strip that the
// pool cannot take (it has no worker, or Submit fails) is decoded on the calling thread instead.
void DecodeInStrips(WorkerPool& pool, const PixelRegion& region, uint32_t threads) noexcept;

}  // namespace framedec
