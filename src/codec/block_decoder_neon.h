// The NEON block-decoder variant of 64-bit ARM builds. Advanced SIMD is part of every AArch64
// processor, so dispatch offers it wherever the library is built for one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/block_decoder.h"

namespace framedec {

void DecodeBlocksNeon(const SlotSpan& span, const uint16_t* table, uint8_t* pixels, std::size_t pitch);
void DecodeCoefficientBlocksNeon(const uint8_t* slots, uint32_t count, const uint16_t* table, int16_t* coefficients);

}  // namespace framedec
