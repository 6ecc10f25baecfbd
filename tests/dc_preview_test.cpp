// DecodeDCData: the value of one block from its DC code, the packed output, and the bounds.
#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>

#include "codec/block_decoder.h"
#include "codec/dc_preview.h"
#include "framedec.h"
#include "test_support.h"

namespace framedec::testing {
namespace {

// The value of a block whose slot is followed by the given bytes (the window may run past it).
uint8_t Preview(const Slot& slot, std::initializer_list<uint8_t> after = {0, 0, 0}) {
    std::vector<uint8_t> bytes(slot.begin(), slot.end());
    bytes.insert(bytes.end(), after.begin(), after.end());
    bytes.resize(19);  // exactly the slot plus the three bytes the window may take
    return DcPreviewValue(bytes.data());
}

Slot StreamAtBit0(const std::string& bits) {
    Slot s{};
    PutStreamBits(s, 0, "1" + bits);
    return s;
}

TEST(DcPreview, ValuesFromTheDcCodeAlone) {
    EXPECT_EQ(Preview(Slot{}), 128);
    EXPECT_EQ(Preview(StreamAtBit0("0 101")), 128);  // size 0, whatever follows
    EXPECT_EQ(Preview(StreamAtBit0("10 1")), 129);
    EXPECT_EQ(Preview(StreamAtBit0("10 0")), 127);
    EXPECT_EQ(Preview(StreamAtBit0("110 10")), 130);
    EXPECT_EQ(Preview(StreamAtBit0("110 01")), 126);
    // Only the low 8 bits of value + 128 count: 128 gives 0, -129 gives 255.
    EXPECT_EQ(Preview(StreamAtBit0("111111110 10000000")), 0);
    EXPECT_EQ(Preview(StreamAtBit0("111111110 01111110")), 255);
}

TEST(DcPreview, WorkedExampleInBothPlacementsWhateverFollowsTheSlot) {
    EXPECT_EQ(Preview(SlotFromBytes({0xAF, 0x03})), 133);
    Slot top{};
    top[14] = 0x78;
    top[15] = 0x1D;
    EXPECT_EQ(Preview(top, {0, 0, 0}), 133);
    EXPECT_EQ(Preview(top, {0xFF, 0xFF, 0xFF}), 133);
    Slot last{};
    last[15] = 0x0B;
    EXPECT_EQ(Preview(last, {0x5A, 0xC3, 0x99}), 129);
}

TEST(DcPreview, WindowRunsIntoTheBytesAfterTheSlot) {
    // Marker at bit 7 of byte 15; the DC code 1 0 1 (value 1) lies in the first byte after the slot.
    Slot s{};
    s[15] = 0x80;
    EXPECT_EQ(Preview(s, {0x05, 0, 0}), 129);
    EXPECT_EQ(Preview(s, {0x01, 0, 0}), 127);
}

TEST(DcPreview, CodeLongerThanTheWindowTakesZerosForItsMissingBits) {
    // Marker at bit 7 of byte 0, then ones to the end of the window: no separator inside it. The
    // separator and all magnitude bits read as 0: size 24, magnitude 0, value -(2^24 - 1).
    Slot s{};
    s[0] = 0x80;
    s[1] = s[2] = s[3] = 0xFF;
    s[4] = 0xFF;  // outside the window: must not matter
    const uint32_t value = 0u - ((1u << 24) - 1u);
    EXPECT_EQ(Preview(s), static_cast<uint8_t>(value + 128));
    s[4] = 0x00;
    EXPECT_EQ(Preview(s), static_cast<uint8_t>(value + 128));
}

uint32_t MarkerBit(const Slot& slot) {
    for (uint32_t i = 0; i < 128; ++i)
        if ((slot[i / 8] >> (i % 8)) & 1) return i;
    return 128;
}

// For well-formed slots whose DC code lies inside the slot, the preview is exactly the reference
// reader's DC level plus 128. (A code that reaches past the slot reads the following bytes.)
TEST(DcPreview, MatchesTheDcLevelOfValidSlots) {
    std::mt19937_64 random(17);
    const auto unit = UnitTable();
    int checked = 0;
    for (int i = 0; i < 100000; ++i) {
        const Slot slot = RandomValidSlot(random, 11);
        int16_t coefficients[64];
        DecodeBlockCoefficientsScalar(slot.data(), unit.data(), coefficients);
        const uint32_t dcBits = 2 * static_cast<uint32_t>(std::bit_width(static_cast<uint32_t>(std::abs(coefficients[0])))) + 1;
        if (MarkerBit(slot) + 1 + dcBits > 128) continue;
        ++checked;
        ASSERT_EQ(Preview(slot, {static_cast<uint8_t>(random()), 0xFF, 0x00}), static_cast<uint8_t>(coefficients[0] + 128))
            << "slot " << i;
    }
    EXPECT_GT(checked, 90000);
}

// The active variant's preview against the plain reader, over runs of consecutive slots as in a
// block row: valid and hostile slots, many with leading zero bytes so that windows run into the
// next slot (or, for the last one, into the three bytes after the run).
TEST(DcPreview, ActiveVariantMatchesTheReferenceOnAnySlot) {
    const DecodeDcBlocksFn decodeDc = ActiveBlockDecoder().decodeDc;
    std::mt19937_64 random(23);
    for (int done = 0; done < Iterations(1000000);) {
        const auto count = static_cast<uint32_t>(1 + random() % 200);
        std::vector<uint8_t> bytes;
        for (uint32_t i = 0; i < count; ++i) {
            Slot slot = random() % 3 == 0 ? RandomValidSlot(random, 15) : RandomHostileSlot(random);
            if (random() % 5 == 0) std::fill(slot.begin(), slot.begin() + 12 + random() % 5, 0);
            bytes.insert(bytes.end(), slot.begin(), slot.end());
        }
        for (int b = 0; b < 3; ++b) bytes.push_back(static_cast<uint8_t>(random()));
        std::vector<uint8_t> values(count);
        decodeDc(bytes.data(), count, values.data());
        for (uint32_t i = 0; i < count; ++i)
            ASSERT_EQ(values[i], DcPreviewValue(bytes.data() + 16 * i)) << "slot " << i << " of " << count;
        done += static_cast<int>(count);
    }
}

TEST(DecodeDCData, BoundsInBlocks) {
    const auto& frame = AstronautFrame();
    struct Case {
        uint32_t x, y, width, height;
        int32_t expected;
    };
    const Case cases[] = {
        {150, 0, 10, 1, FRAMEDEC_OK},     {151, 0, 10, 1, FRAMEDEC_INVALID_ARGUMENT},
        {0, 120, 1, 8, FRAMEDEC_OK},      {0, 121, 1, 8, FRAMEDEC_INVALID_ARGUMENT},
        {0, 0, 0, 1, FRAMEDEC_INVALID_ARGUMENT}, {1, 0, 0, 1, FRAMEDEC_OK},
        {0, 0, 1, 0, FRAMEDEC_INVALID_ARGUMENT}, {0, 1, 1, 0, FRAMEDEC_OK},
        {0xFFFFFFFFu, 0, 2, 1, FRAMEDEC_INVALID_ARGUMENT}, {0, 0xFFFFFFFFu, 1, 2, FRAMEDEC_INVALID_ARGUMENT},
        {0, 0, 160, 127, FRAMEDEC_OK},
    };
    for (const Case& c : cases) {
        CanaryBuffer out(160 * 128 + 16);
        EXPECT_EQ(DecodeDCData(out.bytes.data(), c.x, c.y, c.width, c.height, frame.data()), c.expected)
            << c.x << "," << c.y << " " << c.width << "x" << c.height;
        EXPECT_TRUE(out.OnlyRectangleChanged(c.expected == FRAMEDEC_OK ? c.width * c.height : 0, 1, 160 * 128 + 16));
    }
    CanaryBuffer out(8);
    EXPECT_EQ(DecodeDCData(nullptr, 0, 0, 1, 1, frame.data()), FRAMEDEC_INVALID_ARGUMENT);
    EXPECT_EQ(DecodeDCData(out.bytes.data(), 0, 0, 1, 1, nullptr), FRAMEDEC_INVALID_ARGUMENT);
    EXPECT_TRUE(out.Untouched());
}

TEST(DecodeDCData, PackedRowsInRowMajorOrder) {
    const auto frame = RandomFrame(1024, 31);
    const uint32_t x = 3, y = 5, width = 157, height = 9;
    std::vector<uint8_t> out(width * height);
    ASSERT_EQ(DecodeDCData(out.data(), x, y, width, height, frame.data()), FRAMEDEC_OK);
    for (uint32_t j = 0; j < height; ++j)
        for (uint32_t i = 0; i < width; ++i)
            ASSERT_EQ(out[j * width + i], DcPreviewValue(frame.data() + SlotOffset(y + j, x + i))) << i << "," << j;
    // Reading is all it does: a second run gives the same, and the frame is unchanged.
    const auto before = frame;
    std::vector<uint8_t> again(out.size());
    ASSERT_EQ(DecodeDCData(again.data(), x, y, width, height, frame.data()), FRAMEDEC_OK);
    EXPECT_EQ(again, out);
    EXPECT_EQ(frame, before);
}

}  // namespace
}  // namespace framedec::testing
