#include "stream_ring.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <string>

namespace framedec::bench {
namespace {

constexpr std::size_t kBufferAlignment = 64;
// Bytes the ring touches between two uses of one entry, in units of the largest cache: enough that
// a replacement policy that is not exactly least-recently-used has still evicted the entry.
constexpr std::size_t kCachesPerRing = 2;
// For a system that reports no cache size: more than any last-level cache of a camera host today.
constexpr std::size_t kUnreportedRingBytes = std::size_t{1} << 30;
constexpr std::size_t kMinRingLength = 3;

// The caches under /sys: each index directory is one cache, with its size ("2048K").
std::size_t SysfsLargestCacheBytes() {
    std::size_t largest = 0;
    for (int index = 0; index < 16; ++index) {
        std::ifstream sizeFile("/sys/devices/system/cpu/cpu0/cache/index" + std::to_string(index) + "/size");
        std::string size;
        if (!(sizeFile >> size)) continue;
        std::size_t bytes = std::strtoull(size.c_str(), nullptr, 10);
        if (size.back() == 'K') bytes <<= 10;
        if (size.back() == 'M') bytes <<= 20;
        if (bytes > largest) largest = bytes;
    }
    return largest;
}

std::size_t AlignUp(std::size_t bytes) { return (bytes + kBufferAlignment - 1) / kBufferAlignment * kBufferAlignment; }

// The arena every ring uses, written once so that its pages exist.
uint8_t* Arena() {
    static uint8_t* const arena = [] {
        auto* p = static_cast<uint8_t*>(::operator new(StreamRingBytes(), std::align_val_t{kBufferAlignment}));
        std::memset(p, 0, StreamRingBytes());
        return p;
    }();
    return arena;
}

}  // namespace

std::size_t LargestCacheBytes() {
    std::size_t largest = 0;
#if defined(_SC_LEVEL1_DCACHE_SIZE) && defined(_SC_LEVEL4_CACHE_SIZE)
    for (int name : {_SC_LEVEL1_DCACHE_SIZE, _SC_LEVEL2_CACHE_SIZE, _SC_LEVEL3_CACHE_SIZE, _SC_LEVEL4_CACHE_SIZE}) {
        const long reported = sysconf(name);
        if (reported > 0 && static_cast<std::size_t>(reported) > largest) largest = static_cast<std::size_t>(reported);
    }
#endif
    return largest > 0 ? largest : SysfsLargestCacheBytes();
}

std::size_t StreamRingBytes() {
    static const std::size_t bytes = [] {
        const std::size_t cache = LargestCacheBytes();
        return cache > 0 ? kCachesPerRing * cache : kUnreportedRingBytes;
    }();
    return bytes;
}

StreamRing::StreamRing(const std::vector<uint8_t>& input, std::size_t outputBytes)
    : arena_(Arena()), stride_(AlignUp(input.size()) + AlignUp(outputBytes)), outputOffset_(AlignUp(input.size())) {
    length_ = StreamRingBytes() / stride_;
    if (length_ < kMinRingLength) {
        std::fprintf(stderr, "stream ring: %zu bytes hold fewer than %zu entries of %zu\n", StreamRingBytes(),
                     kMinRingLength, stride_);
        std::abort();
    }
    for (std::size_t i = 0; i < length_; ++i) std::memcpy(arena_ + i * stride_, input.data(), input.size());
}

StreamRing::Entry StreamRing::Next() {
    uint8_t* entry = arena_ + next_ * stride_;
    next_ = next_ + 1 == length_ ? 0 : next_ + 1;
    return {entry, entry + outputOffset_};
}

}  // namespace framedec::bench
