// The SSE4.1 block decoder, for x86-64 processors without AVX2: the same pipeline as the AVX2
// variant with one coefficient row per 128-bit register. Bit-identical to the portable decoder
// for the same reasons. Compiled with -msse4.1 (SSSE3 byte shuffles included), no LZCNT.
#include "codec/block_decoder_x86.h"
#include "codec/block_pipeline.h"
#include "codec/x86_common.h"

namespace framedec {
namespace {

// First pass over coefficient row v: H_v[x] = G[x][v] for x = 0..7.
FRAMEDEC_INLINE __m128i FirstPassRow(const int16_t* coefficients, int v) {
    const __m128i row = _mm_load_si128(reinterpret_cast<const __m128i*>(coefficients + 8 * v));
    const __m128i pairs[4] = {_mm_shuffle_epi32(row, 0x00), _mm_shuffle_epi32(row, 0x55), _mm_shuffle_epi32(row, 0xAA),
                              _mm_shuffle_epi32(row, 0xFF)};
    __m128i sumLow = _mm_setzero_si128(), sumHigh = _mm_setzero_si128();
    for (int p = 0; p < 4; ++p) {
        sumLow = _mm_add_epi32(sumLow, _mm_madd_epi16(pairs[p], _mm_load_si128(reinterpret_cast<const __m128i*>(kFirstPass.low[p]))));
        sumHigh = _mm_add_epi32(sumHigh, _mm_madd_epi16(pairs[p], _mm_load_si128(reinterpret_cast<const __m128i*>(kFirstPass.high[p]))));
    }
    return _mm_packs_epi32(_mm_srai_epi32(sumLow, 16), _mm_srai_epi32(sumHigh, 16));
}

template <uint32_t Pairs>
FRAMEDEC_INLINE void InverseTransform(const int16_t* coefficients, uint8_t* pixels, std::size_t pitch) {
    __m128i low[Pairs], high[Pairs];  // (H_2q[x], H_2q+1[x]) for x = 0..3 and 4..7
    for (uint32_t q = 0; q < Pairs; ++q) {
        const __m128i even = FirstPassRow(coefficients, static_cast<int>(2 * q));
        const __m128i odd = FirstPassRow(coefficients, static_cast<int>(2 * q + 1));
        low[q] = _mm_unpacklo_epi16(even, odd);
        high[q] = _mm_unpackhi_epi16(even, odd);
    }
    __m128i lines[8];
    for (int y = 0; y < 8; ++y) {
        __m128i sumLow = _mm_setzero_si128(), sumHigh = _mm_setzero_si128();
        for (uint32_t q = 0; q < Pairs; ++q) {
            const __m128i multipliers = _mm_set1_epi32(SecondPassPair(y, static_cast<int>(q)));
            sumLow = _mm_add_epi32(sumLow, _mm_madd_epi16(low[q], multipliers));
            sumHigh = _mm_add_epi32(sumHigh, _mm_madd_epi16(high[q], multipliers));
        }
        const __m128i bias = _mm_set1_epi32(128);
        lines[y] = _mm_packs_epi32(_mm_add_epi32(_mm_srai_epi32(sumLow, 16), bias),
                                   _mm_add_epi32(_mm_srai_epi32(sumHigh, 16), bias));
    }
    for (int y = 0; y < 8; y += 2) {
        const __m128i two = _mm_packus_epi16(lines[y], lines[y + 1]);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(pixels + y * pitch), two);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(pixels + (y + 1) * pitch), _mm_unpackhi_epi64(two, two));
    }
}

struct Sse41 {
    static StreamCursor StartSlot(const uint8_t* slot) { return StartSlotX86(slot); }

    static void Zero(int16_t* coefficients, uint32_t blocks) {
        const __m128i zero = _mm_setzero_si128();
        for (uint32_t i = 0; i < blocks * 64; i += 8) _mm_storeu_si128(reinterpret_cast<__m128i*>(coefficients + i), zero);
    }

    static void Dequantise(int16_t* coefficients, uint32_t blocks, const uint16_t* table) {
        __m128i rows[8];
        for (int r = 0; r < 8; ++r) rows[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(table + 8 * r));
        for (uint32_t b = 0; b < blocks; ++b) {
            auto* block = reinterpret_cast<__m128i*>(coefficients + 64 * b);
            for (int r = 0; r < 8; ++r) _mm_storeu_si128(block + r, _mm_mullo_epi16(_mm_loadu_si128(block + r), rows[r]));
        }
    }

    template <uint32_t Pairs>
    static void Transform(const int16_t* coefficients, uint8_t* pixels, std::size_t pitch) {
        InverseTransform<Pairs>(coefficients, pixels, pitch);
    }
};

}  // namespace

void DecodeBlocksSse41(const SlotSpan& span, const uint16_t* table, uint8_t* pixels, std::size_t pitch) {
    DecodeBlocksWith<Sse41>(span, table, pixels, pitch);
}

void DecodeCoefficientBlocksSse41(const uint8_t* slots, uint32_t count, const uint16_t* table, int16_t* coefficients) {
    DecodeCoefficientBlocksWith<Sse41>(slots, count, table, coefficients);
}

}  // namespace framedec
