// The x86 block-decoder variants. Each is compiled for its own instruction set; dispatch only
// installs one after checking that the processor supports it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/block_decoder.h"

namespace framedec {

void DecodeBlocksSse41(const SlotSpan& span, const uint16_t* table, uint8_t* pixels, std::size_t pitch);
void DecodeCoefficientBlocksSse41(const uint8_t* slots, uint32_t count, const uint16_t* table, int16_t* coefficients);

void DecodeBlocksAvx2(const SlotSpan& span, const uint16_t* table, uint8_t* pixels, std::size_t pitch);
void DecodeCoefficientBlocksAvx2(const uint8_t* slots, uint32_t count, const uint16_t* table, int16_t* coefficients);
void DecodeDcBlocksAvx2(const uint8_t* slots, uint32_t count, uint8_t* values);

void DecodeBlocksAvx512(const SlotSpan& span, const uint16_t* table, uint8_t* pixels, std::size_t pitch);
void DecodeCoefficientBlocksAvx512(const uint8_t* slots, uint32_t count, const uint16_t* table, int16_t* coefficients);
void DecodeDcBlocksAvx512(const uint8_t* slots, uint32_t count, uint8_t* values);

}  // namespace framedec
