// The NEON block decoder for 64-bit ARM: the fast entropy decoder (the slot reversed with RBIT,
// codes read with CLZ), then the two fixed-point passes with 16 x 16 -> 32-bit multiply-accumulates
// (SMLAL by a lane) over eight pixel columns at a time. Bit-identical to the portable decoder:
// every sum is the same wrapping 32-bit sum (regrouped), the shifts are the same arithmetic shifts
// (a narrowing shift by 16 keeps exactly t >> 16, which always fits 16 bits), and the saturating
// add of 128 and the unsigned saturating narrow clamp as the portable clamp does.
//
// Each pass uses the symmetry of the basis, B[7 - x][u] = (-1)^u B[x][u]: it forms E = the sum
// over even frequencies and O = the sum over odd ones for outputs 0 to 3 and gets outputs 7 to 4
// as E - O. A first-pass row thus holds its outputs in the order 0, 1, 2, 3, 7, 6, 5, 4, which the
// second pass keeps (it works on whole rows) and the store puts back in order.
#include <arm_acle.h>
#include <arm_neon.h>

#include "codec/block_decoder_neon.h"
#include "codec/block_pipeline.h"
#include "codec/idct_basis.h"

namespace framedec {
namespace {

// Basis columns for the passes: column[u] = (B[0][u], B[1][u], B[2][u], B[3][u]).
struct BasisColumns {
    int16_t column[8][4];
};

constexpr BasisColumns MakeBasisColumns() {
    BasisColumns c{};
    for (int u = 0; u < 8; ++u)
        for (int x = 0; x < 4; ++x) c.column[u][x] = kIdctBasis[x][u];
    return c;
}

constexpr BasisColumns kColumns = MakeBasisColumns();

// First pass over coefficient row v: G[x][v] for x = 0, 1, 2, 3, 7, 6, 5, 4.
FRAMEDEC_INLINE int16x8_t FirstPassRow(int16x8_t row, const int16x4_t* column) {
    int32x4_t even = vmull_laneq_s16(column[0], row, 0);
    even = vmlal_laneq_s16(even, column[2], row, 2);
    even = vmlal_laneq_s16(even, column[4], row, 4);
    even = vmlal_laneq_s16(even, column[6], row, 6);
    int32x4_t odd = vmull_laneq_s16(column[1], row, 1);
    odd = vmlal_laneq_s16(odd, column[3], row, 3);
    odd = vmlal_laneq_s16(odd, column[5], row, 5);
    odd = vmlal_laneq_s16(odd, column[7], row, 7);
    return vcombine_s16(vshrn_n_s32(vaddq_s32(even, odd), 16), vshrn_n_s32(vsubq_s32(even, odd), 16));
}

// Pixel lines y and 7 - y from the first-pass rows h[0..Rows-1] (rows beyond are zero):
// s = sum over v of B[y][v] h[v], then + 128 and clamped.
template <uint32_t Rows>
FRAMEDEC_INLINE void SecondPassLines(const int16x8_t* h, int y, uint8x8_t& upper, uint8x8_t& lower) {
    const int16x8_t basisRow = vld1q_s16(kIdctBasis[y]);
    int32x4_t evenLow = vmull_laneq_s16(vget_low_s16(h[0]), basisRow, 0);
    int32x4_t evenHigh = vmull_high_laneq_s16(h[0], basisRow, 0);
    int32x4_t oddLow = vmull_laneq_s16(vget_low_s16(h[1]), basisRow, 1);
    int32x4_t oddHigh = vmull_high_laneq_s16(h[1], basisRow, 1);
    if constexpr (Rows > 2) {
        evenLow = vmlal_laneq_s16(evenLow, vget_low_s16(h[2]), basisRow, 2);
        evenHigh = vmlal_high_laneq_s16(evenHigh, h[2], basisRow, 2);
        oddLow = vmlal_laneq_s16(oddLow, vget_low_s16(h[3]), basisRow, 3);
        oddHigh = vmlal_high_laneq_s16(oddHigh, h[3], basisRow, 3);
    }
    if constexpr (Rows > 4) {
        evenLow = vmlal_laneq_s16(evenLow, vget_low_s16(h[4]), basisRow, 4);
        evenHigh = vmlal_high_laneq_s16(evenHigh, h[4], basisRow, 4);
        oddLow = vmlal_laneq_s16(oddLow, vget_low_s16(h[5]), basisRow, 5);
        oddHigh = vmlal_high_laneq_s16(oddHigh, h[5], basisRow, 5);
    }
    if constexpr (Rows > 6) {
        evenLow = vmlal_laneq_s16(evenLow, vget_low_s16(h[6]), basisRow, 6);
        evenHigh = vmlal_high_laneq_s16(evenHigh, h[6], basisRow, 6);
        oddLow = vmlal_laneq_s16(oddLow, vget_low_s16(h[7]), basisRow, 7);
        oddHigh = vmlal_high_laneq_s16(oddHigh, h[7], basisRow, 7);
    }
    const int16x8_t bias = vdupq_n_s16(128);
    const int16x8_t sum = vcombine_s16(vshrn_n_s32(vaddq_s32(evenLow, oddLow), 16), vshrn_n_s32(vaddq_s32(evenHigh, oddHigh), 16));
    const int16x8_t difference =
        vcombine_s16(vshrn_n_s32(vsubq_s32(evenLow, oddLow), 16), vshrn_n_s32(vsubq_s32(evenHigh, oddHigh), 16));
    upper = vqmovun_s16(vqaddq_s16(sum, bias));
    lower = vqmovun_s16(vqaddq_s16(difference, bias));
}

template <uint32_t Pairs>
FRAMEDEC_INLINE void InverseTransform(const int16_t* coefficients, uint8_t* pixels, std::size_t pitch) {
    constexpr uint32_t kRows = 2 * Pairs;
    int16x4_t column[8];
    for (int u = 0; u < 8; ++u) column[u] = vld1_s16(kColumns.column[u]);
    int16x8_t h[8];
    for (uint32_t v = 0; v < kRows; ++v) h[v] = FirstPassRow(vld1q_s16(coefficients + 8 * v), column);
    // Pixels of a line come out in the order 0, 1, 2, 3, 7, 6, 5, 4.
    const uint8x8_t inOrder = {0, 1, 2, 3, 7, 6, 5, 4};
    for (int y = 0; y < 4; ++y) {
        uint8x8_t upper, lower;
        SecondPassLines<kRows>(h, y, upper, lower);
        vst1_u8(pixels + y * pitch, vtbl1_u8(upper, inOrder));
        vst1_u8(pixels + (7 - y) * pitch, vtbl1_u8(lower, inOrder));
    }
}

struct Neon {
    // The slot as a 128-bit value with its bit order reversed, from two bit reversals of its words.
    static StreamCursor StartSlot(const uint8_t* slot) {
        uint64_t low, high;
        std::memcpy(&low, slot, 8);
        std::memcpy(&high, slot + 8, 8);
        return StartStream(__rbitll(low), __rbitll(high));
    }

