// A frame of random-looking bytes and its image, decoded on the calling thread by DecodeData, for
// checks that a parallel decode elsewhere gave the same pixels.
#pragma once

#include <cstdint>
#include <vector>

#include "codec/frame_geometry.h"
#include "codec/quant_table_q.h"
#include "framedec.h"

namespace framedec::testing {

struct PatternFrame {
    PatternFrame(uint32_t width, uint32_t height) : width(width), height(height) {
        for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 37 + 11);
        DecodeData(expected.data(), 0, 0, width, height, width, frame.data(), kTableQ);
    }
    // DecodeDataMultiThread's result in strips: 0 for the right image, 1 for a wrong one, else the
    // result code.
    int32_t CheckMultiThread(std::vector<uint8_t>& out, uint32_t threads) const {
        out.assign(expected.size(), 0);
        const int32_t result =
            DecodeDataMultiThread(out.data(), 0, 0, width, height, width, frame.data(), kTableQ, threads);
        return result != FRAMEDEC_OK ? result : out == expected ? 0 : 1;
    }
    uint32_t width, height;
    std::vector<uint8_t> frame = std::vector<uint8_t>(FrameBytes(height));
    std::vector<uint8_t> expected = std::vector<uint8_t>(std::size_t{width} * height);
};

}  // namespace framedec::testing
