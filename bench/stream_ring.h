// A host decoding a recording: every frame arrives in memory of its own and is decoded into one of
// a ring of output buffers, each last touched a whole ring earlier. The ring is sized from the
// processor's caches (twice the largest one the system reports, the shared last-level cache where
// there is one), so that neither a frame nor its output buffer is in any cache when its turn comes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace framedec::bench {

// The largest cache the operating system reports for this processor, in bytes; 0 when it reports
// none.
std::size_t LargestCacheBytes();

// Bytes the ring spans: twice LargestCacheBytes() (or a fallback when none is reported).
std::size_t StreamRingBytes();

// Copies of one input and as many output buffers (64-byte aligned, already written once so that no
// page fault lands in a timing), taken in turn. All rings share one arena, allocated at first use.
class StreamRing {
  public:
    StreamRing(const std::vector<uint8_t>& input, std::size_t outputBytes);

    struct Entry {
        const uint8_t* input;
        uint8_t* output;
    };
    Entry Next();
    std::size_t Length() const { return length_; }

  private:
    uint8_t* arena_;
    std::size_t stride_, length_, outputOffset_, next_ = 0;
};

}  // namespace framedec::bench
