// The portable block decoder. It is written for clarity, not speed: it is the definition that
// every vectorised variant is tested against.
//
// Arithmetic, step by step:
//   1. D[n]: the slot's 64 levels in natural order (ReadSlotLevels).
//   2. F[n] = low 16 bits of D[n] * table[n], as a signed value: the product wraps, it does not
//      saturate (a level of 4096 with an entry of 8 becomes -32768).
//   3. First pass, along each coefficient row v: t = sum over u of B[x][u] * F[8v + u] as a
//      wrapping 32-bit sum; G[x][v] = t >> 16, an arithmetic shift (floor, no rounding bias).
//   4. Second pass, along each pixel column x: s = sum over v of B[y][v] * G[x][v], wrapping;
//      p = (s >> 16) + 128. The level shift comes after the second floor, so a lone DC of 40
//      gives 132, not 133.
//   5. Pixel (x, y) = p clamped to 0..255, stored at 8y + x.
// B is kIdctBasis. Each product of two 16-bit values fits in 31 bits; only the sums can wrap,
// which is why they are accumulated in unsigned 32-bit arithmetic and converted back.
#include <algorithm>
#include <cstring>

#include "codec/block_decoder.h"
#include "codec/frame_geometry.h"
#include "codec/idct_basis.h"
#include "codec/slot_reader.h"

namespace framedec {
namespace {

int32_t Wrap32(uint32_t sum) { return static_cast<int32_t>(sum); }  // modular since C++20

uint32_t Product(int32_t basis, int32_t value) { return static_cast<uint32_t>(basis * value); }

}  // namespace

void DecodeBlockCoefficientsScalar(const uint8_t* slot, const uint16_t* table, int16_t* coefficients) {
    int16_t levels[kBlockPixels];
    ReadSlotLevels(slot, levels);
    for (uint32_t n = 0; n < kBlockPixels; ++n) {
        const uint32_t product = static_cast<uint32_t>(static_cast<uint16_t>(levels[n])) * table[n];
        coefficients[n] = static_cast<int16_t>(static_cast<uint16_t>(product));
    }
}

void DecodeBlockScalar(const uint8_t* slot, const uint16_t* table, uint8_t* pixels) {
    int16_t f[kBlockPixels];
    DecodeBlockCoefficientsScalar(slot, table, f);

    int16_t g[8][8];  // g[x][v]: first-pass results, stored transposed
    for (int v = 0; v < 8; ++v) {
        for (int x = 0; x < 8; ++x) {
            uint32_t t = 0;
            for (int u = 0; u < 8; ++u) t += Product(kIdctBasis[x][u], f[8 * v + u]);
            g[x][v] = static_cast<int16_t>(Wrap32(t) >> 16);
        }
    }

    for (int x = 0; x < 8; ++x) {
        for (int y = 0; y < 8; ++y) {
            uint32_t s = 0;
            for (int v = 0; v < 8; ++v) s += Product(kIdctBasis[y][v], g[x][v]);
            const int32_t p = (Wrap32(s) >> 16) + 128;
            pixels[8 * y + x] = static_cast<uint8_t>(std::clamp(p, 0, 255));
        }
    }
}

void DecodeBlocksScalar(const SlotSpan& span, const uint16_t* table, uint8_t* pixels, std::size_t pitch) {
    for (uint32_t j = 0; j < span.rows; ++j) {
        for (uint32_t i = 0; i < span.columns; ++i) {
            uint8_t block[kBlockPixels];
            DecodeBlockScalar(span.slots + j * span.slotPitch + kSlotBytes * i, table, block);
            uint8_t* out = pixels + kBlockSize * j * pitch + kBlockSize * i;
            for (uint32_t k = 0; k < kBlockSize; ++k) std::memcpy(out + k * pitch, block + kBlockSize * k, kBlockSize);
        }
    }
}

void DecodeCoefficientBlocksScalar(const uint8_t* slots, uint32_t count, const uint16_t* table, int16_t* coefficients) {
    for (uint32_t i = 0; i < count; ++i)
        DecodeBlockCoefficientsScalar(slots + kSlotBytes * i, table, coefficients + kBlockPixels * i);
}

}  // namespace framedec
