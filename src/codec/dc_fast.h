// The fast DC preview, shared by the portable build and the BMI build of the AVX2 variant (each
// compiles it with its own instruction set; internal linkage, compiler builtins only).
//
// Only the low 8 bits of the DC level reach the output, and the low 8 bits of a magnitude are its
// last 8 bits, so no bit-by-bit read and no reversal of more than one byte are needed:
//   - the first non-zero byte j comes from a trailing-zero count over two 64-bit words;
//   - in the 32-bit window at j, the marker is the lowest set bit, the size n the run of ones
//     above it, and the magnitude the n bits after the separator (first bit read at bit 0);
//   - m mod 256 is the magnitude's last min(n, 8) bits in reverse order: one table lookup.
// Bits past the window read as 0; nothing past slot byte 18 is read.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__GNUC__)
#define FRAMEDEC_DC_INLINE __attribute__((always_inline)) inline
#else
#define FRAMEDEC_DC_INLINE inline
#endif

namespace framedec {
namespace {

FRAMEDEC_DC_INLINE uint64_t LoadLittleEndian64(const uint8_t* p) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
    return v;
#else
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
#endif
}

FRAMEDEC_DC_INLINE uint32_t LoadLittleEndian32(const uint8_t* p) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
#else
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
#endif
}

// Trailing zeros, 64 for zero.
FRAMEDEC_DC_INLINE uint32_t TrailingZeros(uint64_t v) {
#if defined(__BMI__)
    return static_cast<uint32_t>(__builtin_ia32_tzcnt_u64(v));
#else
    return v == 0 ? 64u : static_cast<uint32_t>(__builtin_ctzll(v));
#endif
}

struct ReverseTable {
    uint8_t bits[256];
};

constexpr ReverseTable MakeReverseTable() {
    ReverseTable t{};
    for (uint32_t b = 0; b < 256; ++b) {
        uint32_t r = 0;
        for (int i = 0; i < 8; ++i) r |= ((b >> i) & 1u) << (7 - i);
        t.bits[b] = static_cast<uint8_t>(r);
    }
    return t;
}

constexpr ReverseTable kReverse = MakeReverseTable();

FRAMEDEC_DC_INLINE uint8_t FastDcValue(const uint8_t* slot) {
    const uint64_t low = LoadLittleEndian64(slot), high = LoadLittleEndian64(slot + 8);
    if ((low | high) == 0) return 128;
#if defined(__BMI__)
    // Where the marker byte lies is data-dependent: with a count that is defined for zero, the
    // choice costs a mask instead of a branch.
    const uint32_t firstSetBit = TrailingZeros(low) + (TrailingZeros(high) & (0u - static_cast<uint32_t>(low == 0)));
#else
    const uint32_t firstSetBit = low != 0 ? TrailingZeros(low) : 64u + TrailingZeros(high);
#endif
    const uint32_t window = LoadLittleEndian32(slot + (firstSetBit >> 3));  // its first byte is non-zero
    const uint64_t afterMarker = uint64_t{window} >> (TrailingZeros(window) + 1);  // bits past 31 read as 0
    const uint32_t size = TrailingZeros(~afterMarker);                              // at most 31
    // Size 0 needs no special case: no magnitude bits, value 0.
    const uint32_t magnitudeBits = static_cast<uint32_t>(afterMarker >> (size + 1)) & ((1u << size) - 1u);
    const uint32_t magnitudeLow8 = kReverse.bits[((magnitudeBits << 8) >> size) & 0xFFu];
    const uint32_t negative = (magnitudeBits & 1u) - 1u;  // all ones when the first magnitude bit is 0
    const uint32_t value = magnitudeLow8 - (((1u << size) - 1u) & negative);
    return static_cast<uint8_t>(value + 128u);
}

FRAMEDEC_DC_INLINE void FastDcBlocks(const uint8_t* slots, uint32_t count, uint8_t* values) {
    for (uint32_t i = 0; i < count; ++i) values[i] = FastDcValue(slots + 16 * i);
}

}  // namespace
}  // namespace framedec
