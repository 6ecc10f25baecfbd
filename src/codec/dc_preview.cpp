#include "codec/dc_preview.h"

#include <bit>
#include <cstddef>

#include "codec/block_decoder.h"
#include "codec/dc_fast.h"
#include "codec/frame_geometry.h"

namespace framedec {

uint8_t DcPreviewValue(const uint8_t* slot) {
    uint32_t j = 0;
    while (j < kSlotBytes && slot[j] == 0) ++j;
    if (j == kSlotBytes) return 128;

    // The window in reading order, least significant bit first. Bits above 31 read as 0.
    const uint64_t window = uint64_t{slot[j]} | uint64_t{slot[j + 1]} << 8 | uint64_t{slot[j + 2]} << 16 |
                            uint64_t{slot[j + 3]} << 24;
    uint32_t q = static_cast<uint32_t>(std::countr_zero(window)) + 1;  // marker lies in byte j

    uint32_t size = 0;
    while ((window >> q) & 1u) {  // stops at bit 32 at the latest
        ++size;
        ++q;
    }
    ++q;  // separator

    uint32_t magnitude = 0;
    for (uint32_t i = 0; i < size; ++i) magnitude = (magnitude << 1) | static_cast<uint32_t>((window >> (q + i)) & 1u);
    if (size == 0) return 128;
    const bool positive = ((window >> q) & 1u) != 0;
    const uint32_t value = positive ? magnitude : magnitude - ((uint32_t{1} << size) - 1u);  // size <= 31
    return static_cast<uint8_t>(value + 128u);
}

void DecodeDcBlocksPortable(const uint8_t* slots, uint32_t count, uint8_t* values) {
    FastDcBlocks(slots, count, values);
}

void DecodeDcRegion(uint8_t* output, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                    const uint8_t* frame) {
    const DecodeDcBlocksFn decodeDc = ActiveBlockDecoder().decodeDc;
    for (uint32_t j = 0; j < height; ++j) decodeDc(frame + SlotOffset(y + j, x), width, output + std::size_t{j} * width);
}

}  // namespace framedec
