#include "synth/slot_usage.h"

#include <algorithm>

#include "codec/frame_geometry.h"

namespace framedec::tools {
namespace {

unsigned Bit(const uint8_t* slot, uint32_t i) { return i < kSlotBits ? (slot[i >> 3] >> (i & 7)) & 1u : 0u; }

}  // namespace

SlotSpan MeasureSlot(const uint8_t* slot) {
    SlotSpan span;
    uint32_t q = 0;
    while (q < kSlotBits && Bit(slot, q) == 0) ++q;
    if (q == kSlotBits) return span;
    span.markerBit = q;
    span.end = ++q;
    for (uint32_t k = 0; k < kBlockPixels; ++k) {
        uint32_t size = 0;
        while (Bit(slot, q) != 0) {  // stops at bit 128 at the latest
            ++size;
            ++q;
        }
        q += 1 + size;  // separator and magnitude
        if (size != 0) span.end = q;
    }
    return span;
}

SlotUsage SummariseSlots(const uint8_t* frame, uint32_t frameHeight) {
    SlotUsage usage;
    for (uint32_t r = 0; r < frameHeight / kBlockSize; ++r) {
        for (uint32_t c = 0; c < kSlotsPerRow; ++c) {
            const SlotSpan span = MeasureSlot(frame + SlotOffset(r, c));
            ++usage.slots;
            if (span.end == 0) ++usage.empty;
            if (span.Bits() >= kSlotBits) ++usage.full;
            if (span.end > kSlotBits) ++usage.cutOff;
            usage.bitsUsed += std::min(span.Bits(), kSlotBits);
        }
    }
    return usage;
}

}  // namespace framedec::tools
