// DecodeDataMultiThread: the rectangle-decoder property (rectangle_decoder_property.h) for the
// strip-parallel pixel decoder, which must give DecodeData's pixels at every thread count.
//
// Its own argument, after the shared ones: the thread count, one byte. Mostly 0 to 4 (0 refused;
// small counts, so several strips share the rectangle's few block columns); with the top four bits
// set, 30 to 33 (the upper edge: 33 refused).
#include "framedec.h"
#include "parallel/strip_partition.h"
#include "rectangle_decoder_property.h"

using namespace framedec;
using namespace framedec::fuzz;

namespace {

uint32_t ThreadCount(FuzzInput& input) {
    const uint8_t field = input.Byte();
    return (field & 0xF0u) == 0xF0u ? kMaxDecodeThreads - 2 + (field & 3u) : field % 5u;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    uint32_t threads = 0;
    CheckRectangleDecoder<uint8_t>(
        data, size, kStripPixelRules,
        [&threads](FuzzInput& input) {
            threads = ThreadCount(input);
            return threads >= 1 && threads <= kMaxDecodeThreads;
        },
        [&threads](const RectangleCall<uint8_t>& c) {
            return DecodeDataMultiThread(c.output, c.x, c.y, c.width, c.height, c.pitch, c.frame, c.table, threads);
        });
    return 0;
}
