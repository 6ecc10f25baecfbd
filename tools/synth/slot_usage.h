// How much of their 16-byte slots a frame's blocks take: the summary `framedec info` prints. The
// decoders never need this; it tells a user whether the encoder ran out of room in its slots.
#pragma once

#include <cstdint>

namespace framedec::tools {

// Bits a slot's content takes: from its start marker to the end of the last code of a non-zero
// coefficient, marker included (codes of trailing zero coefficients need no bits). 0 for an
// all-zero slot. The end may lie past bit 127 when the codes run beyond the slot (bits beyond it
// read as 0, so such a stream is cut off).
struct SlotSpan {
    uint32_t markerBit = 0;
    uint32_t end = 0;  // one past the last bit used; 0 for an all-zero slot
    uint32_t Bits() const { return end == 0 ? 0 : end - markerBit; }
};
SlotSpan MeasureSlot(const uint8_t* slot);

struct SlotUsage {
    uint32_t slots = 0;
    uint32_t empty = 0;     // all-zero slots (64 zero coefficients)
    uint32_t full = 0;      // marker and codes take all 128 bits (or more)
    uint32_t cutOff = 0;    // codes run past bit 127
    uint64_t bitsUsed = 0;  // sum of the slots' bits, at most 128 each
};

// Usage of the image slots (156 per block row) of a frame of frameHeight lines.
SlotUsage SummariseSlots(const uint8_t* frame, uint32_t frameHeight);

}  // namespace framedec::tools
