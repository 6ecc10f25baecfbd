// A real photograph through the synthesiser and back: the decoders give a faithful picture.
#include <gtest/gtest.h>

#include "framedec.h"
#include "test_support.h"

namespace framedec::testing {
namespace {

TEST(RealImage, FullFrameDecodeIsCloseToTheSource) {
    const auto& source = AstronautImage();
    const auto table = tools::DefaultTable();
    tools::GreyImage decoded{1246, 1024, std::vector<uint8_t>(std::size_t{1246} * 1024)};
    ASSERT_EQ(DecodeData(decoded.pixels.data(), 0, 0, 1246, 1024, 1246, AstronautFrame().data(), table.data()),
              FRAMEDEC_OK);
    const double psnr = tools::Psnr(source, decoded);
    RecordProperty("psnr_db", std::to_string(psnr));
    EXPECT_GT(psnr, 40.0);  // about 44 dB with the default table
}

TEST(RealImage, EveryMarkerPlacementDecodesToTheSamePixels) {
    const auto table = tools::DefaultTable();
    std::vector<uint8_t> first;
    for (auto placement : {tools::MarkerPlacement::Bottom, tools::MarkerPlacement::Top, tools::MarkerPlacement::Random}) {
        tools::SynthOptions options;
        options.marker = placement;
        const auto frame = tools::SynthesizeFrame(AstronautImage(), options);
        std::vector<uint8_t> pixels(std::size_t{1246} * 1024);
        ASSERT_EQ(DecodeData(pixels.data(), 0, 0, 1246, 1024, 1246, frame.data(), table.data()), FRAMEDEC_OK);
        if (first.empty()) first = pixels;
        EXPECT_EQ(pixels, first);
    }
}

// With the default table the DC entry is 8, so a block's DC level is its mean minus 128 and the
// preview is the image scaled down by 8.
TEST(RealImage, DcPreviewIsTheImageScaledDownByEight) {
    const auto& source = AstronautImage();
    tools::GreyImage preview{155, 128, std::vector<uint8_t>(155 * 128)};
    ASSERT_EQ(DecodeDCData(preview.pixels.data(), 0, 0, 155, 128, AstronautFrame().data()), FRAMEDEC_OK);
    tools::GreyImage means{155, 128, std::vector<uint8_t>(155 * 128)};
    for (uint32_t r = 0; r < 128; ++r) {
        for (uint32_t c = 0; c < 155; ++c) {
            int sum = 0;
            for (uint32_t y = 0; y < 8; ++y)
                for (uint32_t x = 0; x < 8; ++x) sum += source.At(8 * c + x, 8 * r + y);
            means.pixels[r * 155 + c] = static_cast<uint8_t>((sum + 32) / 64);
        }
    }
    EXPECT_GT(tools::Psnr(means, preview), 40.0);
}

}  // namespace
}  // namespace framedec::testing
