// Reading one 16-byte block slot into its 64 quantised levels: the portable reference reader.
#pragma once

#include <cstdint>

namespace framedec {

// Reads the 64 coefficient codes of a slot and stores the levels in natural order.
//
// The slot is one little-endian 128-bit integer S. Its lowest set bit is the start marker; the
// codes follow it towards bit 127, and any bit past 127 reads as 0 (so a stream may stop after its
// last non-zero code). Each code is a size n written as n one-bits and a zero separator, then n
// magnitude bits, most significant first. A magnitude m whose first bit is 1 is the level m;
// otherwise the level is m - (2^n - 1). Levels are kept as their low 16 bits, which only matters
// for sizes of 16 and more (never in a well-formed slot). An all-zero slot gives 64 zero levels.
void ReadSlotLevels(const uint8_t* slot, int16_t* levels);

}  // namespace framedec
