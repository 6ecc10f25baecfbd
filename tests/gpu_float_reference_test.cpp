// The host backend's inverseDCT_2DLLM gives the GPU's pixels exactly, not within a grey level: the
// device code is built without fused multiply-adds, so the GPU rounds every product and every sum
// to single precision, in the order the kernel source writes them. The reference below does the
// same, written from the transform's definition: each operation is computed in double and rounded
// to float once. A product of two floats is exact in double, and for a sum the double rounding is
// harmless (53 >= 2 x 24 + 2 bits), so each step is the correctly rounded single-precision result,
// whatever the excess-precision settings (the file is built without contraction, tests/CMakeLists.txt).
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <random>
#include <string>

#include "codec/quant_table_q.h"
#include "gpu_test_support.h"
#include "synth/frame_synth.h"
#include "test_support.h"

namespace framedec::testing {
namespace {

// The transform's constants from their single-precision bits.
const float k1 = std::bit_cast<float>(0x3FB18A86u);  // sqrt(2) cos(pi/16)
const float k2 = std::bit_cast<float>(0x3FA73D75u);
const float k3 = std::bit_cast<float>(0x3F968317u);
const float k5 = std::bit_cast<float>(0x3F49234Eu);
const float k6 = std::bit_cast<float>(0x3F0A8BD4u);
const float k7 = std::bit_cast<float>(0x3E8D42AFu);
const float s = std::bit_cast<float>(0x3EB504F3u);   // 1 / (2 sqrt(2))

struct Arithmetic {
    bool fused;  // products that feed a sum fused with it, as nvcc does by default

    static float Mul(float a, float b) { return static_cast<float>(static_cast<double>(a) * b); }
    static float Add(float a, float b) { return static_cast<float>(static_cast<double>(a) + b); }
    static float Sub(float a, float b) { return static_cast<float>(static_cast<double>(a) - b); }
    float MulAdd(float a, float b, float c) const { return fused ? std::fma(a, b, c) : Add(Mul(a, b), c); }
    float MulSub(float a, float b, float c) const { return fused ? std::fma(-a, b, c) : Sub(c, Mul(a, b)); }

    // The 8-point transform, term by term from the left.
    void Transform(const float x[8], float y[8]) const {
        const float a0 = Add(x[0], x[4]), a1 = Sub(x[0], x[4]);
        const float b0 = MulAdd(k6, x[6], Mul(k2, x[2]));
        const float b1 = MulSub(k2, x[6], Mul(k6, x[2]));
        const float e0 = Add(a0, b0), e3 = Sub(a0, b0), e1 = Add(a1, b1), e2 = Sub(a1, b1);
        const float o0 = MulAdd(k7, x[7], MulAdd(k5, x[5], MulAdd(k3, x[3], Mul(k1, x[1]))));
        const float o1 = MulSub(k5, x[7], MulSub(k1, x[5], MulSub(k7, x[3], Mul(k3, x[1]))));
        const float o2 = MulAdd(k3, x[7], MulAdd(k7, x[5], MulSub(k1, x[3], Mul(k5, x[1]))));
        const float o3 = MulSub(k1, x[7], MulAdd(k3, x[5], MulSub(k5, x[3], Mul(k7, x[1]))));
        y[0] = Mul(s, Add(e0, o0)), y[7] = Mul(s, Sub(e0, o0));
        y[1] = Mul(s, Add(e1, o1)), y[6] = Mul(s, Sub(e1, o1));
        y[2] = Mul(s, Add(e2, o2)), y[5] = Mul(s, Sub(e2, o2));
        y[3] = Mul(s, Add(e3, o3)), y[4] = Mul(s, Sub(e3, o3));
    }

