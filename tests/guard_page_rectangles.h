// The guard-page matrix for the exports that decode a rectangle of blocks into an image of elements
// (pixels or 16-bit coefficients). Each decoder gets one test that calls
// ExpectRectangleDecodesStayInside.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace framedec::testing {

// The export under test: output, x, y, width, height, pitch, frame, table; returns its result code.
using RectangleDecode =
    std::function<int32_t(uint8_t*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, const uint8_t*, const uint16_t*)>;

struct RectangleDecoderUnderTest {
    uint32_t elementBytes;          // 1 for pixels, 2 for coefficients
    uint32_t minRight, maxRight;    // the x + width its checks accept
    uint32_t minBottom, maxBottom;  // the y + height its checks accept
    RectangleDecode decode;
    // The elements of a whole 1024-line frame as the portable decoder gives them, as bytes: lines of
    // 1248 elements (every block slot of a row), line after line.
    std::function<std::vector<uint8_t>(const std::vector<uint8_t>& frame, const uint16_t* table)> reference;
};

// DecodeData's bounds and reference pixels, with the given decode: for DecodeData and every decoder
// that must give its pixels.
RectangleDecoderUnderTest PixelDecoderUnderTest(RectangleDecode decode);

// Runs every rectangle of the matrix, each with tight, odd and large pitches, once with the frame
// and the output each followed by a guard page and once with each preceded by one:
//   - the frame's accessible bytes are exactly the slots from the rectangle's top-left block to its
//     bottom-right block, so a read of any block row before or after the covered ones, or of a
//     slot before the first or after the last covered one, faults;
//   - the output holds exactly (height - 1) x pitch + width elements' bytes, filled with a canary;
//     the rectangle must equal the reference and every other byte must keep its canary.
// Rectangles: left edges 0, 8, 616, 1232 and 1240 with every width up to two block columns (all
// eight alignments of the right edge, width 0 where accepted) and the widths that reach the right
// bound, crossed with three row spans (the shortest accepted span at the top, 11 lines over the
// last two block rows, the whole last block row); the same for top edges 0, 8, 504, 1008 and 1016
// against the three matching column spans; and the whole image.
// A short list of refused rectangles gets an output and a frame with no accessible byte at all.
void ExpectRectangleDecodesStayInside(const RectangleDecoderUnderTest& decoder);

}  // namespace framedec::testing
