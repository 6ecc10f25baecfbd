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
            const auto* from = reinterpret_cast<const __m128i*>(in + i);
            auto* to = reinterpret_cast<__m128i*>(out + i);
            const __m128i a = _mm_loadu_si128(from), b = _mm_loadu_si128(from + 1), c = _mm_loadu_si128(from + 2),
                          d = _mm_loadu_si128(from + 3);
            _mm_stream_si128(to, a);
            _mm_stream_si128(to + 1, b);
            _mm_stream_si128(to + 2, c);
            _mm_stream_si128(to + 3, d);
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
