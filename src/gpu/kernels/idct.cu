// The inverse-DCT kernels: one GPU thread per 8 x 8 block turns the block's 64 quantised levels
// (floats in natural order, as huffman leaves them) into 8 x 8 pixels: dequantise with the fixed
// table Q, inverse DCT, +128, truncate toward zero, clamp to 0..255. Pixel (m, n) of block (r, c)
// lies at byte (8r + m) * pitch + 8c + n of the pixel buffer.
//
// inverseDCT_2DLLM is the one the frame decode launches: a separable single-precision butterfly
// with constant factors, all 64 values in registers, no trigonometric call; it leaves the levels as
// they are and writes no column at or beyond the column limit. inverseDCT_2DXYCONV (separable
// cosine sums) and inverseDCT_2DCONV (the direct 2-D sum in double precision) compute the same
// transform the slow way; they dequantise the record in place and clip no columns.
#include "gpu/kernels/device_compat.h"

#include <stddef.h>

#include "codec/quant_table_q.h"

namespace framedec::gpu {

// The GPU's fixed quantisation table, natural order.
__constant__ short Q[64] = {FRAMEDEC_TABLE_Q};

namespace {

constexpr int kBlockValues = 64;

// sqrt(2) cos(k pi / 16), the nearest single-precision values.
constexpr float k1 = 1.3870399f;   // 3FB18A86
constexpr float k2 = 1.3065630f;   // 3FA73D75
constexpr float k3 = 1.1758755f;   // 3F968317
constexpr float k5 = 0.78569496f;  // 3F49234E
constexpr float k6 = 0.54119611f;  // 3F0A8BD4
constexpr float k7 = 0.27589938f;  // 3E8D42AF
constexpr float s = 0.35355338f;   // 3EB504F3, 1 / (2 sqrt(2))

constexpr float kInvSqrt2 = 0.70710677f;               // 3F3504F3
constexpr double kInvSqrt2Double = 0.7071067811865476;
constexpr float kPi = 3.14159274f;                     // 40490FDB

struct ThreadBlock {
    bool inGrid;
    size_t block;    // index of the block: its record starts at float 64 * block
    size_t topLeft;  // byte of its top-left pixel
    int left;        // pixel column of its left edge
};

// The thread's block, and whether the thread lies inside the block grid at all.
__device__ __forceinline__ ThreadBlock ThisThreadsBlock(int2 blockGrid, int pitch) {
    const int x = blockIdx.x * blockDim.x + threadIdx.x;
    const int y = blockIdx.y * blockDim.y + threadIdx.y;
    if (x >= blockGrid.x || y >= blockGrid.y) return {false, 0, 0, 0};
    return {true, static_cast<size_t>(blockGrid.x) * y + x, static_cast<size_t>(8 * y) * pitch + 8 * x, 8 * x};
}

__device__ __forceinline__ unsigned char PixelFrom(float shifted) {
    return static_cast<unsigned char>(fminf(fmaxf(truncf(shifted), 0.0f), 255.0f));
}

__device__ __forceinline__ unsigned char PixelFrom(double shifted) {
    return static_cast<unsigned char>(fmin(fmax(trunc(shifted), 0.0), 255.0));
}

// Eight values held as named scalars, so that they live in registers.
struct Vector8 {
    float v0, v1, v2, v3, v4, v5, v6, v7;
};

// The orthonormal 8-point inverse DCT as an even/odd butterfly: 28 multiplications, 28 additions.
__device__ __forceinline__ Vector8 Idct8(const Vector8 x) {
    const float a0 = x.v0 + x.v4;
    const float a1 = x.v0 - x.v4;
    const float b0 = k2 * x.v2 + k6 * x.v6;
    const float b1 = k6 * x.v2 - k2 * x.v6;
    const float e0 = a0 + b0;
    const float e3 = a0 - b0;
    const float e1 = a1 + b1;
    const float e2 = a1 - b1;
    const float o0 = k1 * x.v1 + k3 * x.v3 + k5 * x.v5 + k7 * x.v7;
    const float o1 = k3 * x.v1 - k7 * x.v3 - k1 * x.v5 - k5 * x.v7;
    const float o2 = k5 * x.v1 - k1 * x.v3 + k7 * x.v5 + k3 * x.v7;
    const float o3 = k7 * x.v1 - k5 * x.v3 + k3 * x.v5 - k1 * x.v7;
    return {s * (e0 + o0), s * (e1 + o1), s * (e2 + o2), s * (e3 + o3),
            s * (e3 - o3), s * (e2 - o2), s * (e1 - o1), s * (e0 - o0)};
}

// Coefficient row v (its eight horizontal frequencies), dequantised.
__device__ __forceinline__ Vector8 DequantisedRow(const float* record, int v) {
    const int i = 8 * v;
    return {record[i] * static_cast<float>(Q[i]),         record[i + 1] * static_cast<float>(Q[i + 1]),
            record[i + 2] * static_cast<float>(Q[i + 2]), record[i + 3] * static_cast<float>(Q[i + 3]),
            record[i + 4] * static_cast<float>(Q[i + 4]), record[i + 5] * static_cast<float>(Q[i + 5]),
            record[i + 6] * static_cast<float>(Q[i + 6]), record[i + 7] * static_cast<float>(Q[i + 7])};
}

// Writes pixel column n (lines 0 to 7) of a block, unless the column is at or beyond the limit.
__device__ __forceinline__ void StoreColumn(unsigned char* topLeft, int pitch, int n, bool visible, const Vector8 p) {
    if (!visible) return;
    unsigned char* pixel = topLeft + n;
    pixel[0] = PixelFrom(p.v0 + 128.0f);
    pixel[pitch] = PixelFrom(p.v1 + 128.0f);
    pixel[2 * pitch] = PixelFrom(p.v2 + 128.0f);
    pixel[3 * pitch] = PixelFrom(p.v3 + 128.0f);
    pixel[4 * pitch] = PixelFrom(p.v4 + 128.0f);
    pixel[5 * pitch] = PixelFrom(p.v5 + 128.0f);
    pixel[6 * pitch] = PixelFrom(p.v6 + 128.0f);
    pixel[7 * pitch] = PixelFrom(p.v7 + 128.0f);
}

// theta(k, j) = (k (2j + 1) pi) / 16, formed in single precision.
__device__ __forceinline__ float Theta(int k, int j) {
    return (static_cast<float>(k * (2 * j + 1)) * kPi) * 0.0625f;
}

__device__ __forceinline__ void DequantiseInPlace(float* record) {
    for (int i = 0; i < kBlockValues; ++i) record[i] = record[i] * static_cast<float>(Q[i]);
}

}  // namespace

__global__ void inverseDCT_2DLLM(float* coefficients, unsigned char* pixels, int2 blockGrid, int2 imageSize,
                                 int columnLimit) {
    const ThreadBlock t = ThisThreadsBlock(blockGrid, imageSize.x);
    if (!t.inGrid) return;
    const float* record = coefficients + kBlockValues * t.block;
    unsigned char* topLeft = pixels + t.topLeft;
    const int pitch = imageSize.x;
    const int left = t.left;

    // Row pass: rN holds row N's eight values, indexed by pixel column.
    const Vector8 r0 = Idct8(DequantisedRow(record, 0));
    const Vector8 r1 = Idct8(DequantisedRow(record, 1));
    const Vector8 r2 = Idct8(DequantisedRow(record, 2));
    const Vector8 r3 = Idct8(DequantisedRow(record, 3));
    const Vector8 r4 = Idct8(DequantisedRow(record, 4));
    const Vector8 r5 = Idct8(DequantisedRow(record, 5));
    const Vector8 r6 = Idct8(DequantisedRow(record, 6));
    const Vector8 r7 = Idct8(DequantisedRow(record, 7));

    // Column pass, one pixel column at a time, straight to the pixels.
    StoreColumn(topLeft, pitch, 0, left + 0 < columnLimit, Idct8({r0.v0, r1.v0, r2.v0, r3.v0, r4.v0, r5.v0, r6.v0, r7.v0}));
    StoreColumn(topLeft, pitch, 1, left + 1 < columnLimit, Idct8({r0.v1, r1.v1, r2.v1, r3.v1, r4.v1, r5.v1, r6.v1, r7.v1}));
    StoreColumn(topLeft, pitch, 2, left + 2 < columnLimit, Idct8({r0.v2, r1.v2, r2.v2, r3.v2, r4.v2, r5.v2, r6.v2, r7.v2}));
    StoreColumn(topLeft, pitch, 3, left + 3 < columnLimit, Idct8({r0.v3, r1.v3, r2.v3, r3.v3, r4.v3, r5.v3, r6.v3, r7.v3}));
    StoreColumn(topLeft, pitch, 4, left + 4 < columnLimit, Idct8({r0.v4, r1.v4, r2.v4, r3.v4, r4.v4, r5.v4, r6.v4, r7.v4}));
    StoreColumn(topLeft, pitch, 5, left + 5 < columnLimit, Idct8({r0.v5, r1.v5, r2.v5, r3.v5, r4.v5, r5.v5, r6.v5, r7.v5}));
    StoreColumn(topLeft, pitch, 6, left + 6 < columnLimit, Idct8({r0.v6, r1.v6, r2.v6, r3.v6, r4.v6, r5.v6, r6.v6, r7.v6}));
    StoreColumn(topLeft, pitch, 7, left + 7 < columnLimit, Idct8({r0.v7, r1.v7, r2.v7, r3.v7, r4.v7, r5.v7, r6.v7, r7.v7}));
}

__global__ void inverseDCT_2DXYCONV(float* coefficients, unsigned char* pixels, int2 blockGrid, int2 imageSize) {
    const ThreadBlock t = ThisThreadsBlock(blockGrid, imageSize.x);
    if (!t.inGrid) return;
    float* record = coefficients + kBlockValues * t.block;
    unsigned char* topLeft = pixels + t.topLeft;
    const int pitch = imageSize.x;

    DequantiseInPlace(record);
    const float cosZero = cosf(Theta(0, 0));  // the one cosine of frequency 0

    float rows[8][8];  // rows[v][n]: coefficient row v transformed, by pixel column n
    for (int v = 0; v < 8; ++v) {
        for (int n = 0; n < 8; ++n) {
            float sum = 0.0f;
            for (int u = 0; u < 8; ++u) {
                const float scale = u == 0 ? kInvSqrt2 : 1.0f;
                sum = fmaf(scale * record[8 * v + u], u == 0 ? cosZero : cosf(Theta(u, n)), sum);
            }
            rows[v][n] = sum;
        }
    }
    for (int m = 0; m < 8; ++m) {
        for (int n = 0; n < 8; ++n) {
            float sum = 0.0f;
            for (int v = 0; v < 8; ++v) {
                const float scale = v == 0 ? kInvSqrt2 : 1.0f;
                sum = fmaf(scale * rows[v][n], v == 0 ? cosZero : cosf(Theta(v, m)), sum);
            }
            topLeft[m * pitch + n] = PixelFrom(fmaf(sum, 0.25f, 128.0f));
        }
    }
}

__global__ void inverseDCT_2DCONV(float* coefficients, unsigned char* pixels, int2 blockGrid, int2 imageSize) {
    const ThreadBlock t = ThisThreadsBlock(blockGrid, imageSize.x);
    if (!t.inGrid) return;
    float* record = coefficients + kBlockValues * t.block;
    unsigned char* topLeft = pixels + t.topLeft;
    const int pitch = imageSize.x;

    DequantiseInPlace(record);
    for (int m = 0; m < 8; ++m) {
        for (int n = 0; n < 8; ++n) {
            double sum = 0.0;
            for (int v = 0; v < 8; ++v) {
                for (int u = 0; u < 8; ++u) {
                    const double cv = v == 0 ? kInvSqrt2Double : 1.0;
                    const double cu = u == 0 ? kInvSqrt2Double : 1.0;
                    const double term = (cv * cu * record[8 * v + u]) * static_cast<double>(cosf(Theta(u, n)));
                    sum = fma(term, static_cast<double>(cosf(Theta(v, m))), sum);
                }
            }
            topLeft[m * pitch + n] = PixelFrom(sum * 0.25 + 128.0);
        }
    }
}

}  // namespace framedec::gpu
