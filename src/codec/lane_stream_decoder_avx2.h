// Entropy decoding of many slots at once with AVX2: one slot per 32-bit lane, eight lanes to a
// register, two registers side by side. Included by the AVX2 variant's source file only and
// compiled with its instruction set; internal linkage throughout.
//
// The design of the AVX-512 lane decoder (lane_stream_decoder.h) at 256-bit width, with what AVX2
// lacks built from plainer instructions:
//   - a lane's unread stream is four 32-bit words w0..w3 (most significant bit first, bits past the
//     slot zero), moved on by variable shifts (vpsllvd / vpsrlvd, which give 0 for counts of 32
//     and more) of each word and its neighbour;
//   - the leading-zero count is read from the exponent of the lane converted to float, after the
//     bits just below the leading one are cleared so that rounding cannot carry into the next power;
//   - a step decodes the zero run and the code after it when both fit the next 32 bits, and only
//     the zero run otherwise (a run of 32 zeros is 32 zero coefficients and no code); where a
//     second zero run and code fit the same 32 bits too, it decodes them in the same step;
//   - the zigzag order is looked up in four 16-entry byte tables (vpshufb), and each level goes
//     to its block's natural position with a plain 16-bit store per lane: AVX2 has no scatter, and
//     on processors that have one (AVX-512) it is microcoded on some (AMD Zen 4) anyway;
//   - the lanes whose slots are complete take the next slots of the batch together, by a permute
//     of the next eight start states.
// A size of 16 or more (never in a well-formed slot) does not fit the lane arithmetic: the rare
// step that meets one is done lane by lane by the scalar decoder's own code.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "codec/stream_decoder.h"
#include "codec/zigzag.h"

