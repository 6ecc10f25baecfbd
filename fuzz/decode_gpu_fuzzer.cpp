// SetupGPUDecode then DecodeGPU on the host GPU backend, read from a fuzz input:
//   - a set-up with a width or height below 1 returns 28; any other small set-up returns 0;
//   - DecodeGPU with an output pitch below 1 or above the set-up's padded width returns 27 and
//     writes nothing;
//   - otherwise it returns 0, reads only frame bytes 4 to height x 320 - 1 and, with copyToHost,
//     writes exactly height x pitch bytes; without it, it hands out a device address.
// Every input ends with a tear-down, so the GPU state starts each input not set up.
//
// Input format: width and height (one word each, see fuzz_input.h), the pitch (a word: its low
// bits as an offset around the padded width), a flags byte (bit 0: hand out the device address),
// then the frame's content.
#include <cstring>

#include "canary_output.h"
#include "codec/frame_geometry.h"
#include "exact_frame.h"
#include "framedec.h"
#include "fuzz_check.h"
#include "fuzz_input.h"

using namespace framedec;
using namespace framedec::fuzz;

namespace {

// Small frames keep the host backend's whole-grid launches fast; the width reaches the largest.
constexpr uint32_t kHeightLimit = 64;
constexpr uint32_t kWidthLimit = kGridWidthPixels;

int32_t PaddedWidth(int32_t width) { return (width + 3) / 4 * 4; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const auto width = static_cast<int32_t>(Extent(input, kWidthLimit) % (kWidthLimit + 1));
    const auto height = static_cast<int32_t>(Extent(input, kHeightLimit) % (kHeightLimit + 1));
    // The pitch lands around the padded width (both edges of its range) or anywhere in 32 bits.
    const uint32_t pitchField = input.Word();
    const int32_t padded = PaddedWidth(width);
    const int32_t pitch = (pitchField & kModeBits) == kRawField ? static_cast<int32_t>(pitchField)
                                                                : padded - 8 + static_cast<int32_t>(pitchField % 12);
    const bool deviceAddress = (input.Byte() & 1u) != 0;

    const int32_t setup = SetupGPUDecode(FrameSize{width, height});
    if (width < 1 || height < 1) {
        Require(setup == FRAMEDEC_GPU_ALLOC_FAILED, "a set-up below one pixel returns 28");
        Require(TeardownGPUDecode() == FRAMEDEC_OK, "tear-down after a refused set-up");
        return 0;
    }
    Require(setup == FRAMEDEC_OK, "a small set-up succeeds on the host backend");

    const bool pitchAccepted = pitch >= 1 && pitch <= padded;
    std::vector<ByteRange> readable;
    if (pitchAccepted) readable.push_back({kRowLeadInBytes, FrameBytes(static_cast<uint32_t>(height))});
    const ExactFrame frame(std::move(readable), input.Rest());

    const std::size_t imageBytes = pitchAccepted ? std::size_t(height) * std::size_t(pitch) : 16;
    CanaryOutput image(imageBytes);
    uint8_t* output = deviceAddress ? nullptr : image.data();
    const int32_t result = DecodeGPU(!deviceAddress, frame.frame(), &output, pitch);
    if (!pitchAccepted) {
        Require(result == FRAMEDEC_GPU_DECODE_FAILED, "a pitch outside 1 to the padded width returns 27");
        Require(image.Untouched(), "a refused decode writes nothing");
    } else {
        Require(result == FRAMEDEC_OK, "a decode with an accepted pitch returns 0");
        if (deviceAddress) {
            Require(output != nullptr, "the device address is handed out");
            Require(image.Untouched(), "the host buffer is not used");
        }
    }
    Require(TeardownGPUDecode() == FRAMEDEC_OK, "tear-down");
    return 0;
}
