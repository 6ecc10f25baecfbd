// DecodeBlock and DecodeBlockCoefficients: known blocks, agreement with the floating-point inverse
// DCT, and agreement of the active variant with the portable scalar decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

#include "codec/block_decoder.h"
#include "codec/zigzag.h"
#include "test_support.h"

namespace framedec::testing {
namespace {

using Pixels = std::array<uint8_t, 64>;
using Table = std::array<uint16_t, 64>;

Pixels Decode(const Slot& slot, const Table& table) {
    Pixels p{};
    DecodeBlock(slot.data(), table.data(), p.data());
    return p;
}

Slot DcOnly(int16_t level) {
    Levels l{};
    l[0] = level;
    return SlotFromLevels(l, 5);
}

Table TableWith(std::initializer_list<std::pair<int, uint16_t>> entries) {
    Table t = UnitTable();
    for (auto [index, value] : entries) t[index] = value;
    return t;
}

TEST(DecodeBlock, LoneDcShiftsAfterBothFloors) {
    const Table t = TableWith({{0, 8}});
    const std::pair<int16_t, uint8_t> cases[] = {{5, 132}, {-5, 122}, {1, 128}, {127, 254}, {128, 255}, {0, 128}};
    for (auto [level, expected] : cases) {
        Pixels want;
        want.fill(expected);
        EXPECT_EQ(Decode(DcOnly(level), t), want) << "DC " << level * 8;
    }
}

TEST(DecodeBlock, WorkedExampleGivesAHorizontalRamp) {
    const Pixels p = Decode(SlotFromBytes({0xAF, 0x03}), TableWith({{0, 8}, {1, 5}}));
    const uint8_t line[8] = {130, 130, 131, 132, 133, 134, 135, 135};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(p[8 * y + x], line[x]) << "line " << y << " column " << x;
}

TEST(DecodeBlock, FirstVerticalFrequencyGivesConstantLines) {
    Levels l{};
    l[8] = 100;
    const Pixels p = Decode(SlotFromLevels(l), UnitTable());
    const uint8_t column[8] = {145, 142, 137, 131, 124, 118, 113, 110};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(p[8 * y + x], column[y]) << "line " << y << " column " << x;
}

TEST(DecodeBlock, DequantisationWrapsInsteadOfSaturating) {
    const Table t = TableWith({{0, 8}});
    int16_t coefficients[64];
    DecodeBlockCoefficients(DcOnly(4096).data(), t.data(), coefficients);
    EXPECT_EQ(coefficients[0], -32768);
    Pixels black{};
    EXPECT_EQ(Decode(DcOnly(4096), t), black);

    // 65535 x -1 is -65535, whose low 16 bits are 1; 65535 x 3 wraps to -3.
    const Table big = TableWith({{0, 65535}, {1, 65535}});
    Levels l{};
    l[0] = -1;
    l[1] = 3;
    DecodeBlockCoefficients(SlotFromLevels(l).data(), big.data(), coefficients);
    EXPECT_EQ(coefficients[0], 1);
    EXPECT_EQ(coefficients[1], -3);
}

TEST(DecodeBlock, CoefficientsOfAnEmptySlotAreZeroWhateverTheTable) {
    Table t;
    t.fill(65535);
    int16_t coefficients[64];
    DecodeBlockCoefficients(Slot{}.data(), t.data(), coefficients);
    for (int16_t c : coefficients) EXPECT_EQ(c, 0);
}

// The fixed-point transform is within the two floors of the exact inverse DCT: catches a wrong
// basis constant or a transposed pass, which the exact examples above might miss.
TEST(DecodeBlock, StaysCloseToTheExactInverseDct) {
    std::mt19937_64 random(3);
    const Table table = tools::DefaultTable();
    int worst = 0;
    for (int i = 0; i < 3000; ++i) {
        const Levels levels = RandomFittingLevels(random, 6);
        const Pixels p = Decode(SlotFromLevels(levels), table);
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                double sum = 0;
                for (int v = 0; v < 8; ++v) {
                    for (int u = 0; u < 8; ++u) {
                        const double cu = u ? 1 : 1 / std::numbers::sqrt2, cv = v ? 1 : 1 / std::numbers::sqrt2;
                        const int16_t f = static_cast<int16_t>(levels[8 * v + u] * table[8 * v + u]);
                        sum += cu * cv * f * std::cos((2 * x + 1) * u * std::numbers::pi / 16) *
                               std::cos((2 * y + 1) * v * std::numbers::pi / 16);
                    }
                }
                const double exact = std::clamp(sum / 4 + 128, 0.0, 255.0);
                worst = std::max(worst, static_cast<int>(std::abs(p[8 * y + x] - exact) + 0.5));
            }
        }
    }
    EXPECT_LE(worst, 3);
}

