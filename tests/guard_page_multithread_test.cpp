// DecodeDataMultiThread against guard pages: DecodeData's matrix (guard_page_rectangles.h), each
// rectangle decoded at several thread counts into the same guarded output. Every strip, on a
// worker or on the calling thread, reads only the covered slots and writes only its columns.
#include <gtest/gtest.h>

#include "framedec.h"
#include "guard_page_rectangles.h"

namespace framedec::testing {
namespace {

TEST(GuardPages, DecodeDataMultiThreadReadsOnlyCoveredSlotsAndWritesOnlyItsRectangle) {
    ExpectRectangleDecodesStayInside(PixelDecoderUnderTest(
        [](uint8_t* output, uint32_t x, uint32_t y, uint32_t width, uint32_t height, uint32_t pitch,
           const uint8_t* frame, const uint16_t* table) -> int32_t {
            // One strip, two, an odd count, and the most (more strips than block columns when narrow).
            for (uint32_t threads : {1u, 2u, 3u, 32u}) {
                const int32_t result = DecodeDataMultiThread(output, x, y, width, height, pitch, frame, table, threads);
                if (result != FRAMEDEC_OK) return result;
            }
            return FRAMEDEC_OK;
        }));
}

}  // namespace
}  // namespace framedec::testing
