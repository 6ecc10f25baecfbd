// Every export's reads and writes against guard pages: the frame and the output are laid directly
// against inaccessible pages, so a single byte read or written outside what the call may touch
// faults in every build. The rectangle decoders run the matrix of guard_page_rectangles.h.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "codec/dc_preview.h"
#include "framedec.h"
#include "guard_page_rectangles.h"
#include "guarded_memory.h"
#include "test_support.h"

namespace framedec::testing {
namespace {

constexpr GuardSide kSides[] = {GuardSide::After, GuardSide::Before};

TEST(GuardPages, DecodeDataReadsOnlyCoveredSlotsAndWritesOnlyItsRectangle) {
    ExpectRectangleDecodesStayInside(PixelDecoderUnderTest(DecodeData));
}

TEST(GuardPages, DecodeDCTDataReadsOnlyCoveredSlotsAndWritesOnlyItsRectangle) {
    ExpectRectangleDecodesStayInside({
        2, kBlockSize, kPaddedImageWidth, kBlockSize, kMaxImageHeight,
        [](uint8_t* output, uint32_t x, uint32_t y, uint32_t width, uint32_t height, uint32_t pitch,
           const uint8_t* frame, const uint16_t* table) {
            return DecodeDCTData(reinterpret_cast<int16_t*>(output), x, y, width, height, pitch, frame, table);
        },
        [](const std::vector<uint8_t>& frame, const uint16_t* table) {
            const std::vector<int16_t> coefficients = ReferenceCoefficients(frame, kMaxImageHeight, table);
            std::vector<uint8_t> bytes(coefficients.size() * sizeof(int16_t));
            std::memcpy(bytes.data(), coefficients.data(), bytes.size());
            return bytes;
        },
    });
}

// DecodeDCData's window: a block's slot and the 3 bytes after it.
constexpr std::size_t kWindowPastSlot = 3;
constexpr std::size_t kPreviewReadBytes = kSlotBytes + kWindowPastSlot;
// Grid position 159 of a frame's last block row begins this many bytes before the frame's end.
constexpr std::size_t kLastPositionInFrame = kBlockRowBytes - SlotOffset(0, kGridPositionsPerRow - 1);
static_assert(kLastPositionInFrame == 12);
// So its window may reach this far past the frame: 4 bytes of slot and the 3 after it.
constexpr std::size_t kMostBytesPastFrame = kPreviewReadBytes - kLastPositionInFrame;

// A slot whose window is as far to the right as it can be: 15 zero bytes, then 0B (marker, DC 1).
void MakeWidestWindow(uint8_t* slot) {
    std::memset(slot, 0, kSlotBytes - 1);
    slot[kSlotBytes - 1] = 0x0B;
}

uint8_t PreviewFrom(const uint8_t* slot) {
    uint8_t window[kPreviewReadBytes];
    std::memcpy(window, slot, sizeof window);
    return DcPreviewValue(window);
}

// Every rectangle of a matrix of block spans, with the frame holding exactly the block rows up to
// the rectangle's last: the call reads nothing before the top-left slot and nothing past the
// bottom-right block's window, which is made the widest a slot can have. That window ends inside
// the frame for every rectangle except those ending at grid position 159, whose last window runs 7
// bytes past a frame of H x 320 bytes: the caller must have those bytes.
TEST(GuardPages, DecodeDCDataReadsAtMostEachBlocksWindow) {
    std::vector<uint8_t> source = RandomFrame(kMaxImageHeight, 43);
    source.resize(source.size() + kMostBytesPastFrame, 0x5D);
    GuardedRegion frames(source.size());
    GuardedRegion outputs(std::size_t{kGridPositionsPerRow} * kMaxBlockRows);

    int decodes = 0;
    for (uint32_t x : {0u, 1u, 77u, 150u, 155u, 156u, 158u, 159u}) {
        for (uint32_t width : {0u, 1u, 2u, 3u, kGridPositionsPerRow - x - 1, kGridPositionsPerRow - x}) {
            for (uint32_t y : {0u, 1u, 63u, 126u, 127u}) {
                for (uint32_t height : {0u, 1u, 2u, kMaxBlockRows - y}) {
                    if (x + width < 1 || x + width > kGridPositionsPerRow || y + height < 1 || y + height > kMaxBlockRows)
                        continue;
                    SCOPED_TRACE(::testing::Message()
                                 << "x " << x << " y " << y << " width " << width << " height " << height);
                    std::size_t first = 0;
                    std::size_t windowEnd = 0;
                    if (width > 0 && height > 0) {
                        first = SlotOffset(y, x);
                        windowEnd = SlotOffset(y + height - 1, x + width - 1) + kPreviewReadBytes;
                        const std::size_t frameEnd = FrameBytes((y + height) * kBlockSize);
                        const std::size_t pastFrame = windowEnd > frameEnd ? windowEnd - frameEnd : 0;
                        ASSERT_EQ(pastFrame, x + width == kGridPositionsPerRow ? kMostBytesPastFrame : 0u);
                    }
                    for (GuardSide side : kSides) {
                        uint8_t* frame = frames.Place(first, windowEnd, side);
                        std::memcpy(frame + first, source.data() + first, windowEnd - first);
                        if (windowEnd > 0) MakeWidestWindow(frame + windowEnd - kPreviewReadBytes);
                        const std::size_t outputBytes = std::size_t{width} * height;
                        uint8_t* output = outputs.Place(0, outputBytes, side);
                        ASSERT_EQ(DecodeDCData(output, x, y, width, height, frame), FRAMEDEC_OK);
                        for (uint32_t j = 0; j < height; ++j) {
                            for (uint32_t i = 0; i < width; ++i) {
                                ASSERT_EQ(output[j * width + i], PreviewFrom(frame + SlotOffset(y + j, x + i)));
                            }
                        }
                        ++decodes;
                    }
                }
            }
        }
    }
    EXPECT_GT(decodes, 500);

    // Refused rectangles touch nothing.
    const uint8_t* noFrame = frames.Place(0, 0, GuardSide::After);
    uint8_t* noOutput = outputs.Place(0, 0, GuardSide::After);
    for (auto [x, y, width, height] : {std::array<uint32_t, 4>{151, 0, 10, 1}, {0, 0, 0, 1}, {0, 121, 1, 8},
                                       {0xFFFFFFFFu, 0, 2, 1}, {0, 0xFFFFFFFFu, 1, 2}}) {
        EXPECT_EQ(DecodeDCData(noOutput, x, y, width, height, noFrame), FRAMEDEC_INVALID_ARGUMENT);
    }
}

// What the preview of grid position 159 of a one-row frame may read past the frame: the 4 bytes of
// its slot that lie there, and the bytes after the slot that its window takes (window at slot byte
// firstNonZero; 16 for an all-zero slot, which has no window).
std::size_t DocumentedBytesPastFrame(uint32_t firstNonZero) {
    const std::size_t windowEnd = firstNonZero == kSlotBytes ? kSlotBytes : firstNonZero + 1 + kWindowPastSlot;
    return std::max<std::size_t>(kSlotBytes, windowEnd) - kLastPositionInFrame;
}

// Decodes grid position 159 of a one-row frame followed by `spare` accessible bytes. The slot's
// first non-zero byte is a marker at its top bit, followed by a DC code that fills the rest of the
// window (size 11, magnitude 10000000001: the value depends on the window's last bit), so every
// byte of the window is needed.
int32_t PreviewLastPosition(GuardedRegion& frames, uint32_t firstNonZero, std::size_t spare, uint8_t& value) {
    const std::size_t slotOffset = SlotOffset(0, kGridPositionsPerRow - 1);
    uint8_t* frame = frames.Place(slotOffset, FrameBytes(kBlockSize) + spare, GuardSide::After);
    uint8_t* slot = frame + slotOffset;
    std::memset(slot, 0, kLastPositionInFrame + spare);
    if (firstNonZero < kSlotBytes) {
        const uint8_t windowFilling[] = {0x80, 0xFF, 0x17, 0x40};  // marker; 11 ones, 0, 1 0000000001
        std::memcpy(slot + firstNonZero, windowFilling, sizeof windowFilling);
    }
    return DecodeDCData(&value, kGridPositionsPerRow - 1, 0, 1, 1, frame);
}

TEST(GuardPages, DecodeDCDataLastGridPositionNeedsOnlyItsSlotAndWindowPastTheFrame) {
    GuardedRegion frames(FrameBytes(kBlockSize) + kSlotBytes);
    // Window at slot byte 0 to 12: the slot's 4 bytes; at 13 to 15: 5 to 7; an all-zero slot: 4.
    const std::size_t expected[kSlotBytes + 1] = {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 6, 7, 4};
    for (uint32_t firstNonZero = 0; firstNonZero <= kSlotBytes; ++firstNonZero) {
        ASSERT_EQ(DocumentedBytesPastFrame(firstNonZero), expected[firstNonZero]) << firstNonZero;
        uint8_t value = 0;
        ASSERT_EQ(PreviewLastPosition(frames, firstNonZero, DocumentedBytesPastFrame(firstNonZero), value), FRAMEDEC_OK);
        EXPECT_EQ(value, firstNonZero == kSlotBytes ? 128 : 129) << firstNonZero;
    }
}

// One byte fewer faults where the bytes cannot be skipped: the last byte of the widest window, and
// the last byte of an all-zero slot (only it tells the slot is empty).
TEST(GuardPagesDeathTest, DecodeDCDataLastGridPositionFaultsWithOneByteTooFewPastTheFrame) {
#ifdef FRAMEDEC_TEST_EMULATOR
    GTEST_FLAG_SET(death_test_style, "fast");  // a re-started test program would run unemulated
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
#endif
    GuardedRegion frames(FrameBytes(kBlockSize) + kSlotBytes);
    uint8_t value = 0;
    for (uint32_t firstNonZero : {kSlotBytes - 1, kSlotBytes}) {
        EXPECT_DEATH(PreviewLastPosition(frames, firstNonZero, DocumentedBytesPastFrame(firstNonZero) - 1, value), "")
            << firstNonZero;
    }
}

// For every height, a frame whose only accessible bytes are the sequence number's two, guarded
// after and before: nothing else of the frame is read.
TEST(GuardPages, ExtractSequenceNoReadsOnlyItsTwoBytes) {
    GuardedRegion frames(FrameBytes(kMaxImageHeight));
    for (uint32_t height = kBlockSize; height <= kMaxImageHeight; ++height) {
        const std::size_t low = FrameBytes(height) - kSequenceNoFromEnd;
        for (GuardSide side : kSides) {
            uint8_t* frame = frames.Place(low, low + 2, side);
            frame[low] = static_cast<uint8_t>(height);
            frame[low + 1] = static_cast<uint8_t>(height >> 8) ^ 0xA0;
            uint16_t sequenceNo = 0;
            ASSERT_EQ(ExtractSequenceNo(frame, 0, height, &sequenceNo), FRAMEDEC_OK) << height;
            ASSERT_EQ(sequenceNo, height ^ 0xA000) << height;
        }
    }
    const uint8_t* noFrame = frames.Place(0, 0, GuardSide::After);
    for (uint32_t height = 0; height < kBlockSize; ++height) {
        uint16_t sequenceNo = 0;
        EXPECT_EQ(ExtractSequenceNo(noFrame, 0, height, &sequenceNo), FRAMEDEC_INVALID_ARGUMENT) << height;
    }
}

}  // namespace
}  // namespace framedec::testing