// FRAMEDEC_BLOCK_DECODER's value picks a variant the processor supports, in any letter case; an
// unknown or unsupported name, or none, leaves the fastest supported one.
TEST(BlockDecoderChoice, NamedVariantWhereSupportedElseTheFastest) {
    const auto yes = [] { return true; };
    const auto no = [] { return false; };
    const BlockDecoder decoders[] = {{"scalar", yes, nullptr, nullptr, nullptr},
                                     {"narrow", yes, nullptr, nullptr, nullptr},
                                     {"wide", yes, nullptr, nullptr, nullptr},
                                     {"widest", no, nullptr, nullptr, nullptr}};
    const struct {
        const char* requested;
        const char* chosen;
    } cases[] = {{nullptr, "wide"}, {"", "wide"},      {"scalar", "scalar"}, {"NARROW", "narrow"},
                 {"wide", "wide"},  {"widest", "wide"}, {"wid", "wide"},      {"neon", "wide"}};
    for (const auto& c : cases) {
        EXPECT_STREQ(ChooseBlockDecoder(decoders, c.requested).name, c.chosen) << (c.requested ? c.requested : "(unset)");
    }
}

// The active variant (the suite runs once per variant) against the portable definition, through
// its multi-block entry points: runs of 1 to 160 consecutive slots, as the region loops use them.
class VariantAgreement : public ::testing::Test {
  protected:
    void ExpectSameAsScalar(const std::vector<uint8_t>& slots, const Table& table, const std::string& what) {
        const auto count = static_cast<uint32_t>(slots.size() / kSlotBytes);
        std::vector<uint8_t> fast(64 * count), reference(64 * count);
        std::vector<int16_t> fastCoefficients(64 * count), referenceCoefficients(64 * count);
        const BlockDecoder& active = ActiveBlockDecoder();
        active.decodeBlocks({slots.data(), 0, count, 1}, table.data(), fast.data(), 8 * count);
        active.decodeCoefficients(slots.data(), count, table.data(), fastCoefficients.data());
        DecodeBlocksScalar({slots.data(), 0, count, 1}, table.data(), reference.data(), 8 * count);
        DecodeCoefficientBlocksScalar(slots.data(), count, table.data(), referenceCoefficients.data());
        // An image of count blocks side by side: report the first block that differs.
        const auto [f, r] = std::mismatch(fast.begin(), fast.end(), reference.begin());
        ASSERT_TRUE(f == fast.end()) << what << ", block " << (f - fast.begin()) % (8 * count) / 8 << " of " << count;
        for (uint32_t i = 0; i < count; ++i) {
            ASSERT_TRUE(std::equal(fastCoefficients.begin() + 64 * i, fastCoefficients.begin() + 64 * (i + 1),
                                   referenceCoefficients.begin() + 64 * i))
                << what << ", block " << i << " of " << count;
        }
    }

    static std::vector<Table> Tables(std::mt19937_64& random) {
        std::vector<Table> tables = {tools::DefaultTable(), UnitTable(), tools::TableForQuality(95)};
        for (uint16_t fill : {0, 1, 65535, 8}) {
            Table t;
            t.fill(fill);
            tables.push_back(t);
        }
        for (int i = 0; i < 4; ++i) {
            Table t;
            for (auto& e : t) e = static_cast<uint16_t>(random());
            tables.push_back(t);
        }
        return tables;
    }