    static void Zero(int16_t* coefficients, uint32_t blocks) {
        const int16x8_t zero = vdupq_n_s16(0);
        for (uint32_t i = 0; i < blocks * 64; i += 8) vst1q_s16(coefficients + i, zero);
    }

    static void Dequantise(int16_t* coefficients, uint32_t blocks, const uint16_t* table) {
        int16x8_t rows[8];
        for (int r = 0; r < 8; ++r) rows[r] = vreinterpretq_s16_u16(vld1q_u16(table + 8 * r));
        for (uint32_t b = 0; b < blocks; ++b) {
            int16_t* block = coefficients + 64 * b;
            for (int r = 0; r < 8; ++r) vst1q_s16(block + 8 * r, vmulq_s16(vld1q_s16(block + 8 * r), rows[r]));
        }
    }

    template <uint32_t Pairs>
    static void Transform(const int16_t* coefficients, uint8_t* pixels, std::size_t pitch) {
        InverseTransform<Pairs>(coefficients, pixels, pitch);
    }
};

}  // namespace

void DecodeBlocksNeon(const SlotSpan& span, const uint16_t* table, uint8_t* pixels, std::size_t pitch) {
    DecodeBlocksWith<Neon>(span, table, pixels, pitch);
}

void DecodeCoefficientBlocksNeon(const uint8_t* slots, uint32_t count, const uint16_t* table, int16_t* coefficients) {
    DecodeCoefficientBlocksWith<Neon>(slots, count, table, coefficients);
}

}  // namespace framedec
