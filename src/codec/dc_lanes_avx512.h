// The DC preview sixteen slots at a time (AVX-512). Included by the AVX-512 variant's
// source file only and compiled with its instruction set; internal linkage throughout.
//
// The value of a slot is (DC + 128) mod 256, the DC code read from the 32-bit window at the slot's
// first non-zero byte, bits past the window as 0 (dc_preview.h). Per slot, in 64-bit lanes:
//   - the slot's two words and the next 8 bytes (the window may run up to 3 bytes past the slot)
//     are bit-reversed, so the stream reads from the most significant bit down;
//   - the start marker's depth f is a leading-zero count; the stream after the marker is a funnel
//     shift of the two words around it, cut to the window's 31 - (f mod 8) remaining bits;
// then, in 32-bit lanes, sixteen at once: the size n is a leading-ones count, the magnitude the n
// bits after the separator, a negative level m - (2^n - 1). An empty slot (f = 128) comes out as
// an empty stream, size 0: value 128. Past a run's last slot, only that slot's window is read.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "codec/avx512_common.h"

namespace framedec {
namespace {

// Each 64-bit word bit-reversed: bit 63 - i of a word is its bit i.
FRAMEDEC_INLINE __m512i ReverseWords(__m512i v) {
    return ReverseBitsInBytes(_mm512_shuffle_epi8(v, LoadPattern(kReversedWordBytes)));
}

// The bytes [from, from + 64) of a run of which only the first `readable` may be read; the others
// are 0. A masked load reads nothing outside its mask.
FRAMEDEC_INLINE __m512i LoadReadable(const uint8_t* run, uint64_t from, uint64_t readable) {
    const uint64_t n = readable > from ? readable - from : 0;
    const __mmask64 mask = n >= 64 ? ~__mmask64{0} : (__mmask64{1} << n) - 1;
    return _mm512_maskz_loadu_epi8(mask, run + from);
}

// Eight slots starting at run + 16 * first: the stream after each marker, in the top bits of a
// 64-bit lane (bits past the window 0). readable: bytes of the run that may be read; the others
// read as 0, and no window reaches them.
FRAMEDEC_INLINE __m512i DcStreamsAfterMarkers(const uint8_t* run, uint64_t first, uint64_t readable) {
    const uint64_t at = 16 * first;
    const __m512i a = ReverseWords(LoadReadable(run, at, readable));
    const __m512i b = ReverseWords(LoadReadable(run, at + 64, readable));
    const __m512i c = ReverseWords(LoadReadable(run, at + 128, readable));
    // low: slot bits 0..63, high: 64..127, after: the next 64 bits, each most significant first.
    const __m512i low = _mm512_permutex2var_epi64(a, _mm512_setr_epi64(0, 2, 4, 6, 8, 10, 12, 14), b);
    const __m512i high = _mm512_permutex2var_epi64(a, _mm512_setr_epi64(1, 3, 5, 7, 9, 11, 13, 15), b);
    const __m512i after = _mm512_permutex2var_epi64(low, _mm512_setr_epi64(1, 2, 3, 4, 5, 6, 7, 8), c);
    const __mmask8 lowEmpty = _mm512_testn_epi64_mask(low, low);
    const __m512i depthLow = _mm512_lzcnt_epi64(low);
    const __m512i depth = _mm512_mask_add_epi64(depthLow, lowEmpty, depthLow, _mm512_lzcnt_epi64(high));  // f
    // The two words from the marker's word on, shifted by f mod 64 and past the marker.
    const __m512i upper = _mm512_mask_mov_epi64(low, lowEmpty, high);
    const __m512i lower = _mm512_mask_mov_epi64(high, lowEmpty, after);
    const __m512i stream = _mm512_slli_epi64(_mm512_shldv_epi64(upper, lower, depth), 1);
    // The window holds 31 - (f mod 8) bits after the marker.
    const __m512i windowEnd = _mm512_add_epi64(_mm512_and_si512(depth, _mm512_set1_epi64(7)), _mm512_set1_epi64(33));
    return _mm512_and_si512(stream, _mm512_sllv_epi64(_mm512_set1_epi64(-1), windowEnd));
}

// Bytes of a run of count slots that the preview may read: the slots, and after them as much of
// the last slot's window as lies past it (none when the window starts before the slot's byte 13,
// or the slot is empty and has no window).
FRAMEDEC_INLINE uint64_t ReadableBytes(const uint8_t* slots, uint32_t count) {
    const uint8_t* last = slots + 16 * (count - 1);
    uint32_t firstNonZero = 0;
    while (firstNonZero < 16 && last[firstNonZero] == 0) ++firstNonZero;
    const uint32_t past = firstNonZero < 16 && firstNonZero > 12 ? firstNonZero - 12 : 0;
    return uint64_t{16} * count + past;
}

// Preview values of count consecutive slots; reads nothing past a slot but its window.
FRAMEDEC_INLINE void DcBlocksLanes(const uint8_t* slots, uint32_t count, uint8_t* values) {
    if (count == 0) return;
    const uint64_t readable = ReadableBytes(slots, count);
    const __m512i one = _mm512_set1_epi32(1);
    for (uint32_t i = 0; i < count; i += 16) {
        const __m512i first = DcStreamsAfterMarkers(slots, i, readable);
        const __m512i second = i + 8 < count ? DcStreamsAfterMarkers(slots, i + 8, readable) : _mm512_setzero_si512();
        // The upper halves of the sixteen 64-bit lanes: every remaining window bit lies there.
        const __m512i stream = _mm512_permutex2var_epi32(
            first, _mm512_setr_epi32(1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31), second);
        const __m512i size = _mm512_lzcnt_epi32(_mm512_ternarylogic_epi32(stream, stream, stream, 0x55));  // <= 31
        const __m512i magnitudeBits = _mm512_sllv_epi32(stream, _mm512_add_epi32(size, one));
        const __m512i magnitude = _mm512_srlv_epi32(magnitudeBits, _mm512_sub_epi32(_mm512_set1_epi32(32), size));
        const __mmask16 negative = _mm512_testn_epi32_mask(magnitudeBits, _mm512_set1_epi32(INT32_MIN));
        const __m512i oneMinusPower = _mm512_add_epi32(_mm512_sllv_epi32(_mm512_set1_epi32(-1), size), one);
        const __m512i level = _mm512_mask_add_epi32(magnitude, negative, magnitude, oneMinusPower);
        const __m128i bytes = _mm512_cvtepi32_epi8(_mm512_add_epi32(level, _mm512_set1_epi32(128)));
        const uint32_t n = count - i < 16 ? count - i : 16;
        _mm_mask_storeu_epi8(values + i, static_cast<__mmask16>((1u << n) - 1), bytes);
    }
}

}  // namespace
}  // namespace framedec