    // A zero run and a code of size 1 to 15 after it, with random magnitude bits.
    static std::string CodeBits(std::mt19937_64& random, uint32_t zeros, uint32_t size) {
        std::string bits = std::string(zeros, '0') + std::string(size, '1') + "0";
        for (uint32_t i = 0; i < size; ++i) bits += random() % 2 ? "1" : "0";
        return bits;
    }
};

// A million random slots: valid streams (sizes up to 11, and up to 15 so that dequantisation
// wraps), random bytes, runs of ones and of zero bytes, sparse bits.
TEST_F(VariantAgreement, RandomValidAndHostileSlots) {
    std::mt19937_64 random(99);
    const auto tables = Tables(random);
    int done = 0;
    for (int run = 0; done < Iterations(1000000); ++run) {
        const auto count = static_cast<uint32_t>(1 + random() % 160);
        std::vector<uint8_t> slots;
        for (uint32_t i = 0; i < count; ++i) {
            const uint64_t kind = random() % 4;
            const Slot slot = kind == 0 ? RandomHostileSlot(random) : RandomValidSlot(random, kind == 1 ? 15 : 11);
            slots.insert(slots.end(), slot.begin(), slot.end());
        }
        ExpectSameAsScalar(slots, tables[static_cast<std::size_t>(run) % tables.size()], "run " + std::to_string(run));
        if (HasFatalFailure()) return;
        done += static_cast<int>(count);
    }
}

// Slots at the edges of the fast decoders, in runs whose lengths straddle their lane and batch
// sizes: oversized codes (sizes 16 to 100, decoded outside the lanes) after a few valid codes,
// streams that end on the slot's last bit, markers on the last bits, slots of all ones.
TEST_F(VariantAgreement, AdversarialSlotsAtLaneAndBatchEdges) {
    std::mt19937_64 random(77);
    const auto tables = Tables(random);
    const auto adversarial = [&random]() -> Slot {
        Slot s{};
        switch (random() % 5) {
            case 0: {
                const auto size = static_cast<uint32_t>(16 + random() % 85);
                std::string bits = "1" + std::string(random() % 4, '0') + "101" + std::string(size, '1') + "0";
                while (bits.size() < 128) bits += random() % 2 ? "1" : "0";
                PutStreamBits(s, static_cast<uint32_t>(random() % 4), bits.substr(0, 124));
                return s;
            }
            case 1: {
                const Levels levels = RandomFittingLevels(random, 15);
                return SlotFromLevels(levels, kSlotBits - 1 - tools::StreamBits(levels));
            }
            case 2: {
                const auto marker = static_cast<uint32_t>(125 + random() % 3);
                PutStreamBits(s, marker, std::string("111").substr(0, kSlotBits - marker));
                return s;
            }
            case 3: s.fill(0xFF); return s;
            default: return RandomValidSlot(random, 11);
        }
    };
    int run = 0;
    for (const uint32_t count : {1u, 2u, 7u, 8u, 9u, 15u, 16u, 17u, 31u, 33u, 127u, 128u, 129u, 255u, 257u, 300u}) {
        for (int repeat = 0; repeat < 40; ++repeat, ++run) {
            std::vector<uint8_t> slots;
            for (uint32_t i = 0; i < count; ++i) {
                const Slot slot = adversarial();
                slots.insert(slots.end(), slot.begin(), slot.end());
            }
            ExpectSameAsScalar(slots, tables[static_cast<std::size_t>(run) % tables.size()],
                               "run of " + std::to_string(count) + ", repeat " + std::to_string(repeat));
            if (HasFatalFailure()) return;
        }
    }
}

