// Entropy decoding of many slots at once with AVX-512: one slot per 32-bit lane, sixteen lanes to a
// register, two registers side by side. Included by the AVX-512 variant's source file only and
// compiled with its instruction set; internal linkage throughout.
//
// A slot's stream is independent of every other, so each lane follows one slot; a lane whose slot
// is complete takes the next slot of the batch (an expand of the precomputed start states), so the
// lanes stay busy whatever the number of codes per slot. Per lane and step, as the scalar decoder
// (stream_decoder.h) does per slot:
//   - the unread stream is four 32-bit words w0..w3, most significant bit first, bits past the slot
//     zero; the funnel shifts that move it on (vpshldvd) take their count modulo 32, so a step
//     never moves it by more than 31 bits;
//   - a run of z zero bits is z zero coefficients (vplzcntd); a zero first word counts 31 zeros,
//     which are taken as zero coefficients, and the next step goes on from there;
//   - the size n is the count of leading ones after the run, the magnitude the n bits after the
//     separator; the step takes the run and the code where both end within the lane's first 31
//     bits, and a second zero run and code where those end there too (most codes are a few bits
//     long, so most steps take two), only the run otherwise;
//   - the zigzag order is looked up for both codes by word permutes of a 64-entry table, and each
//     level goes to its block's natural position by a 16-bit store per lane: a scatter would do it
//     in one instruction, but is microcoded on AMD Zen 4 and no faster on Intel.
// A size of 16 or more (never in a well-formed slot) does not fit the lane arithmetic: the rare
// step that meets one is done lane by lane by the scalar decoder's own code.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "codec/avx512_common.h"
#include "codec/frame_geometry.h"
#include "codec/stream_decoder.h"
#include "codec/zigzag.h"