namespace framedec {
namespace {

// Each block of a batch has 64 levels in natural order; one more block after the last takes the
// stores of lanes that have nothing to store.
inline constexpr uint32_t kLanes8 = 8;

// The start state of each slot of a batch, one array per stream word, with a slot's k (64 for a
// slot without codes).
struct LaneStarts {
    uint32_t* w0;
    uint32_t* w1;
    uint32_t* w2;
    uint32_t* w3;
};

// Entries past the last slot: LaneStartStates8 may write up to 7 of them, and LaneRefill8 reads
// eight entries from any next below count + 8 (the second group's refill may follow the first's
// past count), so up to 15; they must hold zeros (or any start state).
inline constexpr uint32_t kLaneStartPadding8 = 16;

// Leading zeros of each 32-bit lane, 32 for a zero lane. The float's exponent field (with the sign
// bit above it) gives the position of the leading one; a lane with its top bit set converts to a
// negative float, whose field is 256 or more, and counts 0 after the clamp.
FRAMEDEC_INLINE __m256i LeadingZeros32(__m256i v) {
    const __m256i leading = _mm256_andnot_si256(_mm256_srli_epi32(v, 1), v);  // no carry past it when rounded
    const __m256i field = _mm256_srli_epi32(_mm256_castps_si256(_mm256_cvtepi32_ps(leading)), 23);
    const __m256i count = _mm256_sub_epi32(_mm256_set1_epi32(127 + 31), field);
    return _mm256_min_epi32(_mm256_max_epi32(count, _mm256_setzero_si256()), _mm256_set1_epi32(32));
}

// Leading zeros of each lane whose top bit is clear and that is not zero; 158 for a zero lane and a
// negative count for a lane with its top bit set (no clamp: the caller's masks discard those lanes).
FRAMEDEC_INLINE __m256i LeadingZerosUnclamped(__m256i v) {
    const __m256i leading = _mm256_andnot_si256(_mm256_srli_epi32(v, 1), v);
    const __m256i field = _mm256_srli_epi32(_mm256_castps_si256(_mm256_cvtepi32_ps(leading)), 23);
    return _mm256_sub_epi32(_mm256_set1_epi32(127 + 31), field);
}

// The zigzag order as four 16-byte tables, each repeated in both 128-bit lanes.
struct ZigzagTables {
    alignas(32) uint8_t part[4][32];
};

constexpr ZigzagTables MakeZigzagTables() {
    ZigzagTables t{};
    for (int k = 0; k < 64; ++k) {
        t.part[k / 16][k % 16] = kZigzag[k];
        t.part[k / 16][16 + k % 16] = kZigzag[k];
    }
    return t;
}

inline constexpr ZigzagTables kZigzagTables = MakeZigzagTables();

// Natural index of the zigzag position (0..63) in each byte of p: any byte whose value is 64 or
// more gives some byte. Two positions packed in one 32-bit lane are looked up together.
FRAMEDEC_INLINE __m256i NaturalIndexBytes(__m256i p) {
    const auto* t = reinterpret_cast<const __m256i*>(kZigzagTables.part);
    const __m256i bit4 = _mm256_slli_epi32(p, 3), bit5 = _mm256_slli_epi32(p, 2);  // to each byte's top bit
    const __m256i low = _mm256_blendv_epi8(_mm256_shuffle_epi8(_mm256_load_si256(t), p),
                                           _mm256_shuffle_epi8(_mm256_load_si256(t + 1), p), bit4);
    const __m256i high = _mm256_blendv_epi8(_mm256_shuffle_epi8(_mm256_load_si256(t + 2), p),
                                            _mm256_shuffle_epi8(_mm256_load_si256(t + 3), p), bit4);
    return _mm256_blendv_epi8(low, high, bit5);
}

// Eight lanes: the unread stream, the zigzag position of the next code (64 and above once the slot
// is complete) and the word offset of the slot's levels.
struct LaneGroup8 {
    __m256i w0, w1, w2, w3, k, base;
};

// Moves every lane's stream on by count bits (0 to 32).
FRAMEDEC_INLINE void Advance(LaneGroup8& g, __m256i count) {
    const __m256i rest = _mm256_sub_epi32(_mm256_set1_epi32(32), count);
    g.w0 = _mm256_or_si256(_mm256_sllv_epi32(g.w0, count), _mm256_srlv_epi32(g.w1, rest));
    g.w1 = _mm256_or_si256(_mm256_sllv_epi32(g.w1, count), _mm256_srlv_epi32(g.w2, rest));
    g.w2 = _mm256_or_si256(_mm256_sllv_epi32(g.w2, count), _mm256_srlv_epi32(g.w3, rest));
    g.w3 = _mm256_sllv_epi32(g.w3, count);
}

// Each byte's bits in reverse order, through a table lookup of each of its two nibbles.
FRAMEDEC_INLINE __m256i ReverseBitsOfEachByte(__m256i bytes) {
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i reverseLow = _mm256_setr_epi8(0x00, -0x80, 0x40, -0x40, 0x20, -0x60, 0x60, -0x20, 0x10, -0x70, 0x50,
                                                -0x30, 0x30, -0x50, 0x70, -0x10, 0x00, -0x80, 0x40, -0x40, 0x20, -0x60,
                                                0x60, -0x20, 0x10, -0x70, 0x50, -0x30, 0x30, -0x50, 0x70, -0x10);
    const __m256i reverseHigh = _mm256_setr_epi8(0x0, 0x8, 0x4, 0xC, 0x2, 0xA, 0x6, 0xE, 0x1, 0x9, 0x5, 0xD, 0x3, 0xB, 0x7,
                                                 0xF, 0x0, 0x8, 0x4, 0xC, 0x2, 0xA, 0x6, 0xE, 0x1, 0x9, 0x5, 0xD, 0x3, 0xB,
                                                 0x7, 0xF);
    return _mm256_or_si256(_mm256_shuffle_epi8(reverseLow, _mm256_and_si256(bytes, nibble)),
                           _mm256_shuffle_epi8(reverseHigh, _mm256_and_si256(_mm256_srli_epi32(bytes, 4), nibble)));
}

// Start states of count consecutive slots (16 bytes apart), eight at a time, to entries first on.
// Reversing the slot's 128 bits makes word k of the stream slot word k with its bits reversed; the
// stream then moves on past the start marker (its first set bit): first by whole words while the
// top word is zero, then by the top word's leading zeros + 1. A slot without a marker, or with the
// marker as its last bit, gives an all-zero stream. Writes entries up to the next multiple of 8
// (zero past count); reads only the slots.
FRAMEDEC_INLINE void LaneStartStates8(const uint8_t* slots, uint32_t count, const LaneStarts& starts, uint32_t first) {
    // Bytes of each word in reverse order, then each byte's bits.
    const __m256i byteOrder = _mm256_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12, 3, 2, 1, 0, 7, 6, 5,
                                               4, 11, 10, 9, 8, 15, 14, 13, 12);
    const __m256i slotOfLane = _mm256_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1);
    const __m256i slotOrder = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    const __m256i zero = _mm256_setzero_si256();
    for (uint32_t i = 0; i < count; i += kLanes8) {
        const __m256i left = _mm256_set1_epi32(static_cast<int>(count - i));
        __m256i pair[4];  // slots 2p and 2p + 1, each as its four words
        for (int p = 0; p < 4; ++p) {
            const __m256i present = _mm256_cmpgt_epi32(left, _mm256_add_epi32(slotOfLane, _mm256_set1_epi32(2 * p)));
            const __m256i bytes = _mm256_shuffle_epi8(
                _mm256_maskload_epi32(reinterpret_cast<const int*>(slots + 16 * (i + 2 * p)), present), byteOrder);
            pair[p] = ReverseBitsOfEachByte(bytes);
        }
        // Word k of every slot into one register: lane j holds slot j.
        const __m256i a = _mm256_unpacklo_epi32(pair[0], pair[1]), b = _mm256_unpackhi_epi32(pair[0], pair[1]);
        const __m256i c = _mm256_unpacklo_epi32(pair[2], pair[3]), d = _mm256_unpackhi_epi32(pair[2], pair[3]);
        LaneGroup8 g{};
        g.w0 = _mm256_permutevar8x32_epi32(_mm256_unpacklo_epi64(a, c), slotOrder);
        g.w1 = _mm256_permutevar8x32_epi32(_mm256_unpackhi_epi64(a, c), slotOrder);
        g.w2 = _mm256_permutevar8x32_epi32(_mm256_unpacklo_epi64(b, d), slotOrder);
        g.w3 = _mm256_permutevar8x32_epi32(_mm256_unpackhi_epi64(b, d), slotOrder);
        for (int round = 0; round < 3; ++round) {
            const __m256i empty = _mm256_cmpeq_epi32(g.w0, zero);
            g.w0 = _mm256_blendv_epi8(g.w0, g.w1, empty);
            g.w1 = _mm256_blendv_epi8(g.w1, g.w2, empty);
            g.w2 = _mm256_blendv_epi8(g.w2, g.w3, empty);
            g.w3 = _mm256_andnot_si256(empty, g.w3);
        }
        // 1 to 32 bits; 33 for an all-zero slot, which stays zero.
        Advance(g, _mm256_add_epi32(LeadingZeros32(g.w0), _mm256_set1_epi32(1)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(starts.w0 + first + i), g.w0);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(starts.w1 + first + i), g.w1);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(starts.w2 + first + i), g.w2);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(starts.w3 + first + i), g.w3);
    }
}

