// DecodeDCTData: the rectangle-decoder property (rectangle_decoder_property.h) for the 16-bit
// coefficient decoder, whose bounds reach the padded width and cover whole first blocks.
#include "framedec.h"
#include "rectangle_decoder_property.h"

using namespace framedec::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    CheckRectangleDecoder<int16_t>(
        data, size, kCoefficientRules, [](FuzzInput&) { return true; },
        [](const RectangleCall<int16_t>& c) {
            return DecodeDCTData(c.output, c.x, c.y, c.width, c.height, c.pitch, c.frame, c.table);
        });
    return 0;
}
