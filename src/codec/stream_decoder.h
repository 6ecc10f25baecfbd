// The fast entropy decoder shared by the vectorised block decoders. It is included by each
// variant's source file and compiled there with that variant's instruction set, so everything
// here has internal linkage (and uses compiler builtins rather than standard-library templates,
// whose shared instantiations could otherwise carry one variant's instructions into another).
//
// The slot is bit-reversed once (by the caller, with whatever instructions it has), so the stream
// reads from the most significant bit down, as in a JPEG bit buffer. Then, per non-zero code:
//   - a run of z zero bits is z zero coefficients: one leading-zero count, no loop;
//   - the size n is the count of leading ones after that run;
//   - the magnitude is the next n bits, already most significant first: two shifts;
//   - a state whose next 64 bits are zero has only zero coefficients left: stop.
// The dependency chain from one code to the next is two bit counts and one 128-bit shift. It
// is still a chain, so callers decode two slots at once to keep the processor busy.
// Levels are stored as they are read, into an array the caller has zeroed; the caller
// dequantises whole blocks afterwards with vector multiplies.
#pragma once

#include <cstdint>

#if defined(__BMI2__)
#include <immintrin.h>
#endif

#include "codec/zigzag.h"

#if defined(__GNUC__)
#define FRAMEDEC_INLINE __attribute__((always_inline)) inline
#define FRAMEDEC_COLD __attribute__((noinline, cold))
#else
#define FRAMEDEC_INLINE inline
#define FRAMEDEC_COLD
#endif