// Spans of many rows, as the region loop hands over the blocks wholly inside a rectangle: slot rows
// with bytes between them, pixel lines wider than the span. Sizes cross the chunk and lane counts
// of the variants (a narrow strip of a frame is many rows of few columns).
TEST_F(VariantAgreement, SpansOfManyRows) {
    std::mt19937_64 random(41);
    const auto tables = Tables(random);
    int done = 0;
    for (int run = 0; done < Iterations(300000); ++run) {
        const auto columns = static_cast<uint32_t>(1 + random() % 24);
        const auto rows = static_cast<uint32_t>(1 + random() % 48);
        const std::size_t slotPitch = kSlotBytes * columns + 16 * (random() % 4), pitch = 8 * columns + random() % 9;
        std::vector<uint8_t> slots(slotPitch * rows);
        for (auto& b : slots) b = static_cast<uint8_t>(random());
        for (uint32_t j = 0; j < rows; ++j) {
            for (uint32_t i = 0; i < columns; ++i) {
                const Slot slot = random() % 4 == 0 ? RandomHostileSlot(random) : RandomValidSlot(random, 11);
                std::copy(slot.begin(), slot.end(), slots.begin() + static_cast<std::ptrdiff_t>(j * slotPitch + 16 * i));
            }
        }
        const SlotSpan span{slots.data(), slotPitch, columns, rows};
        const Table& table = tables[static_cast<std::size_t>(run) % tables.size()];
        std::vector<uint8_t> fast(pitch * 8 * rows, 0xA5), reference(fast);
        ActiveBlockDecoder().decodeBlocks(span, table.data(), fast.data(), pitch);
        DecodeBlocksScalar(span, table.data(), reference.data(), pitch);
        const auto [f, r] = std::mismatch(fast.begin(), fast.end(), reference.begin());
        ASSERT_TRUE(f == fast.end()) << "run " << run << ": " << columns << " x " << rows << ", byte "
                                     << (f - fast.begin()) % pitch << " of line " << (f - fast.begin()) / pitch;
        done += static_cast<int>(columns * rows);
    }
}

// Slots of 0 to 40 codes in random order, in runs that end on and across the lane decoders' batch
// (128 blocks) and lane group (8) edges: the lanes finish their slots in changing patterns and
// take the next ones together, and at a batch's end the refills find fewer slots than lanes.
TEST_F(VariantAgreement, LanesFinishingInAnyPatternTakeTheNextSlotsInOrder) {
    std::mt19937_64 random(97);
    const auto tables = Tables(random);
    for (const uint32_t count : {5u, 8u, 120u, 127u, 128u, 136u, 256u, 383u}) {
        for (int repeat = 0; repeat < 20; ++repeat) {
            std::vector<uint8_t> slots;
            for (uint32_t i = 0; i < count; ++i) {
                Levels levels{};
                const auto codes = static_cast<uint32_t>(random() % 41);  // 3 bits each: they fit a slot
                for (uint32_t k = 0; k < codes; ++k) levels[kZigzag[k]] = random() % 2 ? 1 : -1;
                const Slot slot = SlotFromLevels(levels, static_cast<uint32_t>(random() % 6));
                slots.insert(slots.end(), slot.begin(), slot.end());
            }
            ExpectSameAsScalar(slots, tables[static_cast<std::size_t>(repeat) % tables.size()],
                               "run of " + std::to_string(count) + ", repeat " + std::to_string(repeat));
            if (HasFatalFailure()) return;
        }
    }
}

// Two codes (each with its zero run) that together take 31, 32 or 33 bits, after a run of zeros that
// puts the second on every position from far before to past the block's last: the lane decoders
// take both in one step only when they end within 32 bits and the second is still in the block.
TEST_F(VariantAgreement, CodePairsAtTheEdgesOfOneStep) {
    std::mt19937_64 random(31);
    const auto tables = Tables(random);
    const auto code = [&random](uint32_t zeros, uint32_t size) { return CodeBits(random, zeros, size); };
    std::vector<uint8_t> slots;
    int run = 0;
    for (const uint32_t lead : {0u, 1u, 7u, 31u, 32u, 33u, 45u, 58u, 61u, 62u, 63u}) {
        for (uint32_t total = 31; total <= 33; ++total) {
            for (uint32_t size1 = 1; size1 <= 15; ++size1) {
                for (uint32_t size2 = 1; 2 * (size1 + size2) + 2 <= total; ++size2) {
                    const uint32_t zeros = total - 2 * (size1 + size2) - 2;  // shared out between both runs
                    for (uint32_t zeros1 = 0; zeros1 <= zeros; zeros1 += 1 + zeros / 4) {
                        const std::string bits = "1" + std::string(lead, '0') + code(zeros1, size1) +
                                                 code(zeros - zeros1, size2) + code(0, 1);
                        Slot s{};
                        PutStreamBits(s, 0, bits.substr(0, kSlotBits));
                        slots.insert(slots.end(), s.begin(), s.end());
                        if (slots.size() == 157 * kSlotBytes) {
                            ExpectSameAsScalar(slots, tables[static_cast<std::size_t>(run) % tables.size()],
                                               "lead " + std::to_string(lead) + ", run " + std::to_string(run));
                            if (HasFatalFailure()) return;
                            slots.clear();
                            ++run;
                        }
                    }
                }
            }
        }
    }
    if (!slots.empty()) ExpectSameAsScalar(slots, tables[0], "last run");
}

