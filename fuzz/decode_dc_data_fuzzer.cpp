// DecodeDCData, read from a fuzz input:
//   - a call the checks must refuse returns 5 and neither reads the frame nor writes the output;
//   - an accepted call returns 0, reads for each block at most its slot and the 3 bytes after it,
//     and writes exactly width x height bytes: for each block, (DC + 128) mod 256 of the DC code
//     read from the 4-byte window at the slot's first non-zero byte, bits past the window as 0;
// for every block-decoder variant this processor runs.
//
// Input format: x, y, width, height in blocks (one word each, see fuzz_input.h), a null-pointer
// byte (bit 0 output, bit 1 frame), then the content of the readable bytes.
#include <algorithm>
#include <vector>

#include "canary_output.h"
#include "codec/block_decoder.h"
#include "codec/frame_geometry.h"
#include "codec/slot_reader.h"
#include "exact_frame.h"
#include "framedec.h"
#include "fuzz_check.h"
#include "fuzz_input.h"

using namespace framedec;
using namespace framedec::fuzz;

namespace {

constexpr uint32_t kWindowBytes = 4;

// The preview value from the reference slot reader: the window's bytes, then zeros, read as a slot
// whose first byte holds the start marker.
uint8_t ExpectedPreview(const uint8_t* slot) {
    const uint8_t* first = std::find_if(slot, slot + kSlotBytes, [](uint8_t b) { return b != 0; });
    if (first == slot + kSlotBytes) return 128;
    uint8_t window[kSlotBytes] = {};
    std::copy_n(first, kWindowBytes, window);
    int16_t levels[kBlockPixels];
    ReadSlotLevels(window, levels);
    return static_cast<uint8_t>(levels[0] + 128);
}

bool EndWithin(uint32_t start, uint32_t length, uint32_t maxEnd) {
    const uint64_t end = uint64_t{start} + length;
    return end >= 1 && end <= maxEnd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const uint32_t x = Coordinate(input, kGridPositionsPerRow + kBlockSize, 1);
    const uint32_t y = Coordinate(input, kMaxBlockRows + kBlockSize, 1);
    const uint32_t width = Extent(input, kGridPositionsPerRow + kBlockSize);
    const uint32_t height = Extent(input, kMaxBlockRows + kBlockSize);
    const uint32_t nulls = NullPointers(input, 2);

    const bool accepted = nulls == 0 && EndWithin(x, width, kGridPositionsPerRow) && EndWithin(y, height, kMaxBlockRows);
    if (!accepted) {
        CanaryOutput output(64);
        const ExactFrame frame({}, {});
        const int32_t result = DecodeDCData(nulls & 1u ? nullptr : output.data(), x, y, width, height,
                                            nulls & 2u ? nullptr : frame.frame());
        Require(result == FRAMEDEC_INVALID_ARGUMENT, "a refused call returns 5");
        Require(output.Untouched(), "a refused call writes nothing");
        return 0;
    }

    std::vector<ByteRange> windows;
    if (width > 0) {
        for (uint32_t r = y; r < y + height; ++r) {
            windows.push_back({SlotOffset(r, x), SlotOffset(r, x + width - 1) + kSlotBytes + kWindowBytes - 1});
        }
    }
    const ExactFrame frame(std::move(windows), input.Rest());
    CanaryOutput expected(std::size_t{width} * height);
    for (uint32_t j = 0; j < height; ++j) {
        for (uint32_t i = 0; i < width; ++i) {
            expected.data()[std::size_t{j} * width + i] = ExpectedPreview(frame.frame() + SlotOffset(y + j, x + i));
        }
    }
    for (const BlockDecoder& variant : BlockDecoders()) {
        if (!SelectBlockDecoder(variant.name)) continue;
        CanaryOutput output(std::size_t{width} * height);
        const int32_t result = DecodeDCData(output.data(), x, y, width, height, frame.frame());
        Require(result == FRAMEDEC_OK, "an accepted call returns 0");
        Require(output.Equals(expected), "each block's value comes from its DC window, packed, nothing else written");
    }
    return 0;
}
