#include "codec/decode_region.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "codec/block_decoder.h"
#include "codec/frame_geometry.h"

namespace framedec {
namespace {

// Walks the blocks covering the rectangle row by row and hands each block's slot and its visible
// width and height (in elements) to decodeAndStore together with its output line and element.
template <typename DecodeAndStore>
void ForEachBlock(uint32_t x, uint32_t y, uint32_t width, uint32_t height, const uint8_t* frame,
                  DecodeAndStore&& decodeAndStore) {
    const uint32_t firstColumn = x / kBlockSize;
    const uint32_t firstRow = y / kBlockSize;
    const uint32_t columns = (width + kBlockSize - 1) / kBlockSize;
    const uint32_t rows = (height + kBlockSize - 1) / kBlockSize;
    for (uint32_t j = 0; j < rows; ++j) {
        const uint32_t visibleLines = std::min(kBlockSize, height - kBlockSize * j);
        for (uint32_t i = 0; i < columns; ++i) {
            const uint32_t visibleColumns = std::min(kBlockSize, width - kBlockSize * i);
            const uint8_t* slot = frame + SlotOffset(firstRow + j, firstColumn + i);
            decodeAndStore(slot, std::size_t{kBlockSize} * j, std::size_t{kBlockSize} * i, visibleColumns,
                           visibleLines);
        }
    }
}

}  // namespace

void DecodeRegion(uint8_t* output, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                  uint32_t pitch, const uint8_t* frame, const uint16_t* table) {
    const DecodeBlockFn decodeBlock = ActiveBlockDecoder().decodeBlock;
    ForEachBlock(x, y, width, height, frame,
                 [&](const uint8_t* slot, std::size_t line, std::size_t column, uint32_t cw, uint32_t ch) {
                     alignas(64) uint8_t pixels[kBlockPixels];
                     decodeBlock(slot, table, pixels);
                     uint8_t* out = output + line * pitch + column;
                     for (uint32_t k = 0; k < ch; ++k) std::memcpy(out + k * std::size_t{pitch}, pixels + kBlockSize * k, cw);
                 });
}

void DecodeCoefficientRegion(int16_t* output, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                             uint32_t pitch, const uint8_t* frame, const uint16_t* table) {
    const DecodeCoefficientsFn decodeCoefficients = ActiveBlockDecoder().decodeCoefficients;
    // The pitch is in bytes and need not be even, so lines are addressed as bytes.
    auto* base = reinterpret_cast<uint8_t*>(output);
    ForEachBlock(x, y, width, height, frame,
                 [&](const uint8_t* slot, std::size_t line, std::size_t element, uint32_t cw, uint32_t ch) {
                     alignas(64) int16_t coefficients[kBlockPixels];
                     decodeCoefficients(slot, table, coefficients);
                     uint8_t* out = base + line * pitch + element * sizeof(int16_t);
                     for (uint32_t v = 0; v < ch; ++v) {
                         std::memcpy(out + v * std::size_t{pitch}, coefficients + kBlockSize * v, cw * sizeof(int16_t));
                     }
                 });
}

}  // namespace framedec
