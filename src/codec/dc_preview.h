// The 1/8-scale preview: one byte per block from the block's DC code alone.
#pragma once

#include <cstdint>

namespace framedec {

// Value of one block: (DC level + 128) mod 256, read from a 32-bit window of four bytes starting at
// the slot's first non-zero byte. When that byte is among the slot's last three, the window takes
// the bytes that follow the slot in the frame, as they are. A DC code that does not fit the window
// takes its missing bits as 0. An all-zero slot gives 128. Reads at most slot[0..18].
// This is the plain reference; the block-decoder variants compute the same value with a few bit
// counts and one table lookup (DecodeDcBlocksPortable and its instruction-set builds).
uint8_t DcPreviewValue(const uint8_t* slot);

// Preview values of count consecutive slots (16 bytes apart), without a processor-specific
// instruction: the DC preview of the portable variant.
void DecodeDcBlocksPortable(const uint8_t* slots, uint32_t count, uint8_t* values);

// Writes width x height preview bytes, packed, for block columns x.. and block rows y.. of frame,
// with the active variant. The arguments must already be validated.
void DecodeDcRegion(uint8_t* output, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                    const uint8_t* frame);

}  // namespace framedec