namespace framedec {
namespace {

inline constexpr uint32_t kLanes16 = 16;

// Entries past the last slot of the start-state arrays: LaneStartStates16 writes up to 15 of them,
// and a refill reads sixteen entries from any next below count + 16 (the second group's refill may
// follow the first's past count), so up to 31; they must hold zeros.
inline constexpr uint32_t kLaneStartPadding16 = 32;

// The levels' places are stored as 16-bit numbers.
inline constexpr uint32_t kLevelPlaces16 = 1u << 16;

// The start state of each slot of a batch, one array per stream word.
struct LaneWords {
    uint32_t* w[4];
};

// Sixteen lanes: the unread stream, the zigzag position of the next code (64 and above once the
// slot is complete) and the word offset of the slot's levels.
struct LaneGroup16 {
    __m512i w0, w1, w2, w3, k, base;
};

// The zigzag order as 16-bit natural indices, for the word permutes.
struct ZigzagWords {
    alignas(64) int16_t low[32], high[32];
};

constexpr ZigzagWords MakeZigzagWords() {
    ZigzagWords t{};
    for (int k = 0; k < 32; ++k) {
        t.low[k] = kZigzag[k];
        t.high[k] = kZigzag[32 + k];
    }
    return t;
}

inline constexpr ZigzagWords kZigzagWords = MakeZigzagWords();

// Start states of count consecutive slots (16 bytes apart), sixteen at a time, to entries first on:
// word k of the stream is slot word k with its bits reversed, moved on past the start marker (its
// first set bit): first by whole words while the top word is zero, then by the top word's leading
// zeros + 1. A slot without a marker, or with the marker as its last bit, gives an all-zero
// stream. Writes entries up to the next multiple of 16 (zero past count); reads only the slots.
FRAMEDEC_INLINE void LaneStartStates16(const uint8_t* slots, uint32_t count, const LaneWords& starts, uint32_t first) {
    constexpr int8_t kDwordBytesReversed[16] = {3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12};
    constexpr BytePattern kReversedDwordBytes = RepeatLanes(kDwordBytesReversed);
    // After the transpose, dword 4j + q of word k's register holds slot 4q + j: back to slot order.
    const __m512i slotOrder = _mm512_setr_epi32(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
    const __m512i one = _mm512_set1_epi32(1), thirtyTwo = _mm512_set1_epi32(32);
    for (uint32_t i = 0; i < count; i += kLanes16) {
        const uint32_t left = count - i;
        __m512i quad[4];  // slots 4p to 4p + 3, each as its four words
        for (uint32_t p = 0; p < 4; ++p) {
            const uint32_t bytes = left <= 4 * p ? 0 : left >= 4 * p + 4 ? 64 : 16 * (left - 4 * p);
            const __mmask64 present = bytes == 64 ? ~__mmask64{0} : (__mmask64{1} << bytes) - 1;
            const __m512i loaded = _mm512_maskz_loadu_epi8(present, slots + 16 * (i + 4 * p));
            quad[p] = ReverseBitsInBytes(_mm512_shuffle_epi8(loaded, LoadPattern(kReversedDwordBytes)));
        }
        const __m512i a = _mm512_unpacklo_epi32(quad[0], quad[1]), b = _mm512_unpackhi_epi32(quad[0], quad[1]);
        const __m512i c = _mm512_unpacklo_epi32(quad[2], quad[3]), d = _mm512_unpackhi_epi32(quad[2], quad[3]);
        __m512i w0 = _mm512_permutexvar_epi32(slotOrder, _mm512_unpacklo_epi64(a, c));
        __m512i w1 = _mm512_permutexvar_epi32(slotOrder, _mm512_unpackhi_epi64(a, c));
        __m512i w2 = _mm512_permutexvar_epi32(slotOrder, _mm512_unpacklo_epi64(b, d));
        __m512i w3 = _mm512_permutexvar_epi32(slotOrder, _mm512_unpackhi_epi64(b, d));
        for (int round = 0; round < 3; ++round) {
            const __mmask16 empty = _mm512_testn_epi32_mask(w0, w0);
            w0 = _mm512_mask_mov_epi32(w0, empty, w1);
            w1 = _mm512_mask_mov_epi32(w1, empty, w2);
            w2 = _mm512_mask_mov_epi32(w2, empty, w3);
            w3 = _mm512_maskz_mov_epi32(static_cast<__mmask16>(~empty), w3);
        }
        // 1 to 32 bits (33 for an all-zero slot, which stays zero): variable shifts, which give 0
        // for counts of 32 and more, rather than the funnel shifts of the steps.
        const __m512i count32 = _mm512_add_epi32(_mm512_lzcnt_epi32(w0), one);
        const __m512i rest = _mm512_sub_epi32(thirtyTwo, count32);
        const auto shifted = [&](__m512i word, __m512i next) {
            return _mm512_or_si512(_mm512_sllv_epi32(word, count32), _mm512_srlv_epi32(next, rest));
        };
        _mm512_storeu_si512(starts.w[0] + first + i, shifted(w0, w1));
        _mm512_storeu_si512(starts.w[1] + first + i, shifted(w1, w2));
        _mm512_storeu_si512(starts.w[2] + first + i, shifted(w2, w3));
        _mm512_storeu_si512(starts.w[3] + first + i, _mm512_sllv_epi32(w3, count32));
    }
}

// One step for every lane, done lane by lane with the scalar decoder (long codes). The lanes go in
// and out by value, so that the common path keeps them in registers.
FRAMEDEC_COLD LaneGroup16 LaneStepScalar16(LaneGroup16 g, int16_t* levels) {
    alignas(64) uint32_t w0[kLanes16], w1[kLanes16], w2[kLanes16], w3[kLanes16], k[kLanes16], base[kLanes16];
    _mm512_store_si512(w0, g.w0);
    _mm512_store_si512(w1, g.w1);
    _mm512_store_si512(w2, g.w2);
    _mm512_store_si512(w3, g.w3);
    _mm512_store_si512(k, g.k);
    _mm512_store_si512(base, g.base);
    for (uint32_t lane = 0; lane < kLanes16; ++lane) {
        if (k[lane] >= 64) continue;
        StreamCursor c{uint64_t{w0[lane]} << 32 | w1[lane], uint64_t{w2[lane]} << 32 | w3[lane], k[lane]};
        StreamSummary unused;
        NextCode(c, levels + base[lane], kZigzag, unused);
        w0[lane] = static_cast<uint32_t>(c.hi >> 32);
        w1[lane] = static_cast<uint32_t>(c.hi);
        w2[lane] = static_cast<uint32_t>(c.lo >> 32);
        w3[lane] = static_cast<uint32_t>(c.lo);
        k[lane] = c.k;
    }
    g.w0 = _mm512_load_si512(w0);
    g.w1 = _mm512_load_si512(w1);
    g.w2 = _mm512_load_si512(w2);
    g.w3 = _mm512_load_si512(w3);
    g.k = _mm512_load_si512(k);
    return g;
}

// The level of a code of size 1 to 15 whose bits start at the window's top bit: the magnitude m
// for a first magnitude bit of 1, m - (2^n - 1) for 0.
FRAMEDEC_INLINE __m512i LevelOf16(__m512i window, __m512i size) {
    const __m512i magnitudeBits = _mm512_sllv_epi32(window, _mm512_add_epi32(size, _mm512_set1_epi32(1)));
    const __m512i unused = _mm512_sub_epi32(_mm512_set1_epi32(32), size);
    const __m512i magnitude = _mm512_srlv_epi32(magnitudeBits, unused);
    const __mmask16 negative = _mm512_cmpge_epi32_mask(magnitudeBits, _mm512_setzero_si512());  // first bit 0
    return _mm512_mask_sub_epi32(magnitude, negative, magnitude, _mm512_srlv_epi32(_mm512_set1_epi32(-1), unused));
}

// Stores the low word of each lane's level at levels[place of the lane], for two codes per lane.
// Each place and level go to a scalar register together, as one 32-bit entry (the place, below
// 2^16, in the high word), two entries to a move: stored to memory and loaded back, the entries
// would wait on the forwarding of the vector store.
FRAMEDEC_INLINE void StoreLevels16(int16_t* levels, __m512i place, __m512i level, __m512i place2, __m512i level2) {
    const auto storePair = [levels](uint64_t entries) {
        levels[static_cast<uint32_t>(entries) >> 16] = static_cast<int16_t>(entries);
        levels[entries >> 48] = static_cast<int16_t>(entries >> 32);
    };
    const auto storeFour = [&](__m128i entries) {
        storePair(static_cast<uint64_t>(_mm_cvtsi128_si64(entries)));
        storePair(static_cast<uint64_t>(_mm_extract_epi64(entries, 1)));
    };
    for (const __m512i entries : {_mm512_mask_blend_epi16(0x55555555, _mm512_slli_epi32(place, 16), level),
                                  _mm512_mask_blend_epi16(0x55555555, _mm512_slli_epi32(place2, 16), level2)}) {
        storeFour(_mm512_castsi512_si128(entries));
        storeFour(_mm512_extracti32x4_epi32(entries, 1));
        storeFour(_mm512_extracti32x4_epi32(entries, 2));
        storeFour(_mm512_extracti32x4_epi32(entries, 3));
    }
}

// Decodes the next zero run and the code after it of every lane, and a second zero run and code
// where both fit (see above). Returns the lanes whose slot is complete now. levels + nowhere takes
// the stores of lanes with nothing to store.
FRAMEDEC_INLINE __mmask16 LaneStep16(LaneGroup16& g, int16_t* levels, __m512i nowhere) {
    const __m512i one = _mm512_set1_epi32(1), thirtyOne = _mm512_set1_epi32(31), sixtyThree = _mm512_set1_epi32(63);
    const __m512i zeros = _mm512_lzcnt_epi32(_mm512_or_si512(g.w0, one));  // at most 31
    const __m512i window = _mm512_shldv_epi32(g.w0, g.w1, zeros);
    // Leading ones. Where a code starts in the window its top bit is 1, so the count is exact;
    // lanes without a code may count anything, their results go nowhere.
    const __m512i size = _mm512_lzcnt_epi32(_mm512_ternarylogic_epi32(window, window, window, 0x55));
    const __m512i position = _mm512_add_epi32(g.k, zeros);
    // No code starts: the first word is zero, or the run reaches past the block's last position.
    const __mmask16 noCodeStart = _mm512_testn_epi32_mask(g.w0, g.w0) | _mm512_cmpgt_epu32_mask(position, sixtyThree);
    if (_mm512_mask_cmpgt_epu32_mask(static_cast<__mmask16>(~noCodeStart), size, _mm512_set1_epi32(15)) != 0)
        [[unlikely]] {
        g = LaneStepScalar16(g, levels);
    } else {
        const __m512i codeBits = _mm512_add_epi32(_mm512_add_epi32(size, size), one);
        const __m512i codeEnd = _mm512_add_epi32(zeros, codeBits);
        const __mmask16 noCode = noCodeStart | _mm512_cmpgt_epu32_mask(codeEnd, thirtyOne);
        // The second code is read from the window's bits after the first. Its zero count is 32
        // when they are all zero, and the end check then fails.
        const __m512i rest = _mm512_sllv_epi32(window, codeBits);
        const __m512i zeros2 = _mm512_lzcnt_epi32(rest);
        const __m512i window2 = _mm512_sllv_epi32(rest, zeros2);
        const __m512i size2 = _mm512_lzcnt_epi32(_mm512_ternarylogic_epi32(window2, window2, window2, 0x55));
        const __m512i run2 = _mm512_add_epi32(zeros2, one);  // zigzag positions to the second code
        const __m512i codeEnd2 = _mm512_add_epi32(_mm512_add_epi32(codeEnd, run2), _mm512_add_epi32(size2, size2));
        const __m512i position2 = _mm512_add_epi32(position, run2);
        const __mmask16 noSecond =
            noCode | _mm512_cmpgt_epu32_mask(codeEnd2, thirtyOne) | _mm512_cmpgt_epu32_mask(position2, sixtyThree);
        // Natural indices in the low word of each lane (the permute reads only an index's low 6 bits).
        const __m512i table0 = _mm512_load_si512(kZigzagWords.low), table1 = _mm512_load_si512(kZigzagWords.high);
        const __m512i natural = _mm512_maskz_permutex2var_epi16(0x55555555, table0, position, table1);
        const __m512i natural2 = _mm512_maskz_permutex2var_epi16(0x55555555, table0, position2, table1);
        StoreLevels16(levels, _mm512_mask_add_epi32(nowhere, static_cast<__mmask16>(~noCode), g.base, natural),
                      LevelOf16(window, size),
                      _mm512_mask_add_epi32(nowhere, static_cast<__mmask16>(~noSecond), g.base, natural2),
                      LevelOf16(window2, size2));
        // Past a decoded code: + 1, and past a second one: + its zero run + 1 more.
        const __m512i k = _mm512_mask_add_epi32(position, static_cast<__mmask16>(~noCode), position, one);
        g.k = _mm512_mask_add_epi32(k, static_cast<__mmask16>(~noSecond), k, run2);
        const __m512i bits = _mm512_mask_mov_epi32(_mm512_mask_mov_epi32(codeEnd2, noSecond, codeEnd), noCode, zeros);
        g.w0 = _mm512_shldv_epi32(g.w0, g.w1, bits);
        g.w1 = _mm512_shldv_epi32(g.w1, g.w2, bits);
        g.w2 = _mm512_shldv_epi32(g.w2, g.w3, bits);
        g.w3 = _mm512_sllv_epi32(g.w3, bits);
    }
    return _mm512_cmpgt_epu32_mask(g.k, sixtyThree) | _mm512_testn_epi32_mask(_mm512_or_si512(g.w0, g.w1),
                                                                              _mm512_or_si512(g.w0, g.w1));
}

// Gives the lanes in done the next slots of the batch, in order: the lanes past the batch's count
// get the zero entries after it, empty streams that store nothing.
FRAMEDEC_INLINE void LaneRefill16(LaneGroup16& g, __mmask16 done, const LaneWords& starts, uint32_t& next) {
    constexpr int kStride = kBlockPixels;
    const __m512i laneBlocks = _mm512_setr_epi32(0, kStride, 2 * kStride, 3 * kStride, 4 * kStride, 5 * kStride,
                                                 6 * kStride, 7 * kStride, 8 * kStride, 9 * kStride, 10 * kStride,
                                                 11 * kStride, 12 * kStride, 13 * kStride, 14 * kStride, 15 * kStride);
    g.w0 = _mm512_mask_expand_epi32(g.w0, done, _mm512_loadu_si512(starts.w[0] + next));
    g.w1 = _mm512_mask_expand_epi32(g.w1, done, _mm512_loadu_si512(starts.w[1] + next));
    g.w2 = _mm512_mask_expand_epi32(g.w2, done, _mm512_loadu_si512(starts.w[2] + next));
    g.w3 = _mm512_mask_expand_epi32(g.w3, done, _mm512_loadu_si512(starts.w[3] + next));
    const __m512i base = _mm512_add_epi32(_mm512_set1_epi32(static_cast<int>(next * kBlockPixels)), laneBlocks);
    g.base = _mm512_mask_expand_epi32(g.base, done, base);
    g.k = _mm512_maskz_mov_epi32(static_cast<__mmask16>(~done), g.k);
    next += static_cast<uint32_t>(__builtin_popcount(done));
}

// Decodes count slots from their start states (count + kLaneStartPadding16 entries, zero past
// count) into levels: block b's 64 levels in natural order at levels + b * kBlockPixels (zeroed by
// the caller); levels + nowhere is scratch. Every place, nowhere included, must lie below
// kLevelPlaces16.
FRAMEDEC_INLINE void DecodeLaneLevels16(const LaneWords& starts, uint32_t count, int16_t* levels, uint32_t nowhere) {
    if (count == 0) return;
    const __m512i scratch = _mm512_set1_epi32(static_cast<int>(nowhere));
    LaneGroup16 a{}, b{};
    uint32_t next = 0;
    LaneRefill16(a, 0xFFFF, starts, next);
    LaneRefill16(b, 0xFFFF, starts, next);
    for (;;) {
        const __mmask16 doneA = LaneStep16(a, levels, scratch);
        const __mmask16 doneB = LaneStep16(b, levels, scratch);
        if (next < count) {
            if (doneA != 0) LaneRefill16(a, doneA, starts, next);
            if (doneB != 0) LaneRefill16(b, doneB, starts, next);
        } else if ((doneA & doneB) == 0xFFFF) {
            return;
        }
    }
}

}  // namespace
}  // namespace framedec
