// huffman on the host backend: the slot layouts that catch real faults, which record entries it
// writes, and agreement with the CPU slot reader on real and random frames.
#include <gtest/gtest.h>

#include <random>

#include "codec/slot_reader.h"
#include "codec/zigzag.h"
#include "gpu/kernels/kernels.h"
#include "gpu/launch.h"
#include "gpu_test_support.h"
#include "test_support.h"

namespace framedec::testing {
namespace {

constexpr float kUnwritten = 7777.0f;  // record entries the kernel must leave alone start as this

using Record = std::array<float, 64>;

// The records of a row of slots decoded by huffman over a {slots, 1} block grid.
std::vector<Record> DecodeSlots(const std::vector<Slot>& slots, float fill = kUnwritten) {
    std::vector<uint8_t> bytes;
    for (const Slot& s : slots) bytes.insert(bytes.end(), s.begin(), s.end());
    const int2 grid{static_cast<int>(slots.size()), 1};
    DeviceBuffer<uint8_t> frameCopy(bytes);
    DeviceBuffer<float> coefficients(std::vector<float>(slots.size() * 64, fill));
    gpu::Launch(LoadedKernel(gpu::kHuffman), gpu::BlockGridLaunch(grid), frameCopy.get(), coefficients.get(), grid);
    EXPECT_EQ(gpu::runtime::LastError(), gpu::kSuccess);
    const auto all = coefficients.Read();
    std::vector<Record> records(slots.size());
    for (std::size_t b = 0; b < slots.size(); ++b) std::copy_n(all.begin() + 64 * b, 64, records[b].begin());
    return records;
}

Record DecodeSlot(const Slot& slot) { return DecodeSlots({slot})[0]; }

// The record expected when the codes for zigzag positions 0 to written - 1 are decoded.
Record Expected(std::initializer_list<std::pair<int, float>> levels, int written) {
    Record r;
    r.fill(kUnwritten);
    for (int k = 0; k < written; ++k) r[kZigzag[k]] = 0.0f;
    for (auto [index, level] : levels) r[index] = level;
    return r;
}

Record AsRecord(const Levels& levels) {
    Record r;
    for (int i = 0; i < 64; ++i) r[i] = levels[i];
    return r;
}

TEST(Huffman, WorkedSlotInBothPlacements) {
    // Marker at bit 0: after the two codes the zero bits decode as explicit zero levels.
    EXPECT_EQ(DecodeSlot(SlotFromBytes({0xAF, 0x03})), Expected({{0, 5}, {1, -3}}, 64));
    // Marker at bit 115: the two codes use up the slot; nothing else is written.
    Slot top{};
    top[14] = 0x78;
    top[15] = 0x1D;
    EXPECT_EQ(DecodeSlot(top), Expected({{0, 5}, {1, -3}}, 2));
}

TEST(Huffman, SlotsWithoutCodesWriteNothingWhateverFollows) {
    Slot markerAt127{};
    markerAt127[15] = 0x80;
    Slot ones;
    ones.fill(0xFF);
    const auto records = DecodeSlots({Slot{}, ones, markerAt127, ones});
    EXPECT_EQ(records[0], Expected({}, 0));
    EXPECT_EQ(records[2], Expected({}, 0));
}

TEST(Huffman, MarkerAtBit7StartsTheCodesAtTheNextByte) {
    for (uint32_t byte = 0; byte < 14; ++byte) {  // the codes fit below bit 128
        Slot s{};
        s[byte] = 0x80;
        PutStreamBits(s, 8 * byte + 8, "1110101 11000");
        const int written = static_cast<int>(std::min<uint32_t>(64, 2 + (127 - (8 * byte + 7) - 12)));
        EXPECT_EQ(DecodeSlot(s), Expected({{0, 5}, {1, -3}}, written)) << "marker byte " << byte;
    }
}

TEST(Huffman, StopsAfterTheSixtyFourthCode) {
    Slot s{};
    PutStreamBits(s, 0, "1");                   // marker
    PutStreamBits(s, 64, "101");                // 63 zero codes at bits 1 to 63, then +1 at bits 64 to 66
    for (uint32_t bit = 67; bit < 128; ++bit) PutStreamBits(s, bit, "1");  // left over: ignored
    EXPECT_EQ(DecodeSlot(s), Expected({{63, 1}}, 64));
}

TEST(Huffman, CodesThatUseUpTheSlotLeaveTheRestUnwritten) {
    // 25 codes "11010" (2) and two "0" codes: bits 1 to 127 exactly, 27 codes.
    Slot s{};
    std::string bits = "1";
    for (int i = 0; i < 25; ++i) bits += "11010";
    bits += "00";
    PutStreamBits(s, 0, bits);
    Record expected = Expected({}, 27);
    for (int k = 0; k < 25; ++k) expected[kZigzag[k]] = 2.0f;
    EXPECT_EQ(DecodeSlot(s), expected);
}

TEST(Huffman, ARunOfZeroBitsIsARunOfZeroLevels) {
    Slot s{};
    PutStreamBits(s, 100, "1 0000 101");  // marker at 100, four zero codes, then +1 at zigzag 4
    EXPECT_EQ(DecodeSlot(s), Expected({{kZigzag[4], 1}}, 5 + 20));
}

TEST(Huffman, ThreadsOutsideTheBlockGridWriteNothing) {
    // 5 x 3 blocks: the launch grid covers 8 x 4 threads; the extra ones must not write.
    const int2 grid{5, 3};
    std::mt19937_64 random(11);
    std::vector<uint8_t> bytes;
    for (int b = 0; b < 8 * 4; ++b) {
        const Slot s = RandomValidSlot(random);
        bytes.insert(bytes.end(), s.begin(), s.end());
    }
    DeviceBuffer<uint8_t> frameCopy(bytes);
    DeviceBuffer<float> coefficients(std::vector<float>(8 * 4 * 64, kUnwritten));
    gpu::Launch(LoadedKernel(gpu::kHuffman), gpu::BlockGridLaunch(grid), frameCopy.get(), coefficients.get(), grid);
    ASSERT_EQ(gpu::runtime::LastError(), gpu::kSuccess);
    const auto after = coefficients.Read();
    for (std::size_t i = 5 * 3 * 64; i < after.size(); ++i) ASSERT_EQ(after[i], kUnwritten) << "float " << i;
}

// Sizes 13 to 15 take the bits beyond the slot as 0, like the CPU reader; and no slot, however
// malformed, reads its neighbours: a slot decodes alike between all-zero and all-one slots.
TEST(Huffman, LargeSizesMatchTheCpuReaderAndNoSlotReadsItsNeighbours) {
    std::mt19937_64 random(12);
    Slot zeros{}, ones;
    ones.fill(0xFF);
    for (int i = 0; i < 2000; ++i) {
        const Slot valid = RandomValidSlot(random, 15);
        Levels levels{};
        ReadSlotLevels(valid.data(), levels.data());
        EXPECT_EQ(DecodeSlots({valid}, 0.0f)[0], AsRecord(levels)) << "slot " << i;

        const Slot hostile = RandomHostileSlot(random);
        const auto betweenZeros = DecodeSlots({zeros, hostile, zeros});
        const auto betweenOnes = DecodeSlots({ones, hostile, ones});
        EXPECT_EQ(betweenZeros[1], betweenOnes[1]) << "slot " << i;
    }
}

// Compares grid positions 0 to columns - 1 of every block row.
void ExpectRecordsEqualTheCpuReader(const std::vector<uint8_t>& frame, uint32_t rows, uint32_t columns) {
    const auto records = RunHuffman(frame, rows);
    for (uint32_t r = 0; r < rows; ++r) {
        for (uint32_t c = 0; c < columns; ++c) {
            if (SlotOffset(r, c) + kSlotBytes > frame.size()) continue;  // the last row's last position
            Levels levels{};
            ReadSlotLevels(frame.data() + SlotOffset(r, c), levels.data());
            Record record;
            std::copy_n(records.begin() + (std::size_t{r} * kGridPositionsPerRow + c) * 64, 64, record.begin());
            ASSERT_EQ(record, AsRecord(levels)) << "block row " << r << " column " << c;
        }
    }
}

TEST(Huffman, RecordsEqualTheCpuReaderOnRealImageFrames) {
    ExpectRecordsEqualTheCpuReader(AstronautFrame(), 128, kSlotsPerRow);  // the tails hold random bytes
    for (const char* name : {"gravel.pgm"}) {  // fine texture: the largest levels
        tools::GreyImage image;
        std::string error;
        ASSERT_TRUE(tools::ReadPgm(DataPath(name), image, error)) << error;
        tools::SynthOptions options;
        ExpectRecordsEqualTheCpuReader(tools::SynthesizeFrame(image, options), 128, kSlotsPerRow);
    }
}

TEST(Huffman, RecordsEqualTheCpuReaderOnRandomValidFrames) {
    for (uint64_t seed = 1; seed <= 3; ++seed) {
        std::mt19937_64 random(seed);
        const uint32_t rows = 1 + static_cast<uint32_t>(random() % 16);
        std::vector<uint8_t> frame(FrameBytes(8 * rows));
        for (uint32_t r = 0; r < rows; ++r)
            for (uint32_t c = 0; c < kGridPositionsPerRow; ++c) {
                if (SlotOffset(r, c) + kSlotBytes > frame.size()) break;
                const Slot s = RandomValidSlot(random, 12);
                std::copy(s.begin(), s.end(), frame.begin() + static_cast<std::ptrdiff_t>(SlotOffset(r, c)));
            }
        ExpectRecordsEqualTheCpuReader(frame, rows, kGridPositionsPerRow);
    }
}

}  // namespace
}  // namespace framedec::testing
