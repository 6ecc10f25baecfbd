// The block decoder: one 16-byte slot to 64 pixels or to 64 dequantised coefficients.
//
// Several variants of the same arithmetic may be built (the portable scalar one always). One of
// them is chosen once, from what the processor supports, and every caller goes through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace framedec {

// A rectangle of block slots: rows of columns consecutive slots (16 bytes apart, as in a block
// row), the first slots of two successive rows slotPitch bytes apart (a frame's block rows are
// 2560 bytes apart). Only the slots themselves are read.
struct SlotSpan {
    const uint8_t* slots;
    std::size_t slotPitch;
    uint32_t columns;
    uint32_t rows;
};

// Decodes a span of slots to 8 x 8 pixel blocks laid out as in an image: line k of block (i, j)
// (column i, row j of the span) goes to pixels + (8 j + k) * pitch + 8 i. table: 64 entries in
// natural order. Taking many rows at once lets a variant decode many slots side by side even when
// the span is narrow.
using DecodeBlocksFn = void (*)(const SlotSpan& span, const uint16_t* table, uint8_t* pixels, std::size_t pitch);
// The same for dequantised coefficients: count blocks of 64 signed values in natural order.
using DecodeCoefficientBlocksFn = void (*)(const uint8_t* slots, uint32_t count, const uint16_t* table,
                                           int16_t* coefficients);

// The DC preview of count consecutive slots: one (DC level + 128) mod 256 byte per slot. A slot's
// window may take up to 3 bytes after it.
using DecodeDcBlocksFn = void (*)(const uint8_t* slots, uint32_t count, uint8_t* values);

struct BlockDecoder {
    const char* name;                                // "scalar", "avx2", ...
    bool (*supported)();                             // whether this processor can run the variant
    DecodeBlocksFn decodeBlocks;                     // DecodeBlock over a span of slots
    DecodeCoefficientBlocksFn decodeCoefficients;    // DecodeBlockCoefficients over consecutive slots
    DecodeDcBlocksFn decodeDc;                       // the DC preview over consecutive slots
};

// The portable reference: plain integer arithmetic, the definition every other variant must match.
void DecodeBlockScalar(const uint8_t* slot, const uint16_t* table, uint8_t* pixels);
void DecodeBlockCoefficientsScalar(const uint8_t* slot, const uint16_t* table, int16_t* coefficients);
void DecodeBlocksScalar(const SlotSpan& span, const uint16_t* table, uint8_t* pixels, std::size_t pitch);
void DecodeCoefficientBlocksScalar(const uint8_t* slots, uint32_t count, const uint16_t* table, int16_t* coefficients);

// Every variant built into this library, the portable scalar one first.
std::span<const BlockDecoder> BlockDecoders();

// The environment variable that caps the variant, for comparisons and bug reports: a variant's name
// ("scalar", "sse41", "avx2", "avx512", "neon"), read once, at the first decode.
inline constexpr const char* kBlockDecoderVariable = "FRAMEDEC_BLOCK_DECODER";

// The variant named by requested (any letter case) when the processor supports it; otherwise,
// also for a null or unknown name, the fastest one it supports (the last supported entry).
const BlockDecoder& ChooseBlockDecoder(std::span<const BlockDecoder> decoders, const char* requested);

// The variant in use: ChooseBlockDecoder over BlockDecoders() with kBlockDecoderVariable's value,
// on first use.
const BlockDecoder& ActiveBlockDecoder();

// Makes the named variant the active one. Tests use this to run everything once per variant.
// Returns false, changing nothing, when the name is unknown or the processor cannot run it.
bool SelectBlockDecoder(std::string_view name);

// One slot to 64 pixels, or to 64 dequantised coefficients, with the active variant.
inline void DecodeBlock(const uint8_t* slot, const uint16_t* table, uint8_t* pixels) {
    ActiveBlockDecoder().decodeBlocks(SlotSpan{slot, 0, 1, 1}, table, pixels, 8);
}

inline void DecodeBlockCoefficients(const uint8_t* slot, const uint16_t* table, int16_t* coefficients) {
    ActiveBlockDecoder().decodeCoefficients(slot, 1, table, coefficients);
}

}  // namespace framedec
