#include "codec/decode_region.h"

#include <cstddef>
#include <cstring>

#include "codec/block_decoder.h"
#include "codec/frame_geometry.h"
#include "codec/line_copy.h"

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

// The stage: block rows of pixels decoded here first, small enough to stay in the first-level
// cache. Its lines are whole cache lines, so that a line of the stage never shares one with the next.
constexpr std::size_t kStageBytes = 16 * 1024;
constexpr std::size_t kCacheLineBytes = 64;

std::size_t StagePitch(uint32_t columns) {
    return (std::size_t{kBlockSize} * columns + kCacheLineBytes - 1) / kCacheLineBytes * kCacheLineBytes;
}

}  // namespace

// Block rows are decoded a group at a time into the stage, then the rectangle's lines are copied
// out whole, line after line: each cache line of the output is written by consecutive full-width
// stores instead of eight 8-byte pieces from eight blocks, and a large output by streaming stores
// that need not read it from memory first (which matters when it is not in cache, as in a host's
// ring of frame buffers). A group holds as many block rows as fit the stage, so a narrow strip
// still hands the variant many blocks at once. Edge blocks are decoded whole and cut by the copy.
// (Where a pitch below the width makes output lines overlap, the later line's bytes stay.)
void DecodeRegion(uint8_t* output, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                  uint32_t pitch, const uint8_t* frame, const uint16_t* table) {
    const DecodeBlocksFn decodeBlocks = ActiveBlockDecoder().decodeBlocks;
    const BlockSpan span = SpanOf(x, y, width, height);
    if (span.columns == 0 || span.rows == 0) return;
    const std::size_t stagePitch = StagePitch(span.columns);
    const uint32_t rowsPerGroup = static_cast<uint32_t>(kStageBytes / (kBlockSize * stagePitch));
    // Lines that overlap (a pitch below the width) take ordinary stores only, in line order.
    const bool streaming = pitch >= width && std::size_t{height} * pitch >= kStreamingOutputBytes;
    alignas(kCacheLineBytes) uint8_t stage[kStageBytes];
    for (uint32_t j = 0; j < span.rows; j += rowsPerGroup) {
        const uint32_t rows = span.rows - j < rowsPerGroup ? span.rows - j : rowsPerGroup;
        decodeBlocks({frame + SlotOffset(span.firstRow + j, span.firstColumn), kBlockRowBytes, span.columns, rows},
                     table, stage, stagePitch);
        const uint32_t firstLine = kBlockSize * j;
        const uint32_t lines = height - firstLine < kBlockSize * rows ? height - firstLine : kBlockSize * rows;
        for (uint32_t k = 0; k < lines; ++k) {
            uint8_t* out = output + (firstLine + k) * std::size_t{pitch};
            if (streaming) {
                StreamLine(out, stage + k * stagePitch, width);
            } else {
                std::memcpy(out, stage + k * stagePitch, width);
            }
        }
    }
    if (streaming) FinishStreaming();
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
