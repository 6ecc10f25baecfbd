// DecodeDataMultiThread: DecodeData's rectangle decoded in vertical strips over the worker pool.
// A refused call returns 5 before it writes anything or touches the pool.
#include "api/argument_checks.h"
#include "api/export.h"
#include "api/result_codes.h"
#include "codec/decode_region.h"
#include "parallel/strip_decode.h"
#include "parallel/strip_partition.h"

using namespace framedec;

FRAMEDEC_EXPORT int32_t DecodeDataMultiThread(uint8_t* output, uint32_t x, uint32_t y, uint32_t width,
                                              uint32_t height, uint32_t pitch, const uint8_t* frame,
                                              const uint16_t* table, uint32_t threads) noexcept {
    if (output == nullptr || frame == nullptr || table == nullptr) return kInvalidArgument;
    if (!EndWithin(x, width, 1, kMaxImageWidth)) return kInvalidArgument;
    if (!EndWithin(y, height, 1, kMaxImageHeight)) return kInvalidArgument;
    if (threads < 1 || threads > kMaxDecodeThreads) return kInvalidArgument;
    if (!BlockAligned(x) || !BlockAligned(y)) return kInvalidArgument;

    const PixelRegion region{output, x, y, width, height, pitch, frame, table};
    try {
        // The first accepted call creates the pool and starts its workers, also when it will
        // queue nothing. Once the pool has shut down at exit, the caller decodes alone.
        const WorkerPool::Hold hold;
        if (hold.pool() == nullptr) {
            DecodeRegion(output, x, y, width, height, pitch, frame, table);
        } else {
            DecodeInStrips(*hold.pool(), region, threads);
        }
    } catch (...) {
        // Only creating the pool can throw (out of memory), before anything was written.
        DecodeRegion(output, x, y, width, height, pitch, frame, table);
    }
    return kOk;
}