// Lane state in memory, for the rare steps done lane by lane.
struct LaneState8 {
    alignas(32) uint32_t w0[kLanes8], w1[kLanes8], w2[kLanes8], w3[kLanes8], k[kLanes8], base[kLanes8];

    void Store(const LaneGroup8& g) {
        _mm256_store_si256(reinterpret_cast<__m256i*>(w0), g.w0);
        _mm256_store_si256(reinterpret_cast<__m256i*>(w1), g.w1);
        _mm256_store_si256(reinterpret_cast<__m256i*>(w2), g.w2);
        _mm256_store_si256(reinterpret_cast<__m256i*>(w3), g.w3);
        _mm256_store_si256(reinterpret_cast<__m256i*>(k), g.k);
        _mm256_store_si256(reinterpret_cast<__m256i*>(base), g.base);
    }
    void Load(LaneGroup8& g) const {
        g.w0 = _mm256_load_si256(reinterpret_cast<const __m256i*>(w0));
        g.w1 = _mm256_load_si256(reinterpret_cast<const __m256i*>(w1));
        g.w2 = _mm256_load_si256(reinterpret_cast<const __m256i*>(w2));
        g.w3 = _mm256_load_si256(reinterpret_cast<const __m256i*>(w3));
        g.k = _mm256_load_si256(reinterpret_cast<const __m256i*>(k));
        g.base = _mm256_load_si256(reinterpret_cast<const __m256i*>(base));
    }
};

