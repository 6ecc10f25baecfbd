// ExtractSequenceNo, read from a fuzz input:
//   - a null pointer or a height below 8 returns 5, reads nothing and stores nothing;
//   - otherwise it returns 0, reads only frame bytes height x 320 - 14 and - 13 (whatever the
//     height, a multiple of 8 or not) and stores them as a little-endian 16-bit value.
//
// Input format: the ignored argument (a word taken as it is), the height (one word, see
// fuzz_input.h), a null-pointer byte (bit 0 frame, bit 1 sequenceNo), then the two bytes.
#include "codec/frame_geometry.h"
#include "exact_frame.h"
#include "framedec.h"
#include "fuzz_check.h"
#include "fuzz_input.h"

using namespace framedec;
using namespace framedec::fuzz;

namespace {

// Heights past the largest frame are read like any other; twice the largest keeps buffers small.
constexpr uint32_t kHeightLimit = 2 * kMaxImageHeight;
constexpr uint16_t kUntouched = 0xA5C3;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const uint32_t ignored = input.Word();
    // A far-out height is folded back into range: its frame could not be allocated.
    const uint32_t height = Extent(input, kHeightLimit) % (kHeightLimit + 1);
    const uint32_t nulls = NullPointers(input, 2);
    const bool accepted = nulls == 0 && height >= kBlockSize;

    std::vector<ByteRange> readable;
    if (accepted) {
        const std::size_t low = FrameBytes(height) - kSequenceNoFromEnd;
        readable.push_back({low, low + 2});
    }
    const ExactFrame frame(std::move(readable), input.Rest());
    uint16_t sequenceNo = kUntouched;
    const int32_t result = ExtractSequenceNo(nulls & 1u ? nullptr : frame.frame(), ignored, height,
                                             nulls & 2u ? nullptr : &sequenceNo);
    if (!accepted) {
        Require(result == FRAMEDEC_INVALID_ARGUMENT, "a null pointer or a height below 8 returns 5");
        Require(sequenceNo == kUntouched, "a refused call stores nothing");
        return 0;
    }
    const std::size_t low = FrameBytes(height) - kSequenceNoFromEnd;
    Require(result == FRAMEDEC_OK, "an accepted call returns 0");
    Require(sequenceNo == (frame.frame()[low] | frame.frame()[low + 1] << 8), "the two bytes, little-endian");
    return 0;
}