namespace framedec {
namespace {

using Bits128 = unsigned __int128;

// Leading zeros and ones of a 64-bit word, 64 for an all-zero (all-one) word.
FRAMEDEC_INLINE uint32_t LeadingZeros(uint64_t v) {
#if defined(__LZCNT__)
    return static_cast<uint32_t>(__builtin_ia32_lzcnt_u64(v));  // defined for 0
#else
    return v == 0 ? 64u : static_cast<uint32_t>(__builtin_clzll(v));
#endif
}
FRAMEDEC_INLINE uint32_t LeadingOnes(uint64_t v) { return LeadingZeros(~v); }

// What the pipeline needs to know about a decoded block: the zigzag position of its last
// non-zero level (0 when the DC is the only one, or there is none). Tracking just this costs one
// register move per code; the rows the block can occupy follow from it.
struct StreamSummary {
    uint32_t lastCode = 0;
};

// Position in one slot's stream: the unread bits, most significant first (bits past the slot are
// zero), and the zigzag position of the next code; 64 when the block is complete.
struct StreamCursor {
    uint64_t hi;
    uint64_t lo;
    uint32_t k;
};

// reversedHi:reversedLo is the slot bit-reversed: bit 127 - i of it is slot bit i.
FRAMEDEC_INLINE StreamCursor StartStream(uint64_t reversedHi, uint64_t reversedLo) {
    if ((reversedHi | reversedLo) == 0) return {0, 0, 64};  // no start marker: all zero
    // 64 + the low word's count when the high word is zero, chosen without a branch.
    const uint32_t markerDepth = LeadingZeros(reversedHi) + (reversedHi == 0 ? LeadingZeros(reversedLo) : 0u);
    if (markerDepth == 127) return {0, 0, 64};  // marker at the slot's last bit: no codes
    const Bits128 state = (Bits128{reversedHi} << 64 | reversedLo) << (markerDepth + 1);
    return {static_cast<uint64_t>(state >> 64), static_cast<uint64_t>(state), 0};
}

// The level of a code and the stream after it.
struct LongCodeResult {
    uint32_t level;
    uint64_t hi, lo;
};

// A code that does not lie within the cursor's first 64 bits after its zero run, or whose size is
// 32 or more (never in a well-formed slot). Consumes the zero run and the code; returns the
// level's low 16 bits (all that the result keeps). Kept out of line, with its inputs and outputs
// by value, so that the common path keeps the cursor in registers.
FRAMEDEC_COLD LongCodeResult LongCode(uint64_t cursorHi, uint64_t cursorLo, uint32_t zeros) {
    Bits128 state = (Bits128{cursorHi} << 64 | cursorLo) << zeros;
    const uint64_t hi = static_cast<uint64_t>(state >> 64);
    const uint64_t lo = static_cast<uint64_t>(state);
    // At least one zero bit was shifted in at the bottom, so the run of ones ends inside the state.
    const uint32_t size = ~hi == 0 ? 64u + LeadingOnes(lo) : LeadingOnes(hi);
    const Bits128 magnitudeBits = size + 1 < 128 ? state << (size + 1) : Bits128{0};
    const uint32_t magnitude = static_cast<uint32_t>(magnitudeBits >> (128 - size));  // low 32 bits
    const bool positive = (magnitudeBits >> 127) != 0;
    const uint32_t allOnes = size >= 16 ? 0xFFFFu : (1u << size) - 1u;  // 2^n - 1, low 16 bits
    const uint32_t codeBits = 2 * size + 1;
    state = codeBits < 128 ? state << codeBits : Bits128{0};
    return {positive ? magnitude : magnitude - allOnes, static_cast<uint64_t>(state >> 64), static_cast<uint64_t>(state)};
}

// Decodes the zero run and the non-zero code that follows it and stores the level; a cursor with
// no code left gets k = 64 and stores nothing. levels must be zeroed by the caller. zigzag: the
// zigzag order, best a copy on the caller's stack (position-independent code can then index it
// without first loading its address).
FRAMEDEC_INLINE void NextCode(StreamCursor& c, int16_t* levels, const uint8_t* zigzag, StreamSummary& summary) {
    const uint64_t hi = c.hi;
    const uint32_t zeros = LeadingZeros(hi);  // 64 when hi is 0
    const uint32_t k = c.k + zeros;
    if (k >= 64) {  // also when 64 zero bits are next: the rest of the block is zero
        c.k = 64;
        return;
    }
    const uint64_t window = hi << zeros;
    const uint32_t size = LeadingOnes(window);  // at least 1
    const uint32_t consumed = zeros + 2 * size + 1;
    uint32_t level;
    if (consumed < 64) [[likely]] {
        // Shifts by 64 - x for x in 1..63 are written as shifts by (0 - x) mod 64: one negation,
        // and the shift instructions take their count modulo 64 anyway.
        const uint64_t magnitudeBits = window << (size + 1);
        const uint32_t magnitude = static_cast<uint32_t>(magnitudeBits >> ((0u - size) & 63));
        // All ones when the first magnitude bit is 0 (a negative level): no branch on the sign.
        const uint32_t negative = ~static_cast<uint32_t>(static_cast<int64_t>(magnitudeBits) >> 63);
#if defined(__BMI2__)
        level = magnitude - _bzhi_u32(negative, size);  // 2^n - 1 when negative, else 0
#else
        level = magnitude - (((1u << size) - 1u) & negative);
#endif
        c.hi = (hi << consumed) | (c.lo >> ((0u - consumed) & 63));
        c.lo <<= consumed;
    } else {
        const LongCodeResult r = LongCode(c.hi, c.lo, zeros);
        level = r.level;
        c.hi = r.hi;
        c.lo = r.lo;
    }
    levels[zigzag[k]] = static_cast<int16_t>(static_cast<uint16_t>(level));
    summary.lastCode = k;
    c.k = k + 1;
}

// Decodes two slots' streams at once: their dependency chains interleave.
FRAMEDEC_INLINE void DecodeStreamPair(StreamCursor a, StreamCursor b, int16_t* levelsA, int16_t* levelsB,
                                      const uint8_t* zigzag, StreamSummary& resultA, StreamSummary& resultB) {
    StreamSummary summaryA, summaryB;  // locals, so they live in registers
    while ((a.k | b.k) < 64) {  // both below 64
        NextCode(a, levelsA, zigzag, summaryA);
        NextCode(b, levelsB, zigzag, summaryB);
    }
    while (a.k < 64) NextCode(a, levelsA, zigzag, summaryA);
    while (b.k < 64) NextCode(b, levelsB, zigzag, summaryB);
    resultA = summaryA;
    resultB = summaryB;
}

// Decodes one slot's stream.
FRAMEDEC_INLINE void DecodeStream(StreamCursor c, int16_t* levels, const uint8_t* zigzag, StreamSummary& result) {
    StreamSummary summary;
    while (c.k < 64) NextCode(c, levels, zigzag, summary);
    result = summary;
}

}  // namespace
}  // namespace framedec
