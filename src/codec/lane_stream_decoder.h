// Entropy decoding of many slots at once, one slot per 64-bit lane of an AVX-512 register. Included
// by the AVX-512 variant's source file only and compiled with its instruction set; internal
// linkage throughout.
//
// A slot's stream is independent of every other, so sixteen lanes (two registers of eight) each
// follow one slot; a lane whose slot is complete takes the next slot of the batch (an expand from
// the precomputed start states), so the lanes stay busy whatever the number of codes per slot.
// Per lane and step, exactly as the scalar fast decoder (stream_decoder.h) does per slot:
//   - the stream is held bit-reversed in two 64-bit words (hi, lo), most significant bit first;
//   - a run of z zero bits is z zero coefficients (one leading-zero count);
//   - the size n is the count of leading ones after it, the magnitude the n bits after the
//     separator; the state then moves on by z + 2n + 1 bits (two 128-bit funnel shifts);
//   - the level goes to the slot's level buffer at its zigzag position, by a 64-bit scatter whose
//     upper three 16-bit parts are zero: positions after the level are either zero or written by a
//     later step of the same slot, and a block's buffer has room for the three past position 63.
// A size of 32 or more (never in a well-formed slot) does not fit the lane arithmetic: the rare
// step that meets one is done lane by lane by the scalar decoder's own code for long codes.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "codec/avx512_common.h"
#include "codec/stream_decoder.h"