// One step for every lane, done lane by lane with the scalar decoder (long codes). The lanes go in
// and out by value, so that the common path keeps them in registers.
FRAMEDEC_COLD LaneGroup8 LaneStepScalar8(LaneGroup8 g, int16_t* levels, const uint8_t* zigzag) {
    LaneState8 s;
    s.Store(g);
    for (uint32_t lane = 0; lane < kLanes8; ++lane) {
        if (s.k[lane] >= 64) continue;
        StreamCursor c{uint64_t{s.w0[lane]} << 32 | s.w1[lane], uint64_t{s.w2[lane]} << 32 | s.w3[lane], s.k[lane]};
        StreamSummary unused;
        NextCode(c, levels + s.base[lane], zigzag, unused);
        s.w0[lane] = static_cast<uint32_t>(c.hi >> 32);
        s.w1[lane] = static_cast<uint32_t>(c.hi);
        s.w2[lane] = static_cast<uint32_t>(c.lo >> 32);
        s.w3[lane] = static_cast<uint32_t>(c.lo);
        s.k[lane] = c.k;
    }
    s.Load(g);
    return g;
}

// The level of a code of size 1 to 15 whose bits start at the window's top bit: the magnitude m
// for a first magnitude bit of 1, m - (2^n - 1) for 0.
FRAMEDEC_INLINE __m256i LevelOf(__m256i window, __m256i size) {
    const __m256i magnitudeBits = _mm256_sllv_epi32(window, _mm256_add_epi32(size, _mm256_set1_epi32(1)));
    const __m256i unused = _mm256_sub_epi32(_mm256_set1_epi32(32), size);
    const __m256i magnitude = _mm256_srlv_epi32(magnitudeBits, unused);
    const __m256i allOnes = _mm256_srlv_epi32(_mm256_set1_epi32(-1), unused);  // 2^n - 1
    return _mm256_sub_epi32(magnitude, _mm256_andnot_si256(_mm256_srai_epi32(magnitudeBits, 31), allOnes));
}

// Stores the low word of each lane's level at levels[place of the lane]: the places to memory, each
// level straight from the vector register (vpextrw with a memory operand).
FRAMEDEC_INLINE void StoreLevels(int16_t* levels, __m256i place, __m256i level) {
    alignas(32) uint32_t places[kLanes8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(places), place);
    const __m128i low = _mm256_castsi256_si128(level), high = _mm256_extracti128_si256(level, 1);
    levels[places[0]] = static_cast<int16_t>(_mm_extract_epi16(low, 0));
    levels[places[1]] = static_cast<int16_t>(_mm_extract_epi16(low, 2));
    levels[places[2]] = static_cast<int16_t>(_mm_extract_epi16(low, 4));
    levels[places[3]] = static_cast<int16_t>(_mm_extract_epi16(low, 6));
    levels[places[4]] = static_cast<int16_t>(_mm_extract_epi16(high, 0));
    levels[places[5]] = static_cast<int16_t>(_mm_extract_epi16(high, 2));
    levels[places[6]] = static_cast<int16_t>(_mm_extract_epi16(high, 4));
    levels[places[7]] = static_cast<int16_t>(_mm_extract_epi16(high, 6));
}

