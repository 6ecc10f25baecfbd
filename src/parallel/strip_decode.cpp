#include "parallel/strip_decode.h"

#include <array>
#include <functional>
#include <span>
#include <string>
#include <thread>

#include "codec/decode_region.h"
#include "parallel/cpu_relax.h"
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

// Spin hints between two yields of the waiting caller: a few microseconds.
constexpr uint32_t kSpinsPerYield = 64;

void Decode(const PixelRegion& r) { DecodeRegion(r.output, r.x, r.y, r.width, r.height, r.pitch, r.frame, r.table); }

}  // namespace

void DecodeInStrips(WorkerPool& pool, const PixelRegion& region, uint32_t threads) noexcept {
    const StripPartition partition = PartitionIntoStrips(region.width, threads);
    if (partition.count == 0) return;
    const uint32_t last = partition.count - 1;

    // Fixed-size bookkeeping. The strips go to the pool in one batch; if it cannot take them (no
    // worker, out of memory), they are decoded on this thread and there is nothing to wait for.
    std::array<std::function<void()>, kMaxDecodeThreads> runs;
    std::array<std::string, kMaxDecodeThreads> ids;
    std::size_t idCount = 0;
    if (last > 0) {
        try {
            for (uint32_t i = 0; i < last; ++i) runs[i] = [strip = StripOf(region, partition.strips[i])] { Decode(strip); };
            pool.SubmitAll(std::span(runs.data(), last), std::span(ids.data(), last), ids.data());
            idCount = last;
        } catch (...) {
            // Nothing queued.
        }
    }

    Decode(StripOf(region, partition.strips[last]));
    if (idCount < last) {
        for (uint32_t i = 0; i < last; ++i) Decode(StripOf(region, partition.strips[i]));
        return;
    }

    // Our strips that no worker has started are decoded here, newest first while the workers take
    // the oldest: the call never waits for a worker to start (none can under the Windows loader
    // lock), and strips beyond what the processors run at once cost no wake-ups.
    while (const std::function<void()> run = pool.TakeBack(ids.data())) run();

    // Every strip still pending is running on a worker (or was dropped by a shutdown).
    // No completion signal: poll for our own identifiers, giving up the time slice in between, and
    // take the pool's lock to ask again only once as many tasks have finished as were ours pending
    // (a waiter that takes the lock after every finished task holds up the workers that need it).
    // A pool that shuts down meanwhile (the process is exiting) drops the strips still queued;
    // once its workers are joined, the identifiers still pending are those, decoded here.
    const std::span<const std::string> own(ids.data(), idCount);
    for (;;) {
        const uint64_t seen = pool.FinishedCount();
        const WorkerPool::PendingState state = pool.CheckPending(own);
        if (state.pendingCount == 0) return;
        if (state.stopped) {
            for (std::size_t k = 0; k < idCount; ++k) {
                if (pool.AnyPending(own.subspan(k, 1))) Decode(StripOf(region, partition.strips[k]));
            }
            return;
        }
        // Between yields, spin on the count for a moment with the processor's spin hint: a loop of
        // bare yields would keep the other hardware thread of the core, possibly the one decoding
        // our last strip, busy with system calls.
        const uint64_t target = seen + state.pendingCount;
        for (;;) {
            uint32_t spins = 0;
            while (spins < kSpinsPerYield && pool.FinishedCount() < target) {
                CpuRelax();
                ++spins;
            }
            if (spins < kSpinsPerYield) break;
            std::this_thread::yield();
        }
    }
}

}  // namespace framedec
