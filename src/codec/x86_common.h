// What the x86 variants share: the slot's bit reversal with byte shuffles (SSSE3) and the
// inverse-DCT multiplier tables laid out for 16 x 16 -> 32-bit multiply-adds. Included by each
// variant's source file and compiled with its instruction set; internal linkage throughout.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "codec/idct_basis.h"
#include "codec/stream_decoder.h"

namespace framedec {
namespace {

// The slot as a 128-bit value with its bit order reversed: bit 127 - i holds slot bit i.
FRAMEDEC_INLINE __m128i ReverseSlotBits(const uint8_t* slot) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(slot));
    const __m128i reversedOrder =
        _mm_shuffle_epi8(bytes, _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0));
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i lowNibbleReversed = _mm_setr_epi8(0x00, -0x80, 0x40, -0x40, 0x20, -0x60, 0x60, -0x20, 0x10, -0x70,
                                                    0x50, -0x30, 0x30, -0x50, 0x70, -0x10);  // bitrev4(i) << 4
    const __m128i highNibbleReversed =
        _mm_setr_epi8(0x0, 0x8, 0x4, 0xC, 0x2, 0xA, 0x6, 0xE, 0x1, 0x9, 0x5, 0xD, 0x3, 0xB, 0x7, 0xF);  // bitrev4(i)
    const __m128i low = _mm_and_si128(reversedOrder, nibble);
    const __m128i high = _mm_and_si128(_mm_srli_epi16(reversedOrder, 4), nibble);
    return _mm_or_si128(_mm_shuffle_epi8(lowNibbleReversed, low), _mm_shuffle_epi8(highNibbleReversed, high));
}

FRAMEDEC_INLINE StreamCursor StartSlotX86(const uint8_t* slot) {
    const __m128i reversed = ReverseSlotBits(slot);
    return StartStream(static_cast<uint64_t>(_mm_extract_epi64(reversed, 1)),
                       static_cast<uint64_t>(_mm_cvtsi128_si64(reversed)));
}

// First-pass multipliers: for u-pair p, (B[x][2p], B[x][2p + 1]) for x = 0..3 (low) and x = 4..7
// (high), repeated in two 128-bit lanes so 256-bit code can hold two coefficient rows.
struct FirstPassConstants {
    alignas(32) int16_t low[4][16];
    alignas(32) int16_t high[4][16];
};

constexpr FirstPassConstants MakeFirstPass() {
    FirstPassConstants c{};
    for (int p = 0; p < 4; ++p) {
        for (int lane = 0; lane < 2; ++lane) {
            for (int x = 0; x < 4; ++x) {
                c.low[p][8 * lane + 2 * x] = kIdctBasis[x][2 * p];
                c.low[p][8 * lane + 2 * x + 1] = kIdctBasis[x][2 * p + 1];
                c.high[p][8 * lane + 2 * x] = kIdctBasis[x + 4][2 * p];
                c.high[p][8 * lane + 2 * x + 1] = kIdctBasis[x + 4][2 * p + 1];
            }
        }
    }
    return c;
}

constexpr FirstPassConstants kFirstPass = MakeFirstPass();

// Second-pass multipliers: for line y and v-pair q, (B[y][2q], B[y][2q + 1]) as one 32-bit word.
constexpr int32_t SecondPassPair(int y, int q) {
    return static_cast<int32_t>((static_cast<uint32_t>(static_cast<uint16_t>(kIdctBasis[y][2 * q + 1])) << 16) |
                                static_cast<uint16_t>(kIdctBasis[y][2 * q]));
}

}  // namespace
}  // namespace framedec
