// The inverse-DCT kernels on the host backend: known blocks, column clipping, what each leaves in
// the coefficient buffer, agreement of the three kernels, and closeness to the CPU decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "codec/block_decoder.h"
#include "codec/quant_table_q.h"
#include "gpu/kernels/kernels.h"
#include "gpu/launch.h"
#include "gpu_test_support.h"
#include "test_support.h"

namespace framedec::testing {
namespace {

enum class Idct { Llm, XyConv, Conv };
constexpr Idct kAllIdcts[] = {Idct::Llm, Idct::XyConv, Idct::Conv};

const char* Name(Idct idct) {
    switch (idct) {
        case Idct::Llm: return "inverseDCT_2DLLM";
        case Idct::XyConv: return "inverseDCT_2DXYCONV";
        case Idct::Conv: return "inverseDCT_2DCONV";
    }
    return "";
}

struct IdctRun {
    std::vector<uint8_t> pixels;  // 8 x blocks-down lines of pitch bytes, canary-filled before
    std::vector<float> records;   // the coefficient buffer afterwards
};

// Runs one kernel over records (64 floats per block of grid) into a canary-filled pixel buffer.
IdctRun RunIdct(Idct idct, const std::vector<float>& records, int2 grid, int pitch, int columnLimit,
            std::size_t pixelBytes = 0) {
    const CanaryBuffer canary(pixelBytes != 0 ? pixelBytes : std::size_t{8} * grid.y * pitch);
    DeviceBuffer<float> coefficients(records);
    DeviceBuffer<uint8_t> pixels(canary.bytes);
    const auto geometry = gpu::BlockGridLaunch(grid);
    const int2 imageSize{pitch, 8 * grid.y};
    switch (idct) {
        case Idct::Llm:
            gpu::Launch(LoadedKernel(gpu::kInverseDctLlm), geometry, coefficients.get(), pixels.get(), grid, imageSize,
                        columnLimit);
            break;
        case Idct::XyConv:
            gpu::Launch(LoadedKernel(gpu::kInverseDctXyConv), geometry, coefficients.get(), pixels.get(), grid, imageSize);
            break;
        case Idct::Conv:
            gpu::Launch(LoadedKernel(gpu::kInverseDctConv), geometry, coefficients.get(), pixels.get(), grid, imageSize);
            break;
    }
    EXPECT_EQ(gpu::runtime::LastError(), gpu::kSuccess);
    return {pixels.Read(), coefficients.Read()};
}

// One block, pitch 8: the 64 pixels line after line.
std::vector<uint8_t> Block(Idct idct, std::initializer_list<std::pair<int, float>> levels) {
    std::vector<float> record(64, 0.0f);
    for (auto [index, level] : levels) record[index] = level;
    return RunIdct(idct, record, int2{1, 1}, 8, 8).pixels;
}

TEST(InverseDct, ZeroAndDcOnlyRecordsGiveFlatBlocks) {
    const std::pair<float, uint8_t> cases[] = {{0, 128}, {5, 133}, {-20, 108}, {100, 228}, {200, 255}, {-200, 0}};
    for (Idct idct : kAllIdcts) {
        for (auto [level, expected] : cases) {
            EXPECT_EQ(Block(idct, {{0, level}}), std::vector<uint8_t>(64, expected)) << Name(idct) << " DC " << level;
        }
    }
}

TEST(InverseDct, WorkedExampleAndFirstVerticalFrequency) {
    const uint8_t ramp[8] = {130, 130, 131, 132, 133, 134, 135, 135};
    const uint8_t column[8] = {148, 145, 139, 132, 123, 116, 110, 107};
    for (Idct idct : kAllIdcts) {
        const auto worked = Block(idct, {{0, 5}, {1, -3}});
        const auto vertical = Block(idct, {{8, 20}});
        for (int m = 0; m < 8; ++m) {
            for (int n = 0; n < 8; ++n) {
                EXPECT_EQ(worked[8 * m + n], ramp[n]) << Name(idct) << " line " << m << " column " << n;
                EXPECT_EQ(vertical[8 * m + n], column[m]) << Name(idct) << " line " << m << " column " << n;
            }
        }
    }
}

TEST(InverseDct, HugeLevelsClampInsteadOfWrapping) {
    for (Idct idct : kAllIdcts) {
        EXPECT_EQ(Block(idct, {{0, 3e9f}}), std::vector<uint8_t>(64, 255)) << Name(idct);
        EXPECT_EQ(Block(idct, {{0, -3e9f}}), std::vector<uint8_t>(64, 0)) << Name(idct);
    }
}

TEST(InverseDct, ColumnLimitFiveWritesFiveColumnsOfTheFirstBlock) {
    const int2 grid{2, 1};
    const int pitch = 16;
    const auto run = RunIdct(Idct::Llm, std::vector<float>(2 * 64, 0.0f), grid, pitch, 5);
    const CanaryBuffer canary(run.pixels.size());
    for (std::size_t i = 0; i < run.pixels.size(); ++i) {
        const bool written = i % pitch < 5;
        EXPECT_EQ(run.pixels[i], written ? 128 : canary.bytes[i]) << "byte " << i;
    }
}

// The frame decode's arguments: 160 blocks across, column limit = pitch = 1246. Block column 155
// fills image columns 1240 to 1245; columns 156 to 159 lie beyond and write nothing (the pixel
// buffer is exactly 8 lines of 1246 bytes, so a stray write would also overflow it).
TEST(InverseDct, FrameWidthClipsTheLastBlockColumnAndSkipsTheTail) {
    const int2 grid{160, 1};
    const auto run = RunIdct(Idct::Llm, std::vector<float>(160 * 64, 0.0f), grid, 1246, 1246);
    EXPECT_EQ(run.pixels, std::vector<uint8_t>(8 * 1246, 128));
}

TEST(InverseDct, ThreadsOutsideTheBlockGridWriteNothing) {
    // 3 x 3 blocks: the launch covers 4 x 4 threads; the buffer has room for their blocks too.
    const int2 grid{3, 3};
    const int pitch = 40;
    for (Idct idct : kAllIdcts) {
        const auto run = RunIdct(idct, std::vector<float>(4 * 4 * 64, 0.0f), grid, pitch, pitch, 8 * 4 * pitch);
        const CanaryBuffer canary(run.pixels.size());
        for (std::size_t i = 0; i < run.pixels.size(); ++i) {
            const bool inGrid = i / pitch < 24 && i % pitch < 24;
            ASSERT_EQ(run.pixels[i], inGrid ? 128 : canary.bytes[i]) << Name(idct) << " byte " << i;
        }
    }
}

TEST(InverseDct, OnlyTheCosineKernelsDequantiseInPlace) {
    std::vector<float> levels(64);
    for (int i = 0; i < 64; ++i) levels[i] = static_cast<float>(i % 5) - 2.0f;
    EXPECT_EQ(RunIdct(Idct::Llm, levels, int2{1, 1}, 8, 8).records, levels);
    for (Idct idct : {Idct::XyConv, Idct::Conv}) {
        const auto once = RunIdct(idct, levels, int2{1, 1}, 8, 8).records;
        const auto twice = RunIdct(idct, once, int2{1, 1}, 8, 8).records;
        for (int i = 0; i < 64; ++i) {
            EXPECT_EQ(once[i], levels[i] * kTableQ[i]) << Name(idct) << " entry " << i;
            EXPECT_EQ(twice[i], levels[i] * kTableQ[i] * kTableQ[i]) << Name(idct) << " entry " << i;
        }
    }
}

// Records of every block of a frame, as huffman decodes them.
struct FrameRecords {
    std::vector<float> records;
    int2 grid;
};

FrameRecords RecordsOf(const std::vector<uint8_t>& frame) {
    const uint32_t rows = static_cast<uint32_t>(frame.size() / kBlockRowBytes);
    return {RunHuffman(frame, rows), int2{static_cast<int>(kGridPositionsPerRow), static_cast<int>(rows)}};
}

std::vector<uint8_t> RandomValidFrame(uint32_t rows, uint64_t seed) {
    std::mt19937_64 random(seed);
    std::vector<uint8_t> frame(FrameBytes(8 * rows));
    for (uint32_t r = 0; r < rows; ++r)
        for (uint32_t c = 0; c < kSlotsPerRow; ++c) {
            const Slot s = RandomValidSlot(random);
            std::copy(s.begin(), s.end(), frame.begin() + static_cast<std::ptrdiff_t>(SlotOffset(r, c)));
        }
    return frame;
}

TEST(InverseDct, TheThreeKernelsAgreeWithinOneGreyLevel) {
    const int pitch = static_cast<int>(kGridWidthPixels);  // the cosine kernels clip no columns
    for (const auto& frame : {AstronautFrame(), RandomValidFrame(16, 21)}) {
        const FrameRecords in = RecordsOf(frame);
        const auto llm = RunIdct(Idct::Llm, in.records, in.grid, pitch, pitch).pixels;
        const auto xy = RunIdct(Idct::XyConv, in.records, in.grid, pitch, pitch).pixels;
        const auto conv = RunIdct(Idct::Conv, in.records, in.grid, pitch, pitch).pixels;
        int worst = 0;
        for (std::size_t i = 0; i < llm.size(); ++i) {
            worst = std::max({worst, std::abs(llm[i] - xy[i]), std::abs(llm[i] - conv[i]), std::abs(xy[i] - conv[i])});
        }
        EXPECT_LE(worst, 1);
    }
}

// With the same table the GPU path differs from the CPU decoder only by rounding: the CPU floors
// after each of its two integer passes, the GPU truncates once. So a quarter of the pixels come out
// one grey level apart, the GPU mostly higher, and a few where both floors fall the same way, two.
TEST(InverseDct, ButterflyIsWithinOneGreyLevelOfTheCpuDecoder) {
    const std::vector<uint8_t>& frame = AstronautFrame();
    const uint32_t rows = 128;
    const auto gpu = RunFrameKernels(frame, rows, static_cast<int>(kPaddedImageWidth));
    const auto cpu = ReferencePixels(frame, 8 * rows, kTableQ);
    std::size_t exact = 0, withinOne = 0, pixels = 0, gpuHigher = 0;
    int worst = 0;
    for (uint32_t line = 0; line < 8 * rows; ++line) {
        for (uint32_t column = 0; column < kMaxImageWidth; ++column) {
            const std::size_t i = std::size_t{line} * kPaddedImageWidth + column;
            const int difference = std::abs(gpu[i] - cpu[i]);
            exact += difference == 0;
            withinOne += difference <= 1;
            worst = std::max(worst, difference);
            gpuHigher += gpu[i] > cpu[i];
            ++pixels;
        }
    }
    const double exactShare = static_cast<double>(exact) / static_cast<double>(pixels);
    const double withinOneShare = static_cast<double>(withinOne) / static_cast<double>(pixels);
    RecordProperty("exact_share", std::to_string(exactShare));
    std::printf("inverseDCT_2DLLM vs DecodeBlock: %.2f%% exact, %.2f%% within one grey level, at most %d apart\n",
                100 * exactShare, 100 * withinOneShare, worst);
    EXPECT_GE(withinOneShare, 0.99);
    EXPECT_LE(worst, 2);
    EXPECT_GT(gpuHigher, (pixels - exact) / 2);
}

}  // namespace
}  // namespace framedec::testing
