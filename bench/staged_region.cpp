#include "staged_region.h"

#include <cstddef>
#include <cstring>

#include "codec/block_decoder.h"
#include "codec/frame_geometry.h"
#include "codec/line_copy.h"

namespace framedec::bench {
namespace {

// Small enough to stay in the first-level cache; stage lines are whole cache lines.
constexpr std::size_t kStageBytes = 16 * 1024;
constexpr std::size_t kCacheLineBytes = 64;

}  // namespace

// As many block rows as fit the stage are decoded at a time, then their lines copied out.
void StagedDecodeData(uint8_t* output, uint32_t width, uint32_t height, uint32_t pitch, const uint8_t* frame,
                      const uint16_t* table) {
    const DecodeBlocksFn decodeBlocks = ActiveBlockDecoder().decodeBlocks;
    const uint32_t columns = (width + kBlockSize - 1) / kBlockSize, rows = (height + kBlockSize - 1) / kBlockSize;
    const std::size_t stagePitch = (std::size_t{kBlockSize} * columns + kCacheLineBytes - 1) / kCacheLineBytes * kCacheLineBytes;
    const auto rowsPerGroup = static_cast<uint32_t>(kStageBytes / (kBlockSize * stagePitch));
    const bool streaming = pitch >= width && std::size_t{height} * pitch >= kStreamingOutputBytes;
    alignas(kCacheLineBytes) uint8_t stage[kStageBytes];
    for (uint32_t j = 0; j < rows; j += rowsPerGroup) {
        const uint32_t group = rows - j < rowsPerGroup ? rows - j : rowsPerGroup;
        decodeBlocks({frame + SlotOffset(j, 0), kBlockRowBytes, columns, group}, table, stage, stagePitch);
        const uint32_t firstLine = kBlockSize * j;
        const uint32_t lines = height - firstLine < kBlockSize * group ? height - firstLine : kBlockSize * group;
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

}  // namespace framedec::bench