// A code of every size, alone or after a 3-bit code, whose end falls on bits 28 to 35 of the stream:
// a lane step takes a code only where it ends within the bits the step can move on by, and the next
// step takes it otherwise.
TEST_F(VariantAgreement, LoneCodesEndingAtTheEdgesOfOneStep) {
    std::mt19937_64 random(29);
    const auto tables = Tables(random);
    for (const uint32_t leading : {0u, 3u}) {
        std::vector<uint8_t> slots;
        for (uint32_t end = 28; end <= 35; ++end) {
            for (uint32_t size = 1; size <= 15 && 2 * size + 1 + leading <= end; ++size) {
                const std::string first = leading == 0 ? "" : CodeBits(random, 0, 1);
                const std::string bits = "1" + first + CodeBits(random, end - leading - 2 * size - 1, size) + CodeBits(random, 0, 1);
                Slot s{};
                PutStreamBits(s, 0, bits);
                slots.insert(slots.end(), s.begin(), s.end());
            }
        }
        ExpectSameAsScalar(slots, tables[leading], "leading code of " + std::to_string(leading) + " bits");
    }
}

// Blocks of one or two non-zero coefficients at every pair of positions, so that every kind of
// block the transforms tell apart (by its last non-zero rows) meets every row and column.
TEST_F(VariantAgreement, CoefficientPairsAtEveryPosition) {
    std::mt19937_64 random(64);
    const auto tables = Tables(random);
    const int16_t extremes[] = {1, -1, 300, -300, 2047, -2047, 32767, -32767};
    std::vector<uint8_t> slots;
    for (int first = 0; first < 64; ++first) {
        for (int second = first; second < 64; ++second) {
            Levels levels{};
            levels[first] = extremes[random() % std::size(extremes)];
            levels[second] = extremes[random() % std::size(extremes)];
            const Slot slot = SlotFromLevels(levels);
            slots.insert(slots.end(), slot.begin(), slot.end());
        }
        ExpectSameAsScalar(slots, tables[static_cast<std::size_t>(first) % tables.size()],
                           "first coefficient at " + std::to_string(first));
        if (HasFatalFailure()) return;
        slots.clear();
    }
}

// Every block row of the four test photographs, with each table.
TEST_F(VariantAgreement, RealImageBlocks) {
    std::mt19937_64 random(5);
    const auto tables = Tables(random);
    for (const char* name : {"astronaut", "hubble", "rocket", "gravel"}) {
        tools::GreyImage image;
        std::string error;
        ASSERT_TRUE(tools::ReadPgm(DataPath(std::string(name) + ".pgm"), image, error)) << error;
        const auto frame = tools::SynthesizeFrame(image, {});
        for (uint32_t r = 0; r < kMaxBlockRows; ++r) {
            const auto first = frame.begin() + static_cast<std::ptrdiff_t>(SlotOffset(r, 0));
            ExpectSameAsScalar(std::vector<uint8_t>(first, first + kSlotsPerRow * kSlotBytes), tables[r % tables.size()],
                               std::string(name) + " row " + std::to_string(r));
            if (HasFatalFailure()) return;
        }
    }
}

}  // namespace
}  // namespace framedec::testing
