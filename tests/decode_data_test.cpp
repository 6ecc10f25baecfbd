// DecodeData and DecodeDCTData through their exported entry points: which rectangles they accept,
// that a refusal writes nothing, and that an accepted decode writes exactly its rectangle with the
// reference decoder's values.
#include <gtest/gtest.h>

#include <cstring>

#include "codec/line_copy.h"
#include "framedec.h"
#include "test_support.h"

namespace framedec::testing {
namespace {

struct Rect {
    uint32_t x, y, width, height;
};

const auto kTable = tools::DefaultTable();

int32_t Pixels(CanaryBuffer& out, Rect r, uint32_t pitch, const std::vector<uint8_t>& frame) {
    return DecodeData(out.bytes.data(), r.x, r.y, r.width, r.height, pitch, frame.data(), kTable.data());
}

int32_t Coefficients(CanaryBuffer& out, Rect r, uint32_t pitch, const std::vector<uint8_t>& frame) {
    return DecodeDCTData(reinterpret_cast<int16_t*>(out.bytes.data()), r.x, r.y, r.width, r.height, pitch,
                         frame.data(), kTable.data());
}

TEST(DecodeDataBounds, AcceptsExactlyTheRectanglesInsideTheImage) {
    const auto& frame = AstronautFrame();
    const std::pair<Rect, int32_t> cases[] = {
        {{0, 0, 1246, 1024}, FRAMEDEC_OK},
        {{1240, 0, 6, 8}, FRAMEDEC_OK},
        {{1240, 0, 7, 8}, FRAMEDEC_INVALID_ARGUMENT},
        {{0, 1016, 8, 8}, FRAMEDEC_OK},
        {{0, 1016, 8, 9}, FRAMEDEC_INVALID_ARGUMENT},
        {{0, 0, 1248, 8}, FRAMEDEC_INVALID_ARGUMENT},
        {{0, 0, 4, 8}, FRAMEDEC_OK},
        {{4, 0, 8, 8}, FRAMEDEC_INVALID_ARGUMENT},
        {{0, 4, 8, 8}, FRAMEDEC_INVALID_ARGUMENT},
        {{0, 0, 0, 8}, FRAMEDEC_INVALID_ARGUMENT},
        {{8, 0, 0, 8}, FRAMEDEC_OK},
        {{0, 0, 8, 0}, FRAMEDEC_INVALID_ARGUMENT},
        {{0, 8, 8, 0}, FRAMEDEC_OK},
        {{0xFFFFFFF8u, 0, 16, 8}, FRAMEDEC_INVALID_ARGUMENT},  // x + width wraps to 8 in 32 bits
        {{0, 0xFFFFFFF8u, 8, 16}, FRAMEDEC_INVALID_ARGUMENT},
        {{8, 0, 0xFFFFFFFFu, 8}, FRAMEDEC_INVALID_ARGUMENT},
        {{1248, 0, 0, 8}, FRAMEDEC_INVALID_ARGUMENT},
    };
    for (auto [r, expected] : cases) {
        CanaryBuffer out(std::size_t{1248} * 1024);
        EXPECT_EQ(Pixels(out, r, 1248, frame), expected) << r.x << "," << r.y << " " << r.width << "x" << r.height;
        if (expected != FRAMEDEC_OK || r.width == 0 || r.height == 0) {
            EXPECT_TRUE(out.Untouched()) << r.x << "," << r.y << " " << r.width << "x" << r.height;
        }
    }
}

TEST(DecodeDataBounds, NullPointersAreRefusedBeforeAnythingIsWritten) {
    const auto& frame = AstronautFrame();
    CanaryBuffer out(64);
    EXPECT_EQ(DecodeData(nullptr, 0, 0, 8, 8, 8, frame.data(), kTable.data()), FRAMEDEC_INVALID_ARGUMENT);
    EXPECT_EQ(DecodeData(out.bytes.data(), 0, 0, 8, 8, 8, nullptr, kTable.data()), FRAMEDEC_INVALID_ARGUMENT);
    EXPECT_EQ(DecodeData(out.bytes.data(), 0, 0, 8, 8, 8, frame.data(), nullptr), FRAMEDEC_INVALID_ARGUMENT);
    auto* coefficients = reinterpret_cast<int16_t*>(out.bytes.data());
    EXPECT_EQ(DecodeDCTData(nullptr, 0, 0, 8, 8, 16, frame.data(), kTable.data()), FRAMEDEC_INVALID_ARGUMENT);
    EXPECT_EQ(DecodeDCTData(coefficients, 0, 0, 8, 8, 16, nullptr, kTable.data()), FRAMEDEC_INVALID_ARGUMENT);
    EXPECT_EQ(DecodeDCTData(coefficients, 0, 0, 8, 8, 16, frame.data(), nullptr), FRAMEDEC_INVALID_ARGUMENT);
    EXPECT_TRUE(out.Untouched());
}

TEST(DecodeDCTDataBounds, CoverWholeBlocksUpToColumn1247) {
    const auto& frame = AstronautFrame();
    const std::pair<Rect, int32_t> cases[] = {
        {{0, 0, 1248, 1024}, FRAMEDEC_OK},
        {{0, 0, 1249, 8}, FRAMEDEC_INVALID_ARGUMENT},
        {{0, 0, 7, 8}, FRAMEDEC_INVALID_ARGUMENT},
        {{0, 0, 3, 8}, FRAMEDEC_INVALID_ARGUMENT},
        {{0, 0, 4, 8}, FRAMEDEC_INVALID_ARGUMENT},
        {{0, 0, 8, 7}, FRAMEDEC_INVALID_ARGUMENT},
        {{8, 0, 0, 8}, FRAMEDEC_OK},
        {{0, 8, 8, 0}, FRAMEDEC_OK},
        {{1240, 0, 8, 8}, FRAMEDEC_OK},
        {{1240, 1016, 8, 9}, FRAMEDEC_INVALID_ARGUMENT},
        {{4, 0, 8, 8}, FRAMEDEC_INVALID_ARGUMENT},
        {{0, 12, 8, 8}, FRAMEDEC_INVALID_ARGUMENT},
        {{0xFFFFFFF8u, 0, 16, 8}, FRAMEDEC_INVALID_ARGUMENT},
        {{0, 0xFFFFFFF8u, 8, 16}, FRAMEDEC_INVALID_ARGUMENT},
    };
    for (auto [r, expected] : cases) {
        CanaryBuffer out(std::size_t{2496} * 1024);
        EXPECT_EQ(Coefficients(out, r, 2496, frame), expected) << r.x << "," << r.y << " " << r.width << "x" << r.height;
        if (expected != FRAMEDEC_OK || r.width == 0 || r.height == 0) EXPECT_TRUE(out.Untouched());
    }
}

// Random rectangles, pitches (odd ones included) and frames: the decode writes exactly the
// rectangle, with the values of the block-by-block reference.
TEST(DecodeDataContent, RandomRectanglesMatchTheReferenceAndStayInside) {
    std::mt19937_64 random(21);
    const std::vector<uint8_t> frames[] = {AstronautFrame(), RandomFrame(1024, 4)};
    for (int f = 0; f < 2; ++f) {
        const auto reference = ReferencePixels(frames[f], 1024, kTable.data());
        for (int i = 0; i < 150; ++i) {
            const uint32_t x = 8 * static_cast<uint32_t>(random() % 156), y = 8 * static_cast<uint32_t>(random() % 128);
            const uint32_t width = 1 + static_cast<uint32_t>(random() % (1246 - x));
            const uint32_t height = 1 + static_cast<uint32_t>(random() % std::min<uint32_t>(1024 - y, 64));
            const uint32_t pitch = width + static_cast<uint32_t>(random() % 19);
            CanaryBuffer out(std::size_t{pitch} * height + 37);
            ASSERT_EQ(Pixels(out, {x, y, width, height}, pitch, frames[f]), FRAMEDEC_OK);
            ASSERT_TRUE(out.OnlyRectangleChanged(width, height, pitch)) << x << "," << y << " " << width << "x" << height;
            for (uint32_t j = 0; j < height; ++j)
                for (uint32_t k = 0; k < width; ++k)
                    ASSERT_EQ(out.bytes[std::size_t{j} * pitch + k], reference[std::size_t{y + j} * 1248 + x + k])
                        << "frame " << f << " rectangle " << x << "," << y << " pixel " << k << "," << j;
        }
    }
}

// The streaming copy of large outputs: whole cache lines take non-temporal stores, the partial ones
// at either end ordinary ones; every length and every alignment of the destination writes exactly
// its bytes.
TEST(StreamLine, CopiesExactlyItsBytesAtEveryAlignment) {
    std::vector<uint8_t> source(300);
    for (std::size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i * 7 + 1);
    for (std::size_t offset = 0; offset < 64; ++offset) {
        for (std::size_t count = 0; count <= 260; ++count) {
            alignas(64) uint8_t out[448];
            std::memset(out, 0xA5, sizeof out);
            StreamLine(out + 64 + offset, source.data(), count);
            FinishStreaming();
            for (std::size_t i = 0; i < sizeof out; ++i) {
                const bool inside = i >= 64 + offset && i < 64 + offset + count;
                ASSERT_EQ(out[i], inside ? source[i - 64 - offset] : 0xA5) << "offset " << offset << " count " << count << " byte " << i;
            }
        }
    }
}

// A pitch below the width makes lines overlap (nothing refuses it): whatever the overlapping bytes
// end up holding, nothing past the last line's end is written.
TEST(DecodeDataContent, OverlappingLinesWriteNothingPastTheLastLine) {
    const Rect r{8, 16, 203, 45};
    for (uint32_t pitch : {202u, 100u, 9u, 1u}) {
        const std::size_t end = std::size_t{r.height - 1} * pitch + r.width;
        CanaryBuffer out(end + 64);
        ASSERT_EQ(Pixels(out, r, pitch, AstronautFrame()), FRAMEDEC_OK);
        for (std::size_t i = end; i < out.bytes.size(); ++i)
            ASSERT_EQ(out.bytes[i], CanaryBuffer::Canary(i, out.salt)) << "pitch " << pitch << " byte " << i;
    }
}

TEST(DecodeDataContent, NarrowRectangleWritesOnlyItsColumns) {
    CanaryBuffer out(std::size_t{16} * 8);
    ASSERT_EQ(Pixels(out, {0, 0, 3, 8}, 16, AstronautFrame()), FRAMEDEC_OK);
    EXPECT_TRUE(out.OnlyRectangleChanged(3, 8, 16));
}

TEST(DecodeDCTDataContent, RandomRectanglesMatchTheReferenceAndStayInside) {
    std::mt19937_64 random(22);
    const std::vector<uint8_t> frames[] = {AstronautFrame(), RandomFrame(1024, 8)};
    for (int f = 0; f < 2; ++f) {
        const auto reference = ReferenceCoefficients(frames[f], 1024, kTable.data());
        for (int i = 0; i < 150; ++i) {
            const uint32_t x = 8 * static_cast<uint32_t>(random() % 156), y = 8 * static_cast<uint32_t>(random() % 128);
            const uint32_t width = (x == 0 ? 8 : 0) + static_cast<uint32_t>(random() % (1248 - x - (x == 0 ? 7 : 0)));
            const uint32_t height = (y == 0 ? 8 : 1) + static_cast<uint32_t>(random() % std::min<uint32_t>(1024 - y - 7, 40));
            const uint32_t pitch = 2 * width + static_cast<uint32_t>(random() % 5);  // odd pitches too
            CanaryBuffer out(std::size_t{pitch} * height + 11);
            ASSERT_EQ(Coefficients(out, {x, y, width, height}, pitch, frames[f]), FRAMEDEC_OK)
                << x << "," << y << " " << width << "x" << height;
            ASSERT_TRUE(out.OnlyRectangleChanged(2 * width, height, pitch));
            for (uint32_t j = 0; j < height; ++j) {
                for (uint32_t k = 0; k < width; ++k) {
                    int16_t value;
                    std::memcpy(&value, out.bytes.data() + std::size_t{j} * pitch + 2 * k, 2);
                    ASSERT_EQ(value, reference[std::size_t{y + j} * 1248 + x + k]) << "element " << k << "," << j;
                }
            }
        }
    }
}

TEST(DecodeDCTDataContent, WorkedSlotAndEdgeBlockWidths) {
    std::vector<uint8_t> frame(FrameBytes(8), 0);
    const Slot worked = SlotFromBytes({0xAF, 0x03});
    std::copy(worked.begin(), worked.end(), frame.begin() + 4);
    std::array<uint16_t, 64> table = UnitTable();
    table[0] = 8;
    table[1] = 5;
    int16_t out[8 * 8];
    ASSERT_EQ(DecodeDCTData(out, 0, 0, 8, 8, 16, frame.data(), table.data()), FRAMEDEC_OK);
    EXPECT_EQ(out[0], 40);
    EXPECT_EQ(out[1], -15);
    for (int i = 2; i < 64; ++i) EXPECT_EQ(out[i], 0);

    // Width 11: 8 elements per line from the first block, 3 from the second.
    CanaryBuffer buffer(std::size_t{2 * 16} * 8);
    ASSERT_EQ(Coefficients(buffer, {0, 0, 11, 8}, 32, AstronautFrame()), FRAMEDEC_OK);
    EXPECT_TRUE(buffer.OnlyRectangleChanged(22, 8, 32));
}

}  // namespace
}  // namespace framedec::testing
