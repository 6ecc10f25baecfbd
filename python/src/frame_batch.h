// Runs one decode per frame of a batch on up to `threads` threads, each frame whole on one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace framedec::python {

// Calls decode(i) for every i below count, spread over at most threads threads (the calling
// thread among them). Returns the first non-zero result, else 0. A thread that cannot be started
// leaves its share to the others; nothing is skipped.
int32_t ForEachFrame(std::size_t count, uint32_t threads, const std::function<int32_t(std::size_t)>& decode);

}  // namespace framedec::python