// Decodes the next zero run and the code after it of every lane, and a second zero run and code
// where both fit the 32 bits after the lane's unread position (most codes are a few bits long, so
// most steps take two: the shifts, the checks and the loop are paid once for both). Returns the
// lanes whose slot is complete now (as a byte mask). levels + dummy takes the stores of lanes with
// nothing to store.
FRAMEDEC_INLINE uint32_t LaneStep8(LaneGroup8& g, int16_t* levels, uint32_t dummy, const uint8_t* zigzag) {
    // Every comparison is "x > constant", which takes the constant as a memory operand.
    const __m256i one = _mm256_set1_epi32(1), thirtyOne = _mm256_set1_epi32(31), thirtyTwo = _mm256_set1_epi32(32);
    const __m256i sixtyThree = _mm256_set1_epi32(63), allBits = _mm256_set1_epi32(-1);
    const __m256i zeros = LeadingZeros32(g.w0);
    const __m256i window = _mm256_or_si256(_mm256_sllv_epi32(g.w0, zeros),
                                           _mm256_srlv_epi32(g.w1, _mm256_sub_epi32(thirtyTwo, zeros)));
    // Leading ones. Where a code starts in the window, its top bit is 1 and the inverted window's 0,
    // so the count is exact up to 31, and an all-one window counts 158: a long code either way.
    // Lanes without a code may count anything; their results go nowhere.
    const __m256i size = LeadingZerosUnclamped(_mm256_xor_si256(window, allBits));
    const __m256i position = _mm256_add_epi32(g.k, zeros);
    // No code in the window: 32 zeros, or the zero run reaches past the block's last position.
    const __m256i noCodeStart = _mm256_or_si256(_mm256_cmpgt_epi32(zeros, thirtyOne), _mm256_cmpgt_epi32(position, sixtyThree));
    const __m256i longCode = _mm256_andnot_si256(noCodeStart, _mm256_cmpgt_epi32(size, _mm256_set1_epi32(15)));
    if (_mm256_movemask_ps(_mm256_castsi256_ps(longCode)) != 0) [[unlikely]] {
        g = LaneStepScalar8(g, levels, zigzag);
    } else {
        const __m256i codeBits = _mm256_add_epi32(_mm256_add_epi32(size, size), one);
        const __m256i codeEnd = _mm256_add_epi32(zeros, codeBits);
        const __m256i noCode = _mm256_or_si256(noCodeStart, _mm256_cmpgt_epi32(codeEnd, thirtyTwo));
        // The second code is read from the window's bits after the first. Its zero count is 158 when
        // they are all zero (the position check then fails) and negative when the top one is set
        // (no zeros). A code that ends by bit 32 of the lane has a size of at most 14.
        const __m256i rest = _mm256_sllv_epi32(window, codeBits);
        const __m256i zeros2 = _mm256_max_epi32(LeadingZerosUnclamped(rest), _mm256_setzero_si256());
        const __m256i window2 = _mm256_sllv_epi32(rest, zeros2);
        const __m256i size2 = LeadingZerosUnclamped(_mm256_xor_si256(window2, allBits));
        const __m256i run2 = _mm256_add_epi32(zeros2, one);  // zigzag positions to the second code
        const __m256i codeEnd2 = _mm256_add_epi32(_mm256_add_epi32(codeEnd, run2), _mm256_add_epi32(size2, size2));
        const __m256i position2 = _mm256_add_epi32(position, run2);
        const __m256i noSecond = _mm256_or_si256(
            noCode, _mm256_or_si256(_mm256_cmpgt_epi32(codeEnd2, thirtyTwo), _mm256_cmpgt_epi32(position2, sixtyThree)));
        // Both zigzag positions in one lookup: the first in each lane's low byte, the second above it.
        const __m256i natural = NaturalIndexBytes(_mm256_or_si256(position, _mm256_slli_epi32(position2, 8)));
        const __m256i byte = _mm256_set1_epi32(0xFF), nowhere = _mm256_set1_epi32(static_cast<int>(dummy));
        const __m256i place = _mm256_blendv_epi8(_mm256_add_epi32(g.base, _mm256_and_si256(natural, byte)), nowhere, noCode);
        const __m256i place2 = _mm256_blendv_epi8(
            _mm256_add_epi32(g.base, _mm256_and_si256(_mm256_srli_epi32(natural, 8), byte)), nowhere, noSecond);
        StoreLevels(levels, place, LevelOf(window, size));
        StoreLevels(levels, place2, LevelOf(window2, size2));
        // Past a decoded code: + 1, and past a second one: + its zero run + 1 more.
        g.k = _mm256_add_epi32(_mm256_add_epi32(position, _mm256_add_epi32(noCode, one)), _mm256_andnot_si256(noSecond, run2));
        Advance(g, _mm256_blendv_epi8(_mm256_blendv_epi8(codeEnd2, codeEnd, noSecond), zeros, noCode));
    }
    const __m256i complete = _mm256_or_si256(_mm256_cmpgt_epi32(g.k, sixtyThree),
                                             _mm256_cmpeq_epi32(_mm256_or_si256(g.w0, g.w1), _mm256_setzero_si256()));
    return static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(complete)));
}

