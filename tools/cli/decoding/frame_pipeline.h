// Frames decoded on several threads and handed on in their order, with a bounded number in
// flight, so that a recording of any length converts in bounded memory.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "decoding/decode_modes.h"

namespace framedec::cli {

// One frame on its way from the recording to the output.
struct ConvertedFrame {
    uint64_t index = 0;             // frame index in the recording
    uint64_t number = 0;            // the number in a sequence's file name (the index, or its place in the count)
    uint16_t sequenceNo = 0;
    bool dropped = false;           // a blank page standing for a dropped frame (index is meaningless)
    DecodedImage image;
    std::vector<uint8_t> encoded;   // what the output stores, when it is more than the pixels
};

// Fills or takes frame number i (0 to count - 1); false with error stops the run.
using FrameStep = std::function<bool(uint64_t i, ConvertedFrame& frame, std::string& error)>;

// Runs produce for every i on up to `threads` threads at once, and consume on the calling thread
// in the order of i; at most 2 x threads frames wait between the two. The first failure (or
// exception) on either side stops both; then error holds its message and the result is false.
bool RunInOrder(uint64_t count, uint32_t threads, const FrameStep& produce, const FrameStep& consume,
                std::string& error);

}  // namespace framedec::cli
