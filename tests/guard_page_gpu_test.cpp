// DecodeGPU against guard pages (host backend, where the device copies are host memory copies):
// the frame's bytes 4 to H x 320 - 1 are its only accessible ones, guarded after its last byte and
// before its byte 4 (the copy to the device takes the frame from byte 4 on), and the host image of
// H x outputPitch bytes is guarded after and before. The image equals that of an unguarded decode.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "codec/frame_geometry.h"
#include "framedec.h"
#include "guarded_memory.h"
#include "test_support.h"

namespace framedec::testing {
namespace {

TEST(GuardPages, DecodeGPUReadsNoFrameBytePastTheFrameAndWritesOnlyItsImage) {
    const std::vector<uint8_t> source = RandomFrame(kMaxImageHeight, 47);
    GuardedRegion frames(source.size());
    GuardedRegion outputs(std::size_t{kMaxImageHeight} * kPaddedImageWidth);
    for (int32_t height : {8, 24, 1024}) {
        ASSERT_EQ(SetupGPUDecode(FrameSize{static_cast<int32_t>(kMaxImageWidth), height}), FRAMEDEC_OK);
        const std::size_t frameBytes = FrameBytes(static_cast<uint32_t>(height));
        for (int32_t pitch : {1, 1245, static_cast<int32_t>(kPaddedImageWidth)}) {
            SCOPED_TRACE(::testing::Message() << "height " << height << " pitch " << pitch);
            const std::size_t imageBytes = std::size_t(height) * static_cast<std::size_t>(pitch);
            std::vector<uint8_t> expected(imageBytes);
            uint8_t* unguarded = expected.data();
            ASSERT_EQ(DecodeGPU(true, source.data(), &unguarded, pitch), FRAMEDEC_OK);
            for (GuardSide side : {GuardSide::After, GuardSide::Before}) {
                uint8_t* frame = frames.Place(kRowLeadInBytes, frameBytes, side);
                std::memcpy(frame + kRowLeadInBytes, source.data() + kRowLeadInBytes, frameBytes - kRowLeadInBytes);
                uint8_t* image = outputs.Place(0, imageBytes, side);
                ASSERT_EQ(DecodeGPU(true, frame, &image, pitch), FRAMEDEC_OK);
                ASSERT_EQ(std::memcmp(image, expected.data(), imageBytes), 0);
            }
        }
    }
    EXPECT_EQ(TeardownGPUDecode(), FRAMEDEC_OK);
}

}  // namespace
}  // namespace framedec::testing
