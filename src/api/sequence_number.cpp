// ExtractSequenceNo: the frame's 16-bit sequence number, little-endian, 14 bytes before its end.
#include "api/export.h"
#include "api/result_codes.h"
#include "framedec.h"
#include "codec/frame_geometry.h"

using namespace framedec;

FRAMEDEC_EXPORT int32_t ExtractSequenceNo(const uint8_t* frame, uint32_t /*reserved*/, uint32_t height,
                                          uint16_t* sequenceNo) noexcept {
    if (frame == nullptr || sequenceNo == nullptr) return kInvalidArgument;
    // Below one block row the offset would fall before the frame's first byte.
    if (height < kBlockSize) return kInvalidArgument;
    const std::size_t low = FrameBytes(height) - kSequenceNoFromEnd;  // 64-bit: no wrap-around
    *sequenceNo = static_cast<uint16_t>(frame[low] | frame[low + 1] << 8);
    return kOk;
}

// NVIDIA's drivers on hybrid-graphics machines look for this export and then run the process's
// CUDA work on the discrete GPU. The library never reads it.
extern "C" {
FRAMEDEC_API int32_t NvOptimusEnablementCuda = 1;
}
