#include "codec/decode_region.h"

#include <cstddef>
#include <cstring>

#include "codec/block_decoder.h"
#include "codec/frame_geometry.h"

namespace framedec {
namespace {

// The rectangle's blocks: whole columns and rows plus the width / height of the cut-off last one.
struct BlockSpan {
    uint32_t firstColumn, firstRow, columns, rows;
};

BlockSpan SpanOf(uint32_t x, uint32_t y, uint32_t width, uint32_t height) {
    return {x / kBlockSize, y / kBlockSize, (width + kBlockSize - 1) / kBlockSize, (height + kBlockSize - 1) / kBlockSize};
}

uint32_t VisibleLines(uint32_t height, uint32_t blockRow) {
    const uint32_t rest = height - kBlockSize * blockRow;
    return rest < kBlockSize ? rest : kBlockSize;
}

constexpr std::size_t kRowBufferPitch = std::size_t{kSlotsPerRow} * kBlockSize;  // a whole block row of pixels

}  // namespace

// The blocks wholly inside the rectangle are decoded in one span, straight into the output: many
// rows at once, which keeps a variant that decodes many slots side by side busy also on a narrow
// strip, while the variant fetches the output lines of the next block row into the cache ahead of
// its writes (so an output that is not in cache costs little more than one that is). A cut-off
// last block column and a cut-off last block row go through buffers from which their visible part
// is copied. (Where a pitch below the width makes output lines overlap, the overlapping bytes keep
// whatever was written last.)
void DecodeRegion(uint8_t* output, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                  uint32_t pitch, const uint8_t* frame, const uint16_t* table) {
    const DecodeBlocksFn decodeBlocks = ActiveBlockDecoder().decodeBlocks;
    const BlockSpan span = SpanOf(x, y, width, height);
    const uint32_t wholeColumns = width / kBlockSize, wholeRows = height / kBlockSize;
    const uint8_t* firstSlot = frame + SlotOffset(span.firstRow, span.firstColumn);
    decodeBlocks({firstSlot, kBlockRowBytes, wholeColumns, wholeRows}, table, output, pitch);

    if (wholeColumns < span.columns && wholeRows > 0) {
        // The cut-off column's blocks one under another, 8 bytes a line.
        alignas(64) uint8_t column[kMaxBlockRows * kBlockPixels];
        decodeBlocks({firstSlot + kSlotBytes * wholeColumns, kBlockRowBytes, 1, wholeRows}, table, column, kBlockSize);
        const std::size_t visibleBytes = width - kBlockSize * wholeColumns;
        for (uint32_t line = 0; line < kBlockSize * wholeRows; ++line)
            std::memcpy(output + line * std::size_t{pitch} + kBlockSize * wholeColumns, column + kBlockSize * line,
                        visibleBytes);
    }
    if (wholeRows < span.rows) {
        alignas(64) uint8_t row[kBlockSize * kRowBufferPitch];
        decodeBlocks({firstSlot + std::size_t{kBlockRowBytes} * wholeRows, kBlockRowBytes, span.columns, 1}, table, row,
                     kRowBufferPitch);
        uint8_t* out = output + std::size_t{kBlockSize} * wholeRows * pitch;
        for (uint32_t k = 0; k < VisibleLines(height, wholeRows); ++k)
            std::memcpy(out + k * std::size_t{pitch}, row + k * kRowBufferPitch, width);
    }
}

void DecodeCoefficientRegion(int16_t* output, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                             uint32_t pitch, const uint8_t* frame, const uint16_t* table) {
    const DecodeCoefficientBlocksFn decodeCoefficients = ActiveBlockDecoder().decodeCoefficients;
    const BlockSpan span = SpanOf(x, y, width, height);
    const uint32_t wholeColumns = width / kBlockSize, lastColumnWidth = width % kBlockSize;
    constexpr std::size_t kLineBytes = kBlockSize * sizeof(int16_t);
    // The pitch is in bytes and need not be even, so lines are addressed as bytes.
    auto* base = reinterpret_cast<uint8_t*>(output);
    alignas(64) int16_t row[kSlotsPerRow * kBlockPixels];
    for (uint32_t j = 0; j < span.rows; ++j) {
        decodeCoefficients(frame + SlotOffset(span.firstRow + j, span.firstColumn), span.columns, table, row);
        const uint32_t lines = VisibleLines(height, j);
        for (uint32_t v = 0; v < lines; ++v) {
            uint8_t* out = base + (std::size_t{kBlockSize} * j + v) * pitch;
            const int16_t* in = row + kBlockSize * v;
            for (uint32_t i = 0; i < wholeColumns; ++i) std::memcpy(out + kLineBytes * i, in + kBlockPixels * i, kLineBytes);
            if (lastColumnWidth != 0)
                std::memcpy(out + kLineBytes * wholeColumns, in + kBlockPixels * wholeColumns,
                            lastColumnWidth * sizeof(int16_t));
        }
    }
}

}  // namespace framedec
