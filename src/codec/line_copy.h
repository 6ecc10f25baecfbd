// Copying lines from a small buffer in cache to an image with full-width stores, streaming ones for
// large images: the copy of the staged output path that the benchmark keeps as a control
// (bench/staged_region.h) beside the straight writes the library makes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace framedec {

// Outputs spanning at least this many bytes are written with streaming stores: an image this large
// would mostly have left a core's own cache (1 to 2 MiB) before the host reads it, and writing it
// through the cache would first read every line of it from memory.
inline constexpr std::size_t kStreamingOutputBytes = std::size_t{1} << 20;

// Copies count bytes to out like memcpy, but writes the whole 64-byte cache lines of the
// destination with non-temporal stores (straight to memory, without reading the line first); the
// partial lines at either end take ordinary stores, so no byte outside [out, out + count) is
// written. Where the processor has no such stores, a plain copy.
void StreamLine(uint8_t* out, const uint8_t* in, std::size_t count);

// Orders the streaming stores made so far before any later store, so that whoever is told the
// image is complete also sees it. Call once after the last StreamLine of a decode.
void FinishStreaming();

}  // namespace framedec
