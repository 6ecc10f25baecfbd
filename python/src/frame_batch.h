// Runs one decode per frame of a batch on up to `threads` threads, each frame whole on one thread,
// on a pool of worker threads that lives as long as the process (starting and joining threads on
// every call cost more than decoding two small frames).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace framedec::python {

// Calls decode(i) for every i below count, spread over at most threads threads, the calling thread
// among them: it decodes frames too, and takes back those that no worker has started, so it never
// waits for a worker to wake. Returns the first non-zero result, else 0. Workers that cannot be
// started leave their share to the others; nothing is skipped.
int32_t ForEachFrame(std::size_t count, uint32_t threads, const std::function<int32_t(std::size_t)>& decode);

// In a child after fork: the parent's workers do not exist here; the next batch starts new ones.
void ForgetBatchWorkersAfterFork();

}  // namespace framedec::python
