// DecodeData: the rectangle-decoder property (rectangle_decoder_property.h) for the 8-bit pixel
// decoder on the calling thread. It takes no arguments of its own.
#include "framedec.h"
#include "rectangle_decoder_property.h"

using namespace framedec::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    CheckRectangleDecoder<uint8_t>(
        data, size, kPixelRules, [](FuzzInput&) { return true; },
        [](const RectangleCall<uint8_t>& c) {
            return DecodeData(c.output, c.x, c.y, c.width, c.height, c.pitch, c.frame, c.table);
        });
    return 0;
}