// For each 8-bit mask of lanes, each lane's rank among the mask's lanes (the number of lanes of the
// mask below it), one byte per lane.
struct LaneRanks {
    uint64_t rank[256];
};

constexpr LaneRanks MakeLaneRanks() {
    LaneRanks t{};
    for (uint32_t mask = 0; mask < 256; ++mask) {
        uint32_t below = 0;
        for (uint32_t lane = 0; lane < kLanes8; ++lane) {
            t.rank[mask] |= uint64_t{below} << (8 * lane);
            below += (mask >> lane) & 1;
        }
    }
    return t;
}

inline constexpr LaneRanks kLaneRanks = MakeLaneRanks();

// Gives the lanes in done the next slots of the batch, in lane order, without leaving the
// registers: lane j of done takes start state next + (its rank in done), a permute of the eight
// states from next on. Lanes left without a slot (next + rank >= count) get an empty stream at
// k = 64. The start-state arrays must hold zeros (or any state) up to next + 8 (kLaneStartPadding8).
FRAMEDEC_INLINE void LaneRefill8(LaneGroup8& g, uint32_t done, const LaneStarts& starts, uint32_t count,
                                 uint32_t stride, uint32_t& next) {
    const __m256i rank = _mm256_cvtepu8_epi32(_mm_cvtsi64_si128(static_cast<long long>(kLaneRanks.rank[done])));
    const __m256i laneBits = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
    const __m256i refilled = _mm256_cmpeq_epi32(_mm256_and_si256(_mm256_set1_epi32(static_cast<int>(done)), laneBits), laneBits);
    const __m256i slot = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(next)), rank);
    const __m256i beyond = _mm256_cmpgt_epi32(_mm256_add_epi32(slot, _mm256_set1_epi32(1)), _mm256_set1_epi32(static_cast<int>(count)));
    const __m256i empty = _mm256_and_si256(refilled, beyond), taken = _mm256_andnot_si256(beyond, refilled);
    const auto state = [&](const uint32_t* words) {
        return _mm256_permutevar8x32_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(words + next)), rank);
    };
    g.w0 = _mm256_andnot_si256(empty, _mm256_blendv_epi8(g.w0, state(starts.w0), taken));
    g.w1 = _mm256_andnot_si256(empty, _mm256_blendv_epi8(g.w1, state(starts.w1), taken));
    g.w2 = _mm256_andnot_si256(empty, _mm256_blendv_epi8(g.w2, state(starts.w2), taken));
    g.w3 = _mm256_andnot_si256(empty, _mm256_blendv_epi8(g.w3, state(starts.w3), taken));
    g.k = _mm256_or_si256(_mm256_andnot_si256(refilled, g.k), _mm256_and_si256(empty, _mm256_set1_epi32(64)));
    g.base = _mm256_blendv_epi8(g.base, _mm256_mullo_epi32(slot, _mm256_set1_epi32(static_cast<int>(stride))), taken);
    next += static_cast<uint32_t>(__builtin_popcount(done));
}

// Decodes count slots from their start states into levels: block b's 64 levels in natural order
// at levels + b * stride (zeroed by the caller); levels + dummy is scratch.
FRAMEDEC_INLINE void DecodeLaneLevels8(const LaneStarts& starts, uint32_t count, uint32_t stride, int16_t* levels,
                                       uint32_t dummy) {
    if (count == 0) return;
    alignas(64) uint8_t zigzag[64];
    __builtin_memcpy(zigzag, kZigzag, sizeof zigzag);
    LaneGroup8 a{}, b{};
    uint32_t next = 0;
    LaneRefill8(a, 0xFF, starts, count, stride, next);
    LaneRefill8(b, 0xFF, starts, count, stride, next);
    for (;;) {
        const uint32_t doneA = LaneStep8(a, levels, dummy, zigzag);
        const uint32_t doneB = LaneStep8(b, levels, dummy, zigzag);
        if (next < count) {
            if (doneA != 0) LaneRefill8(a, doneA, starts, count, stride, next);
            if (doneB != 0) LaneRefill8(b, doneB, starts, count, stride, next);
        } else if ((doneA & doneB) == 0xFF) {
            return;
        }
    }
}

}  // namespace
}  // namespace framedec
