#include "parallel/strip_decode.h"

#include <array>
#include <span>
#include <string>
#include <thread>

#include "codec/decode_region.h"
#include "parallel/strip_partition.h"

namespace framedec {
namespace {

PixelRegion StripOf(const PixelRegion& region, const Strip& strip) {
    PixelRegion part = region;
    part.output += strip.offset;
    part.x += strip.offset;
    part.width = strip.width;
    return part;
}

void Decode(const PixelRegion& r) { DecodeRegion(r.output, r.x, r.y, r.width, r.height, r.pitch, r.frame, r.table); }

}  // namespace

void DecodeInStrips(WorkerPool& pool, const PixelRegion& region, uint32_t threads) noexcept {
    const StripPartition partition = PartitionIntoStrips(region.width, threads);
    if (partition.count == 0) return;
    const uint32_t last = partition.count - 1;

    // Fixed-size bookkeeping: nothing here can fail once the strips are being handed out.
    std::array<std::string, kMaxDecodeThreads> ids;
    std::array<uint32_t, kMaxDecodeThreads> stripOfId{};
    std::array<bool, kMaxDecodeThreads> queued{};
    std::size_t idCount = 0;
    for (uint32_t i = 0; i < last; ++i) {
        const PixelRegion strip = StripOf(region, partition.strips[i]);
        try {
            ids[idCount] = pool.Submit([strip] { Decode(strip); });
            stripOfId[idCount] = i;
            ++idCount;
            queued[i] = true;
        } catch (...) {
            // Not queued; decoded on this thread below.
        }
    }

    Decode(StripOf(region, partition.strips[last]));
    for (uint32_t i = 0; i < last; ++i) {
        if (!queued[i]) Decode(StripOf(region, partition.strips[i]));
    }

    // No completion signal: poll for our own identifiers, giving up the time slice in between.
    // A pool that shuts down meanwhile (the process is exiting) drops the strips still queued;
    // once its workers are joined, the identifiers still pending are those, decoded here.
    const std::span<const std::string> own(ids.data(), idCount);
    while (pool.AnyPending(own)) {
        if (pool.Stopped()) {
            for (std::size_t k = 0; k < idCount; ++k) {
                if (pool.AnyPending(own.subspan(k, 1))) Decode(StripOf(region, partition.strips[stripOfId[k]]));
            }
            return;
        }
        std::this_thread::yield();
    }
}

}  // namespace framedec
