// The x86 block-decoder variants and what they share. Each variant's file is compiled for its
// own instruction set through function attributes; dispatch picks one only when the processor
// supports it.
#pragma once

#include <cstdint>

namespace framedec {

// The pixel value of a block whose only non-zero coefficient is the (dequantised) DC: both passes
// reduce to one product each, t = B[x][0] * dc with B[x][0] = 23170 for every x.
inline uint8_t DcOnlyPixel(int16_t dc) {
    const int32_t g = (23170 * int32_t{dc}) >> 16;
    const int32_t p = ((23170 * g) >> 16) + 128;
    return static_cast<uint8_t>(p < 0 ? 0 : p > 255 ? 255 : p);
}

void DecodeBlocksAvx2(const uint8_t* slots, uint32_t count, const uint16_t* table, uint8_t* pixels);
void DecodeCoefficientBlocksAvx2(const uint8_t* slots, uint32_t count, const uint16_t* table, int16_t* coefficients);

}  // namespace framedec