namespace framedec {
namespace {

// Levels of the k-th block of a batch: kLaneBlockStride int16 from the k-th block's, in zigzag
// order; the first 64 must be zero before decoding, the rest is scratch for the scatter.
inline constexpr uint32_t kLaneBlockStride = 96;
// Start-state arrays hold the batch's count entries plus this many zero entries after them.
inline constexpr uint32_t kLaneStartPadding = 16;

// The slots' bytes bit-reversed within each 16-byte lane: bit 127 - i of a lane is slot bit i.
FRAMEDEC_INLINE __m512i ReverseSlotBits512(__m512i bytes) {
    return ReverseBitsInBytes(_mm512_shuffle_epi8(bytes, LoadPattern(kReversedLaneBytes)));
}

// Start states of count consecutive slots (16 bytes apart): the bit-reversed slot shifted past its
// start marker, so that hi's top bit is the first code bit; 0 for a slot without codes. Writes
// entries up to the next multiple of 8 (zero past count); reads only the slots.
FRAMEDEC_INLINE void LaneStartStates(const uint8_t* slots, uint32_t count, uint64_t* hi, uint64_t* lo) {
    const __m512i highWords = _mm512_setr_epi64(1, 3, 5, 7, 9, 11, 13, 15);
    const __m512i lowWords = _mm512_setr_epi64(0, 2, 4, 6, 8, 10, 12, 14);
    const __m512i sixtyFour = _mm512_set1_epi64(64), one = _mm512_set1_epi64(1);
    for (uint32_t i = 0; i < count; i += 8) {
        const uint32_t n = count - i < 8 ? count - i : 8;
        const __mmask64 first = n >= 4 ? ~__mmask64{0} : (__mmask64{1} << (16 * n)) - 1;
        const __mmask64 second = n <= 4 ? 0 : n == 8 ? ~__mmask64{0} : (__mmask64{1} << (16 * (n - 4))) - 1;
        const __m512i r0 = ReverseSlotBits512(_mm512_maskz_loadu_epi8(first, slots + 16 * i));
        const __m512i r1 = ReverseSlotBits512(_mm512_maskz_loadu_epi8(second, slots + 16 * i + 64));
        const __m512i h = _mm512_permutex2var_epi64(r0, highWords, r1);
        const __m512i l = _mm512_permutex2var_epi64(r0, lowWords, r1);
        // Depth of the marker from the top, 128 for an empty slot; shift by one more (1 to 129).
        // Shift counts of 64 and more give 0, and a negative count reads as a huge one.
        const __m512i leadingHigh = _mm512_lzcnt_epi64(h);
        const __m512i depth = _mm512_mask_add_epi64(leadingHigh, _mm512_testn_epi64_mask(h, h), leadingHigh,
                                                    _mm512_lzcnt_epi64(l));
        const __m512i shift = _mm512_add_epi64(depth, one);
        const __m512i startHigh = _mm512_ternarylogic_epi64(
            _mm512_sllv_epi64(h, shift), _mm512_srlv_epi64(l, _mm512_sub_epi64(sixtyFour, shift)),
            _mm512_sllv_epi64(l, _mm512_sub_epi64(shift, sixtyFour)), 0xFE);  // a | b | c
        _mm512_storeu_si512(hi + i, startHigh);
        _mm512_storeu_si512(lo + i, _mm512_sllv_epi64(l, shift));
    }
}

// Eight lanes: the unread stream (hi, lo), the zigzag position of the next code (64 and above once
// the slot is complete) and the word offset of the slot's level buffer.
struct LaneGroup {
    __m512i hi, lo, k, base;
};

// One step for every lane, done lane by lane with the scalar code for long codes.
FRAMEDEC_COLD void LaneStepScalar(LaneGroup& g, int16_t* levels) {
    alignas(64) uint64_t hi[8], lo[8], k[8], base[8];
    _mm512_store_si512(hi, g.hi);
    _mm512_store_si512(lo, g.lo);
    _mm512_store_si512(k, g.k);
    _mm512_store_si512(base, g.base);
    for (int lane = 0; lane < 8; ++lane) {
        const uint32_t zeros = LeadingZeros(hi[lane]);
        const uint64_t position = k[lane] + zeros;
        if (position < 64) {
            const LongCodeResult r = LongCode(hi[lane], lo[lane], zeros);
            levels[base[lane] + position] = static_cast<int16_t>(static_cast<uint16_t>(r.level));
            hi[lane] = r.hi;
            lo[lane] = r.lo;
        }
        k[lane] = position + 1;
    }
    g.hi = _mm512_load_si512(hi);
    g.lo = _mm512_load_si512(lo);
    g.k = _mm512_load_si512(k);
}

// Decodes the next code of every lane whose slot is not complete; returns the lanes whose slot is
// complete now (no code left, or the next 64 bits all zero).
FRAMEDEC_INLINE __mmask8 LaneStep(LaneGroup& g, int16_t* levels) {
    const __m512i one = _mm512_set1_epi64(1), sixtyFour = _mm512_set1_epi64(64);
    const __m512i zeros = _mm512_lzcnt_epi64(g.hi);  // 64 for an all-zero hi: the slot is complete
    const __m512i position = _mm512_add_epi64(g.k, zeros);
    const __mmask8 live = _mm512_cmplt_epu64_mask(position, sixtyFour);
    const __m512i hi = _mm512_shldv_epi64(g.hi, g.lo, zeros);
    const __m512i lo = _mm512_sllv_epi64(g.lo, zeros);
    const __m512i size = _mm512_lzcnt_epi64(_mm512_ternarylogic_epi64(hi, hi, hi, 0x55));  // leading ones
    if (_mm512_mask_cmpge_epu64_mask(live, size, _mm512_set1_epi64(32)) != 0) [[unlikely]] {
        LaneStepScalar(g, levels);
    } else {
        const __m512i sizePlusOne = _mm512_add_epi64(size, one);
        const __m512i magnitudeBits = _mm512_sllv_epi64(hi, sizePlusOne);
        const __m512i magnitude = _mm512_srlv_epi64(magnitudeBits, _mm512_sub_epi64(sixtyFour, size));
        // A first magnitude bit of 0 is a negative level: m - (2^n - 1).
        const __mmask8 negative = _mm512_testn_epi64_mask(magnitudeBits, _mm512_set1_epi64(INT64_MIN));
        const __m512i oneMinusPower = _mm512_add_epi64(_mm512_sllv_epi64(_mm512_set1_epi64(-1), size), one);
        const __m512i level = _mm512_and_si512(_mm512_mask_add_epi64(magnitude, negative, magnitude, oneMinusPower),
                                               _mm512_set1_epi64(0xFFFF));
        _mm512_mask_i64scatter_epi64(levels, live, _mm512_add_epi64(g.base, position), level, 2);
        const __m512i codeBits = _mm512_add_epi64(size, sizePlusOne);  // at most 63
        g.hi = _mm512_shldv_epi64(hi, lo, codeBits);
        g.lo = _mm512_sllv_epi64(lo, codeBits);
        g.k = _mm512_add_epi64(position, one);
    }
    return _mm512_cmpge_epu64_mask(g.k, sixtyFour) | _mm512_testn_epi64_mask(g.hi, g.hi);
}

// Gives the lanes in done the next slots of the batch, in order.
FRAMEDEC_INLINE void LaneRefill(LaneGroup& g, __mmask8 done, const uint64_t* startHi, const uint64_t* startLo,
                                uint32_t& next) {
    const __m512i strides = _mm512_setr_epi64(0, kLaneBlockStride, 2 * kLaneBlockStride, 3 * kLaneBlockStride,
                                              4 * kLaneBlockStride, 5 * kLaneBlockStride, 6 * kLaneBlockStride,
                                              7 * kLaneBlockStride);
    g.hi = _mm512_mask_expand_epi64(g.hi, done, _mm512_loadu_si512(startHi + next));
    g.lo = _mm512_mask_expand_epi64(g.lo, done, _mm512_loadu_si512(startLo + next));
    g.base = _mm512_mask_expand_epi64(g.base, done,
                                      _mm512_add_epi64(_mm512_set1_epi64(int64_t{next} * kLaneBlockStride), strides));
    g.k = _mm512_mask_mov_epi64(g.k, done, _mm512_setzero_si512());
    next += static_cast<uint32_t>(__builtin_popcount(done));
}

// Decodes count slots from their start states (count + kLaneStartPadding entries, zero past
// count) into levels: block b's 64 levels in zigzag order at levels + b * kLaneBlockStride, into
// buffers whose first 64 entries are zero.
FRAMEDEC_INLINE void DecodeLaneLevels(const uint64_t* startHi, const uint64_t* startLo, uint32_t count,
                                      int16_t* levels) {
    if (count == 0) return;
    const __m512i complete = _mm512_set1_epi64(64);
    LaneGroup a{_mm512_setzero_si512(), _mm512_setzero_si512(), complete, _mm512_setzero_si512()};
    LaneGroup b = a;
    uint32_t next = 0;
    LaneRefill(a, 0xFF, startHi, startLo, next);
    LaneRefill(b, 0xFF, startHi, startLo, next);
    for (;;) {
        const __mmask8 doneA = LaneStep(a, levels);
        const __mmask8 doneB = LaneStep(b, levels);
        if (next < count) {
            LaneRefill(a, doneA, startHi, startLo, next);
            LaneRefill(b, doneB, startHi, startLo, next);
        } else if ((doneA & doneB) == 0xFF) {
            return;
        }
    }
}

}  // namespace
}  // namespace framedec
