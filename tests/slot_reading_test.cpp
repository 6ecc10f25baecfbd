// How a slot's bits become levels, checked through the active variant's coefficient decoder with
// a table of ones (so coefficients equal levels) and against the reference reader.
#include <gtest/gtest.h>

#include "codec/block_decoder.h"
#include "codec/slot_reader.h"
#include "test_support.h"

namespace framedec::testing {
namespace {

Levels Read(const Slot& slot) {
    const auto unit = UnitTable();
    Levels viaDecoder{}, viaReader{};
    DecodeBlockCoefficients(slot.data(), unit.data(), viaDecoder.data());
    ReadSlotLevels(slot.data(), viaReader.data());
    EXPECT_EQ(viaDecoder, viaReader);
    return viaDecoder;
}

Levels With(std::initializer_list<std::pair<int, int16_t>> entries) {
    Levels l{};
    for (auto [index, value] : entries) l[index] = value;
    return l;
}

TEST(SlotReading, EmptyAndMarkerOnlySlotsAreAllZero) {
    EXPECT_EQ(Read(Slot{}), Levels{});
    Slot top{};
    top[15] = 0x80;  // marker at bit 127, nothing after it
    EXPECT_EQ(Read(top), Levels{});
}

TEST(SlotReading, WorkedExampleDecodesAlikeAtBottomAndTop) {
    const Levels expected = With({{0, 5}, {1, -3}});
    EXPECT_EQ(Read(SlotFromBytes({0xAF, 0x03})), expected);
    Slot top{};
    top[14] = 0x78;
    top[15] = 0x1D;
    EXPECT_EQ(Read(top), expected);
}

TEST(SlotReading, SingleCodesFollowTheSizeAndExtendRule) {
    const std::pair<const char*, int16_t> codes[] = {
        {"0", 0}, {"101", 1}, {"100", -1}, {"11010", 2}, {"11011", 3}, {"11001", -2}, {"11000", -3}, {"1110101", 5},
        {"1111111111111110 111111111111111", 32767}, {"1111111111111110 000000000000000", -32767},
    };
    for (auto [bits, level] : codes) {
        Slot s{};
        PutStreamBits(s, 0, std::string("1") + bits);  // marker at bit 0
        EXPECT_EQ(Read(s)[0], level) << bits;
    }
    EXPECT_EQ(Read(SlotFromBytes({0x0B})), With({{0, 1}}));
    EXPECT_EQ(Read(SlotFromBytes({0x03})), With({{0, -1}}));
}

TEST(SlotReading, MarkerAtBit63StartsTheStreamAtBit64) {
    Slot s{};
    s[7] = 0x80;
    PutStreamBits(s, 64, "1110101 11000");
    EXPECT_EQ(Read(s), With({{0, 5}, {1, -3}}));
}

TEST(SlotReading, ZeroRunsAreZeroCoefficientsInZigzagOrder) {
    Slot s{};
    // Marker, zeros for zigzag 0..4, 1 at zigzag 5 (natural 2), a zero, -1 at zigzag 7 (natural 10).
    PutStreamBits(s, 3, "1 00000 101 0 100");
    EXPECT_EQ(Read(s), With({{2, 1}, {10, -1}}));
}

TEST(SlotReading, CodeCutOffAtBit127TakesZerosForItsMissingBits) {
    Slot s{};
    // Marker at 120; bits 121..127 hold "11110 11": size 4, magnitude bits "11" then "00" from beyond.
    PutStreamBits(s, 120, "1 11110 11");
    EXPECT_EQ(Read(s), With({{0, 0b1100}}));
    // Only the size run fits: all magnitude bits come from beyond the slot, so the level is negative.
    Slot t{};
    PutStreamBits(t, 122, "1 11110");
    EXPECT_EQ(Read(t), With({{0, -15}}));
}

TEST(SlotReading, OversizedCodesKeepTheLow16BitsOfTheExtendedValue) {
    // Size 16: magnitude 1000...0001 (65537 would need 17 bits; 16 bits give 0x8001) -> 0x8001 as int16.
    Slot s{};
    PutStreamBits(s, 0, "1 1111111111111111 0 1000000000000001");
    EXPECT_EQ(Read(s)[0], static_cast<int16_t>(0x8001));
    // Size 16, first bit 0: m - 65535 = 1 - 65535 -> low 16 bits 2.
    Slot n{};
    PutStreamBits(n, 0, "1 1111111111111111 0 0000000000000001");
    EXPECT_EQ(Read(n)[0], 2);
    // Size 20, first bit 1: the low 16 bits of the 20-bit magnitude.
    Slot big{};
    PutStreamBits(big, 0, "1 11111111111111111111 0 1010 0011001100110011");
    EXPECT_EQ(Read(big)[0], static_cast<int16_t>(0x3333));
    // Size 20, first bit 0: m - (2^20 - 1), low 16 bits = low16(m) + 1.
    Slot bigNegative{};
    PutStreamBits(bigNegative, 0, "1 11111111111111111111 0 0010 0011001100110011");
    EXPECT_EQ(Read(bigNegative)[0], static_cast<int16_t>(0x3334));
    // A run of ones up to bit 127: size 127, no separator or magnitude inside the slot.
    Slot ones;
    ones.fill(0xFF);
    EXPECT_EQ(Read(ones), With({{0, 1}}));  // magnitude all zero bits: 0 - (2^127 - 1) -> low 16 bits 1
}

TEST(SlotReading, RandomLevelsSurviveEncodingAtEveryMarkerPosition) {
    std::mt19937_64 random(11);
    for (int i = 0; i < 20000; ++i) {
        const Levels levels = RandomFittingLevels(random, i % 2 ? 15 : 11);
        const uint32_t bits = tools::StreamBits(levels);
        const uint32_t marker = static_cast<uint32_t>(random() % (kSlotBits - bits));
        ASSERT_EQ(Read(SlotFromLevels(levels, marker)), levels) << "block " << i << " marker " << marker;
    }
}

}  // namespace
}  // namespace framedec::testing
