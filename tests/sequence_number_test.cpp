#include <gtest/gtest.h>

#include "framedec.h"
#include "test_support.h"

namespace framedec::testing {
namespace {

TEST(ExtractSequenceNo, ReadsTheLittleEndianWord14BytesBeforeTheEnd) {
    std::vector<uint8_t> frame(FrameBytes(1024), 0xEE);
    frame[327666] = 0x34;
    frame[327667] = 0x12;
    for (uint32_t ignored : {0u, 1u, 0xFFFFFFFFu}) {
        uint16_t seq = 0;
        ASSERT_EQ(ExtractSequenceNo(frame.data(), ignored, 1024, &seq), FRAMEDEC_OK);
        EXPECT_EQ(seq, 0x1234);
    }
    // One block row: bytes 2546 and 2547.
    std::vector<uint8_t> small(FrameBytes(8), 0);
    small[2546] = 0xCD;
    small[2547] = 0xAB;
    uint16_t seq = 0;
    ASSERT_EQ(ExtractSequenceNo(small.data(), 0, 8, &seq), FRAMEDEC_OK);
    EXPECT_EQ(seq, 0xABCD);
}

TEST(ExtractSequenceNo, RefusesNullPointersAndHeightsBelowOneBlockRow) {
    std::vector<uint8_t> frame(FrameBytes(8), 0);
    uint16_t seq = 0x5555;
    EXPECT_EQ(ExtractSequenceNo(nullptr, 0, 8, &seq), FRAMEDEC_INVALID_ARGUMENT);
    EXPECT_EQ(ExtractSequenceNo(frame.data(), 0, 8, nullptr), FRAMEDEC_INVALID_ARGUMENT);
    for (uint32_t height : {0u, 1u, 7u}) EXPECT_EQ(ExtractSequenceNo(frame.data(), 0, height, &seq), FRAMEDEC_INVALID_ARGUMENT);
    EXPECT_EQ(seq, 0x5555);
}

TEST(ExtractSequenceNo, ReadsWhatTheSynthesiserWrote) {
    uint16_t seq = 0;
    ASSERT_EQ(ExtractSequenceNo(AstronautFrame().data(), 0, 1024, &seq), FRAMEDEC_OK);
    EXPECT_EQ(seq, 0x1234);
}

}  // namespace
}  // namespace framedec::testing
