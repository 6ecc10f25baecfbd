// The property shared by the exports that decode a rectangle of blocks into an image of elements
// (pixels, or 16-bit coefficients), read from a fuzz input:
//   - a call the checks must refuse returns 5 and neither reads the frame nor writes the output;
//   - an accepted call returns 0, reads only the slots the rectangle covers, writes only within
//     (height - 1) x pitch + width elements, and, when lines do not overlap (pitch at least a
//     line), writes exactly the portable scalar decoder's elements and nothing else;
// for every block-decoder variant this processor runs.
//
// Input format: x, y, width, height, pitch (one word each, see fuzz_input.h), a null-pointer byte
// (bit 0 output, 1 frame, 2 table), the quantisation table (one selector byte, then 64 little-endian
// entries when it selects an input table), then whatever the decoder's own fuzz target reads, then
// the content of the covered slots.
#pragma once

#include <cstdint>
#include <functional>

#include "codec/block_decoder.h"
#include "codec/frame_geometry.h"
#include "fuzz_input.h"

namespace framedec::fuzz {

// What tells the rectangle decoders apart: the element they write, the bounds their checks accept
// and the portable block decoder whose output theirs must equal.
template <typename Element>
struct RectangleRules {
    uint32_t minRight, maxRight;    // accepted x + width
    uint32_t minBottom, maxBottom;  // accepted y + height
    void (*referenceBlock)(const uint8_t* slot, const uint16_t* table, Element* block);
    // Whether the input may ask for a pitch shorter than a line. A decoder whose strips write at
    // the same time would race on overlapping lines (the caller's fault, not the decoder's), so
    // for it such a pitch is raised to a line.
    bool linesMayOverlap = true;
};

inline constexpr RectangleRules<uint8_t> kPixelRules{1, kMaxImageWidth, 1, kMaxImageHeight, DecodeBlockScalar};
inline constexpr RectangleRules<uint8_t> kStripPixelRules{1, kMaxImageWidth, 1, kMaxImageHeight, DecodeBlockScalar,
                                                          false};
inline constexpr RectangleRules<int16_t> kCoefficientRules{kBlockSize, kPaddedImageWidth, kBlockSize,
                                                           kMaxImageHeight, DecodeBlockCoefficientsScalar};

// The arguments shared by the rectangle decoders, in their order.
template <typename Element>
struct RectangleCall {
    Element* output;
    uint32_t x, y, width, height, pitch;
    const uint8_t* frame;
    const uint16_t* table;
};

template <typename Element>
using RectangleDecode = std::function<int32_t(const RectangleCall<Element>&)>;

// The decoder's own arguments (DecodeDataMultiThread's thread count) are read by its fuzz target
// through readOwnArguments, after the shared ones; it returns whether the checks must accept them.
template <typename Element>
void CheckRectangleDecoder(const uint8_t* data, std::size_t size, const RectangleRules<Element>& rules,
                           const std::function<bool(FuzzInput&)>& readOwnArguments,
                           const RectangleDecode<Element>& decode);

// Quantisation-table selectors of the input format.
enum TableSelector : uint8_t { kTableQSelector = 0, kUnitTableSelector = 1, kInputTableSelector = 2 };

}  // namespace framedec::fuzz
