// Small helpers of the AVX-512 variant (compiled with its instruction set, GFNI included; internal
// linkage throughout).
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "codec/stream_decoder.h"

namespace framedec {
namespace {

// A 64-byte shuffle pattern, built at compile time.
struct BytePattern {
    alignas(64) int8_t bytes[64];
};

FRAMEDEC_INLINE __m512i LoadPattern(const BytePattern& p) { return _mm512_load_si512(p.bytes); }

// A 16-byte pattern repeated in the four 128-bit lanes of a register.
constexpr BytePattern RepeatLanes(const int8_t (&lane)[16]) {
    BytePattern p{};
    for (int i = 0; i < 64; ++i) p.bytes[i] = lane[i % 16];
    return p;
}

// Byte order reversed within each 16-byte lane, and within each 8-byte word.
constexpr int8_t kReversedSixteen[16] = {15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
constexpr int8_t kReversedEights[16] = {7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8};
constexpr BytePattern kReversedLaneBytes = RepeatLanes(kReversedSixteen);
constexpr BytePattern kReversedWordBytes = RepeatLanes(kReversedEights);

// Bit i of every byte to bit 7 - i: a GF(2) affine transform with the bit-reversing matrix.
FRAMEDEC_INLINE __m512i ReverseBitsInBytes(__m512i v) {
    return _mm512_gf2p8affine_epi64_epi8(v, _mm512_set1_epi64(static_cast<int64_t>(0x8040201008040201ull)), 0);
}

}  // namespace
}  // namespace framedec
