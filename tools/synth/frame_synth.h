// The frame synthesiser: an encoder for the camera's compressed frame format, used by the tools,
// the tests and the benchmarks. The library itself never encodes.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "synth/pgm.h"

namespace framedec::tools {

using QuantTable = std::array<uint16_t, 64>;

// The default table: the GPU decoder's fixed table, so CPU and GPU decodes are comparable.
QuantTable DefaultTable();

// A JPEG-style table for quality 1 to 100 (the standard luminance table scaled as libjpeg does).
QuantTable TableForQuality(int quality);

enum class MarkerPlacement {
    Bottom,  // start marker at bit 0, the stream directly above it
    Top,     // stream ends at bit 127, the marker just below it
    Random,  // any position that leaves room for the stream
};

struct SynthOptions {
    QuantTable table = DefaultTable();
    MarkerPlacement marker = MarkerPlacement::Random;
    uint32_t frameHeight = 0;      // lines, a multiple of 8; 0 = the image height rounded up to 8
    uint16_t sequenceNo = 0;       // stored little-endian at frame byte H * 320 - 14
    bool randomFill = true;        // random lead-in and tail bytes (else zero)
    uint64_t seed = 1;             // for marker positions and fill bytes
};

struct SynthStats {
    uint32_t blocks = 0;           // slots written
    uint32_t truncatedBlocks = 0;  // blocks that lost coefficients to fit the slot
    uint32_t emptySlots = 0;       // all-zero slots (no non-zero level; written with no marker)
};

// The orthonormal 8-point DCT basis: DctBasis()[u][x] = c(u) cos((2x + 1) u pi / 16) / 2, with
// c(0) = 1 / sqrt 2 and c(u) = 1 otherwise. The 2-D transform and its inverse are two 1-D passes.
using DctBasisTable = std::array<std::array<double, 8>, 8>;
const DctBasisTable& DctBasis();

// Levels of one 8 x 8 block (pixels line after line, lineStride bytes apart): forward DCT of the
// level-shifted pixels, divided by the table and rounded to nearest; natural order. An entry of 0
// in the table yields level 0.
std::array<int16_t, 64> QuantiseBlock(const uint8_t* pixels, std::size_t lineStride, const QuantTable& table);

// Code bits needed by the levels (natural order) up to the last non-zero one in zigzag order.
uint32_t StreamBits(const std::array<int16_t, 64>& levels);

// Zeroes levels from the end of the zigzag order until the stream fits in 127 bits. Returns
// whether any level was dropped. Levels are first clamped to -32767..32767 (size 15 at most).
bool FitToSlot(std::array<int16_t, 64>& levels);

// Writes the slot for levels that fit (FitToSlot) with the start marker at bit markerBit (which
// must leave room: markerBit + 1 + StreamBits <= 128). Levels that are all zero give an empty slot
// when markerBit is nullopt, else a marker with no codes after it.
void EncodeSlot(const std::array<int16_t, 64>& levels, std::optional<uint32_t> markerBit, uint8_t* slot);

// A whole frame from a greyscale image: the image is cropped to 1246 x 1024 and padded (edge
// pixels repeated) to whole blocks; slots outside the image's blocks are left zero.
std::vector<uint8_t> SynthesizeFrame(const GreyImage& image, const SynthOptions& options,
                                     SynthStats* stats = nullptr);

// Stores the sequence number in a whole frame (its size gives the height), as SynthesizeFrame does.
void SetSequenceNumber(std::span<uint8_t> frame, uint16_t sequenceNo);

}  // namespace framedec::tools