    // One block record to its 8 x 8 pixels (line after line): dequantise, rows, columns, +128,
    // truncate, clamp.
    void Block(const float* record, uint8_t pixels[64]) const {
        float rows[8][8];
        for (int v = 0; v < 8; ++v) {
            float f[8];
            for (int u = 0; u < 8; ++u) f[u] = Mul(record[8 * v + u], static_cast<float>(kTableQ[8 * v + u]));
            Transform(f, rows[v]);
        }
        for (int n = 0; n < 8; ++n) {
            float column[8], p[8];
            for (int v = 0; v < 8; ++v) column[v] = rows[v][n];
            Transform(column, p);
            for (int m = 0; m < 8; ++m)
                pixels[8 * m + n] = static_cast<uint8_t>(std::clamp(std::trunc(Add(p[m], 128.0f)), 0.0f, 255.0f));
        }
    }
};

constexpr int kPitch = static_cast<int>(kGridWidthPixels);  // every block of the grid, tail columns too

// Pixels of the whole block grid where the kernel and the arithmetic differ.
std::size_t Mismatches(const std::vector<float>& records, uint32_t rows, const Arithmetic& arithmetic) {
    const auto kernel = RunInverseDct(records, rows, kPitch);
    std::size_t mismatches = 0;
    for (uint32_t block = 0; block < rows * kGridPositionsPerRow; ++block) {
        uint8_t expected[64];
        arithmetic.Block(&records[std::size_t{64} * block], expected);
        const std::size_t topLeft = std::size_t{block / kGridPositionsPerRow} * 8 * kPitch + block % kGridPositionsPerRow * 8;
        for (int i = 0; i < 64; ++i) mismatches += kernel[topLeft + std::size_t(i / 8) * kPitch + i % 8] != expected[i];
    }
    return mismatches;
}

struct Input {
    std::string name;
    std::vector<float> records;
    uint32_t rows;
};

Input FromFrame(std::string name, const std::vector<uint8_t>& frame) {
    const auto rows = static_cast<uint32_t>(frame.size() / kBlockRowBytes);
    return {std::move(name), RunHuffman(frame, rows), rows};
}

// Real photographs, random frames (valid and hostile slots, random bytes between them), and
// records of large random levels that no 8-bit image needs but the codes allow (sizes up to 15).
std::vector<Input> Inputs() {
    std::vector<Input> inputs;
    for (const char* image : {"astronaut", "hubble", "rocket", "gravel"}) {
        tools::GreyImage picture;
        std::string error;
        if (!tools::ReadPgm(DataPath(std::string(image) + ".pgm"), picture, error)) ADD_FAILURE() << error;
        inputs.push_back(FromFrame(image, tools::SynthesizeFrame(picture, tools::SynthOptions{})));
    }
    for (uint64_t seed = 1; seed <= static_cast<uint64_t>(Iterations(10)); ++seed)
        inputs.push_back(FromFrame("random frame " + std::to_string(seed), RandomFrame(1024, seed)));
    std::mt19937_64 random(99);
    Input large{"large levels", std::vector<float>(std::size_t{64} * kGridPositionsPerRow * 16), 16};
    for (float& level : large.records) level = static_cast<float>(static_cast<int>(random() % 65535) - 32767);
    inputs.push_back(std::move(large));
    return inputs;
}

// Blocks of the random frames with a pixel whose value lies within the last bit of an integer, so
// that fusing a multiply with its add moves it by a grey level (one such pixel per block).
Input NearRoundingBlocks() {
    const std::vector<std::vector<std::pair<int, float>>> blocks = {
        {{1, 1}, {8, 1}, {10, -1}, {11, -191}, {12, -3}, {13, 1}, {17, -7}, {18, -2}, {20, -49}, {24, 1},
         {25, -9}, {27, -2}, {28, -1}, {33, 1}, {34, 4}, {35, 106}, {40, 1}},
        {{0, 1}, {1, -16}, {2, 1}, {4, 4}, {6, -1}, {10, -2}, {12, -1}, {16, 33}, {18, -3}, {19, 1}, {24, -3},
         {25, 192}, {26, -1}, {27, -5}, {32, 11}, {40, 5}, {41, 1}, {48, 3}},
        {{1, -14}, {2, 2}, {3, 1371}, {8, 25}, {9, -862}, {16, -346}, {17, 1111}, {32, 3}},
        {{0, 1}, {3, -1}, {5, -4}, {7, -15}, {8, -4}, {9, -1}, {10, 1}, {12, -3}, {13, -1}, {18, -1}, {20, 1},
         {21, -1}, {24, 3}, {25, -6}, {27, 1}, {28, 1}, {34, 7}, {40, 2}, {43, 12}, {48, -1}, {49, 5},
         {50, -1}, {57, -10}},
    };
    Input input{"near-rounding blocks", std::vector<float>(std::size_t{64} * kGridPositionsPerRow, 0.0f), 1};
    for (std::size_t b = 0; b < blocks.size(); ++b)
        for (auto [index, level] : blocks[b]) input.records[64 * b + static_cast<std::size_t>(index)] = level;
    return input;
}

TEST(FloatReference, HostBackendPixelsEqualTheUnfusedSinglePrecisionReference) {
    for (const Input& input : Inputs())
        EXPECT_EQ(Mismatches(input.records, input.rows, Arithmetic{false}), 0u) << input.name;
    // The comparison can tell: with fused multiply-adds, as nvcc builds by default, these differ.
    const Input near = NearRoundingBlocks();
    EXPECT_EQ(Mismatches(near.records, near.rows, Arithmetic{false}), 0u);
    EXPECT_EQ(Mismatches(near.records, near.rows, Arithmetic{true}), 4u);
}

}  // namespace
}  // namespace framedec::testing
