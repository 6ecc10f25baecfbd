#include "codec/line_copy.h"

#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define FRAMEDEC_STREAMING_STORES 1
#endif

namespace framedec {
namespace {

constexpr std::size_t kCacheLineBytes = 64;

}  // namespace

void StreamLine(uint8_t* out, const uint8_t* in, std::size_t count) {
#ifdef FRAMEDEC_STREAMING_STORES
    const std::size_t head = (0 - reinterpret_cast<std::uintptr_t>(out)) & (kCacheLineBytes - 1);
    if (count >= head + kCacheLineBytes) {
        std::memcpy(out, in, head);
        std::size_t i = head;
        for (; i + kCacheLineBytes <= count; i += kCacheLineBytes) {
            for (std::size_t part = 0; part < kCacheLineBytes; part += 16) {
                const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + part));
                _mm_stream_si128(reinterpret_cast<__m128i*>(out + i + part), bytes);
            }
        }
        std::memcpy(out + i, in + i, count - i);
        return;
    }
#endif
    std::memcpy(out, in, count);
}

void FinishStreaming() {
#ifdef FRAMEDEC_STREAMING_STORES
    _mm_sfence();
#endif
}

}  // namespace framedec
