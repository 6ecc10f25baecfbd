// The block decoder: one 16-byte slot to 64 pixels or to 64 dequantised coefficients.
//
// Several variants of the same arithmetic may be built (the portable scalar one always). One of
// them is chosen once, from what the processor supports, and every caller goes through it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace framedec {

// slot: 16 bytes; table: 64 unsigned entries in natural order; pixels: 64 bytes, line after line.
using DecodeBlockFn = void (*)(const uint8_t* slot, const uint16_t* table, uint8_t* pixels);
// coefficients: 64 signed dequantised values in natural order.
using DecodeCoefficientsFn = void (*)(const uint8_t* slot, const uint16_t* table, int16_t* coefficients);

struct BlockDecoder {
    const char* name;                          // "scalar", "avx2", ...
    bool (*supported)();                       // whether this processor can run the variant
    DecodeBlockFn decodeBlock;                 // DecodeBlock
    DecodeCoefficientsFn decodeCoefficients;   // DecodeBlockCoefficients
};

// The portable reference: plain integer arithmetic, the definition every other variant must match.
void DecodeBlockScalar(const uint8_t* slot, const uint16_t* table, uint8_t* pixels);
void DecodeBlockCoefficientsScalar(const uint8_t* slot, const uint16_t* table, int16_t* coefficients);

// Every variant built into this library, the portable scalar one first.
std::span<const BlockDecoder> BlockDecoders();

// The variant in use: the fastest one the processor supports, chosen on first use.
const BlockDecoder& ActiveBlockDecoder();

// Makes the named variant the active one. Tests use this to run everything once per variant.
// Returns false, changing nothing, when the name is unknown or the processor cannot run it.
bool SelectBlockDecoder(std::string_view name);

inline void DecodeBlock(const uint8_t* slot, const uint16_t* table, uint8_t* pixels) {
    ActiveBlockDecoder().decodeBlock(slot, table, pixels);
}

inline void DecodeBlockCoefficients(const uint8_t* slot, const uint16_t* table, int16_t* coefficients) {
    ActiveBlockDecoder().decodeCoefficients(slot, table, coefficients);
}

}  // namespace framedec
