#include "codec/slot_reader.h"

#include "codec/frame_geometry.h"
#include "codec/zigzag.h"

namespace framedec {
namespace {

// Bit i of the slot in reading order; positions past the slot read as 0.
unsigned SlotBit(const uint8_t* slot, uint32_t i) {
    return i < kSlotBits ? (slot[i >> 3] >> (i & 7)) & 1u : 0u;
}

}  // namespace

void ReadSlotLevels(const uint8_t* slot, int16_t* levels) {
    for (uint32_t n = 0; n < kBlockPixels; ++n) levels[n] = 0;

    uint32_t q = 0;
    while (q < kSlotBits && SlotBit(slot, q) == 0) ++q;
    if (q == kSlotBits) return;  // no start marker: all levels are 0
    ++q;                         // the stream starts just above the marker

    for (uint32_t k = 0; k < kBlockPixels; ++k) {
        uint32_t size = 0;
        while (SlotBit(slot, q) != 0) {  // ends at the latest at bit 128, which reads as 0
            ++size;
            ++q;
        }
        ++q;  // separator

        // Only the low 16 bits of the magnitude reach the result, so a 32-bit accumulator that
        // drops the older bits of an overlong magnitude is exact.
        uint32_t magnitude = 0;
        const unsigned firstBit = SlotBit(slot, q);
        for (uint32_t i = 0; i < size; ++i) magnitude = (magnitude << 1) | SlotBit(slot, q + i);
        q += size;

        uint32_t level = 0;
        if (size > 0) {
            const uint32_t allOnes = size >= 16 ? 0xFFFFu : (1u << size) - 1u;  // 2^n - 1, low 16 bits
            level = firstBit != 0 ? magnitude : magnitude - allOnes;
        }
        levels[kZigzag[k]] = static_cast<int16_t>(static_cast<uint16_t>(level));
    }
}

}  // namespace framedec
