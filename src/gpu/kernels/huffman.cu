// huffman: the entropy-decoding kernel. One GPU thread per 8 x 8 block reads the block's 16-byte
// slot and writes the block's quantised levels, as floats in natural order, into its 64-float
// record of the coefficient buffer. Only coded coefficients are written; the host has zeroed the
// buffer, so the rest stay 0.
//
// Slot bits run from bit 0 of byte 0 to bit 7 of byte 15. The lowest set bit is the start marker;
// above it follow up to 64 codes: a size s written as s one-bits and a zero separator, then s
// magnitude bits, first bit most significant. Each code is decoded in a fixed number of steps from
// a 32-bit window: the size by a find-first-set on the complemented window, the magnitude by one
// bit reversal. Bits beyond the slot read as 0, and nothing outside the slot is read.
#include "gpu/kernels/device_compat.h"

#include <stddef.h>

#include "codec/zigzag.h"

namespace framedec::gpu {

// Entry k: natural index of the k-th coded coefficient.
__constant__ unsigned char zigzag[64] = {FRAMEDEC_ZIGZAG_ORDER};

namespace {

constexpr int kSlotBytes = 16;
constexpr int kCodesPerBlock = 64;
// The largest size whose whole code, after a bit offset of up to 7, fits the window: 7 + 2s + 1 <= 32.
constexpr int kWindowSize = 12;

__device__ __forceinline__ unsigned SlotByte(const unsigned char* slot, int i) {
    return i < kSlotBytes ? slot[i] : 0u;
}

// The four bytes at bytePos, little-endian; bytes beyond the slot read as 0.
__device__ __forceinline__ unsigned SlotWindow(const unsigned char* slot, int bytePos) {
    return SlotByte(slot, bytePos) | SlotByte(slot, bytePos + 1) << 8 | SlotByte(slot, bytePos + 2) << 16 |
           SlotByte(slot, bytePos + 3) << 24;
}

}  // namespace

__global__ void huffman(unsigned char* frameCopy, float* coefficients, int2 blockGrid) {
    const int x = blockIdx.x * blockDim.x + threadIdx.x;
    const int y = blockIdx.y * blockDim.y + threadIdx.y;
    if (x >= blockGrid.x || y >= blockGrid.y) return;

    const size_t block = static_cast<size_t>(blockGrid.x) * y + x;
    const unsigned char* slot = frameCopy + kSlotBytes * block;
    float* record = coefficients + kCodesPerBlock * block;

    // Start marker: the lowest set bit of the first non-zero byte. An all-zero slot has no codes.
    int bytePos = 0;
    while (bytePos < kSlotBytes && slot[bytePos] == 0) ++bytePos;
    if (bytePos == kSlotBytes) return;
    int bitOffset = __ffs(slot[bytePos]);  // the bit just above the marker: 1 to 8

    for (int k = 0; k < kCodesPerBlock; ++k) {
        bytePos += bitOffset >> 3;
        bitOffset &= 7;
        if (bytePos >= kSlotBytes) break;  // the next code would start at slot bit 128 or beyond

        const unsigned window = SlotWindow(slot, bytePos) >> bitOffset;
        // Size: the run of one-bits at the bottom of the window. A run as long as the window never
        // occurs in a valid slot; the window's top bit is taken as 0 so the size stays at most 31.
        const int size = __ffs(static_cast<int>(~window | 0x80000000u)) - 1;

        int level = 0;
        if (size > 0) {
            // The magnitude bits, first stream bit at bit 0: from the same window for the sizes of
            // image data, from a window at the magnitude's own position for the rare larger ones.
            const int start = 8 * bytePos + bitOffset + size + 1;
            const unsigned bits =
                size <= kWindowSize ? window >> (size + 1) : SlotWindow(slot, start >> 3) >> (start & 7);
            const unsigned magnitude = __brev(bits) >> (32 - size);
            const unsigned allOnes = (1u << size) - 1u;
            level = static_cast<int>(magnitude >> (size - 1) != 0 ? magnitude : magnitude - allOnes);
        }
        record[zigzag[k]] = static_cast<float>(level);
        bitOffset += 2 * size + 1;
    }
}

}  // namespace framedec::gpu
