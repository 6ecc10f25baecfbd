// The exported CPU decoders: check every argument first, then decode. A refused call returns 5
// before reading or writing anything. Nothing here can throw, so nothing crosses the C boundary.
#include "api/argument_checks.h"
#include "api/export.h"
#include "api/result_codes.h"
#include "codec/dc_preview.h"
#include "codec/decode_region.h"

using namespace framedec;

FRAMEDEC_EXPORT int32_t DecodeData(uint8_t* output, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                                   uint32_t pitch, const uint8_t* frame, const uint16_t* table) noexcept {
    if (output == nullptr || frame == nullptr || table == nullptr) return kInvalidArgument;
    if (!PixelRectangleAccepted(x, y, width, height)) return kInvalidArgument;
    DecodeRegion(output, x, y, width, height, pitch, frame, table);
    return kOk;
}

FRAMEDEC_EXPORT int32_t DecodeDCTData(int16_t* output, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                                      uint32_t pitch, const uint8_t* frame, const uint16_t* table) noexcept {
    if (output == nullptr || frame == nullptr || table == nullptr) return kInvalidArgument;
    if (!CoefficientRectangleAccepted(x, y, width, height)) return kInvalidArgument;
    DecodeCoefficientRegion(output, x, y, width, height, pitch, frame, table);
    return kOk;
}

FRAMEDEC_EXPORT int32_t DecodeDCData(uint8_t* output, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                                     const uint8_t* frame) noexcept {
    if (output == nullptr || frame == nullptr) return kInvalidArgument;
    if (!BlockRectangleAccepted(x, y, width, height)) return kInvalidArgument;
    DecodeDcRegion(output, x, y, width, height, frame);
    return kOk;
}
