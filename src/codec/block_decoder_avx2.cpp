// The AVX2 block decoder: the fast entropy decoder, then the two fixed-point passes with 16 x 16
// -> 32-bit multiply-adds (vpmaddwd) over pairs of coefficients, two coefficient rows per
// register. Bit-identical to the portable decoder: every sum is the same wrapping 32-bit sum
// (only the order of additions differs), the shifts are the same arithmetic shifts, and the
// final saturating packs clamp exactly as the portable clamp does.
//
// Rows of coefficients that are all zero contribute nothing to either pass, so the passes only
// run over the leading row pairs that hold a non-zero level, and a block with only a DC level is
// one value computed with scalar arithmetic.
#if defined(__x86_64__) || defined(_M_X64)

#include <immintrin.h>

#include "codec/block_decoder_x86.h"
#include "codec/idct_basis.h"
#include "codec/stream_decoder.h"

#define FRAMEDEC_AVX2 __attribute__((target("avx2,bmi,bmi2,lzcnt,popcnt")))

namespace framedec {
namespace {

// Multiplier pairs for the first pass: for u-pair p, lane-wide (B[x][2p], B[x][2p + 1]) for
// x = 0..3 (kFirstLow) and x = 4..7 (kFirstHigh), repeated in both 128-bit lanes.
struct FirstPassConstants {
    alignas(32) int16_t low[4][16];
    alignas(32) int16_t high[4][16];
};

constexpr FirstPassConstants MakeFirstPass() {
    FirstPassConstants c{};
    for (int p = 0; p < 4; ++p) {
        for (int lane = 0; lane < 2; ++lane) {
            for (int x = 0; x < 4; ++x) {
                c.low[p][8 * lane + 2 * x] = kIdctBasis[x][2 * p];
                c.low[p][8 * lane + 2 * x + 1] = kIdctBasis[x][2 * p + 1];
                c.high[p][8 * lane + 2 * x] = kIdctBasis[x + 4][2 * p];
                c.high[p][8 * lane + 2 * x + 1] = kIdctBasis[x + 4][2 * p + 1];
            }
        }
    }
    return c;
}

constexpr FirstPassConstants kFirstPass = MakeFirstPass();

// Multiplier pairs for the second pass: for line y and v-pair q, (B[y][2q], B[y][2q + 1]) as one
// 32-bit word, broadcast.
constexpr int32_t PairWord(int y, int q) {
    return static_cast<int32_t>((static_cast<uint32_t>(static_cast<uint16_t>(kIdctBasis[y][2 * q + 1])) << 16) |
                                static_cast<uint16_t>(kIdctBasis[y][2 * q]));
}

FRAMEDEC_AVX2 FRAMEDEC_INLINE __m128i ReverseSlotBits(const uint8_t* slot) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(slot));
    const __m128i reversedOrder = _mm_shuffle_epi8(bytes, _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0));
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i reverseLow = _mm_setr_epi8(0x00, 0x80, 0x40, 0xC0, 0x20, 0xA0, 0x60, 0xE0, 0x10, 0x90, 0x50, 0xD0,
                                             0x30, 0xB0, 0x70, 0xF0);  // bitrev4(i) << 4
    const __m128i reverseHigh = _mm_setr_epi8(0x0, 0x8, 0x4, 0xC, 0x2, 0xA, 0x6, 0xE, 0x1, 0x9, 0x5, 0xD, 0x3, 0xB,
                                              0x7, 0xF);  // bitrev4(i)
    const __m128i low = _mm_and_si128(reversedOrder, nibble);
    const __m128i high = _mm_and_si128(_mm_srli_epi16(reversedOrder, 4), nibble);
    return _mm_or_si128(_mm_shuffle_epi8(reverseLow, low), _mm_shuffle_epi8(reverseHigh, high));
}

FRAMEDEC_AVX2 FRAMEDEC_INLINE StreamCursor StartSlot(const uint8_t* slot) {
    const __m128i reversed = ReverseSlotBits(slot);
    return StartStream(static_cast<uint64_t>(_mm_extract_epi64(reversed, 1)),
                       static_cast<uint64_t>(_mm_cvtsi128_si64(reversed)));
}

// Reads count slots into count blocks of dequantised coefficients, two slots at a time.
FRAMEDEC_AVX2 FRAMEDEC_INLINE void ReadCoefficientBlocks(const uint8_t* slots, uint32_t count, const uint16_t* table,
                                                         int16_t* coefficients, StreamSummary* summaries) {
    const __m256i zero = _mm256_setzero_si256();
    for (uint32_t i = 0; i < count * 64; i += 16) _mm256_storeu_si256(reinterpret_cast<__m256i*>(coefficients + i), zero);
    uint32_t i = 0;
    for (; i + 1 < count; i += 2) {
        summaries[i] = summaries[i + 1] = StreamSummary{};
        DecodeStreamPair(StartSlot(slots + 16 * i), StartSlot(slots + 16 * (i + 1)), table, coefficients + 64 * i,
                         coefficients + 64 * (i + 1), summaries[i], summaries[i + 1]);
    }
    if (i < count) {
        summaries[i] = StreamSummary{};
        StreamCursor c = StartSlot(slots + 16 * i);
        if (c.k < 64)
            while (NextCode(c, table, coefficients + 64 * i, summaries[i])) {
            }
    }
}

// First pass over row pair r: returns [H_2r | H_2r+1], H_v[x] = G[x][v] as 16-bit values.
FRAMEDEC_AVX2 FRAMEDEC_INLINE __m256i FirstPassPair(const int16_t* coefficients, int r) {
    const __m256i rows = _mm256_load_si256(reinterpret_cast<const __m256i*>(coefficients + 16 * r));
    const auto* low = reinterpret_cast<const __m256i*>(kFirstPass.low);
    const auto* high = reinterpret_cast<const __m256i*>(kFirstPass.high);
    const __m256i p0 = _mm256_shuffle_epi32(rows, 0x00);
    const __m256i p1 = _mm256_shuffle_epi32(rows, 0x55);
    const __m256i p2 = _mm256_shuffle_epi32(rows, 0xAA);
    const __m256i p3 = _mm256_shuffle_epi32(rows, 0xFF);
    __m256i sumLow = _mm256_add_epi32(_mm256_madd_epi16(p0, _mm256_load_si256(low + 0)),
                                      _mm256_madd_epi16(p1, _mm256_load_si256(low + 1)));
    sumLow = _mm256_add_epi32(sumLow, _mm256_add_epi32(_mm256_madd_epi16(p2, _mm256_load_si256(low + 2)),
                                                       _mm256_madd_epi16(p3, _mm256_load_si256(low + 3))));
    __m256i sumHigh = _mm256_add_epi32(_mm256_madd_epi16(p0, _mm256_load_si256(high + 0)),
                                       _mm256_madd_epi16(p1, _mm256_load_si256(high + 1)));
    sumHigh = _mm256_add_epi32(sumHigh, _mm256_add_epi32(_mm256_madd_epi16(p2, _mm256_load_si256(high + 2)),
                                                         _mm256_madd_epi16(p3, _mm256_load_si256(high + 3))));
    // Each t >> 16 lies in the 16-bit range, so the saturating pack is exact.
    return _mm256_packs_epi32(_mm256_srai_epi32(sumLow, 16), _mm256_srai_epi32(sumHigh, 16));
}

// Interleaves [H_2q | H_2q+1] into (H_2q[x], H_2q+1[x]) pairs: x = 0..3 in the low lane, 4..7 in
// the high lane.
FRAMEDEC_AVX2 FRAMEDEC_INLINE __m256i InterleaveRowPair(__m256i rows) {
    const __m256i quads = _mm256_permute4x64_epi64(rows, 0xD8);
    return _mm256_shuffle_epi8(quads, _mm256_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15, 0, 1, 8, 9,
                                                       2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15));
}

template <int Pairs>
FRAMEDEC_AVX2 FRAMEDEC_INLINE __m256i SecondPassLine(const __m256i* pairs, int y) {
    __m256i sum = _mm256_madd_epi16(pairs[0], _mm256_set1_epi32(PairWord(y, 0)));
    if constexpr (Pairs > 1) sum = _mm256_add_epi32(sum, _mm256_madd_epi16(pairs[1], _mm256_set1_epi32(PairWord(y, 1))));
    if constexpr (Pairs > 2) sum = _mm256_add_epi32(sum, _mm256_madd_epi16(pairs[2], _mm256_set1_epi32(PairWord(y, 2))));
    if constexpr (Pairs > 3) sum = _mm256_add_epi32(sum, _mm256_madd_epi16(pairs[3], _mm256_set1_epi32(PairWord(y, 3))));
    return _mm256_add_epi32(_mm256_srai_epi32(sum, 16), _mm256_set1_epi32(128));
}

// Packs four lines (32-bit, x = 0..3 low lane, 4..7 high lane) to 32 clamped bytes in line order.
FRAMEDEC_AVX2 FRAMEDEC_INLINE __m256i PackFourLines(__m256i l0, __m256i l1, __m256i l2, __m256i l3) {
    const __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(l0, l1), _mm256_packs_epi32(l2, l3));
    return _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
}

template <int Pairs>
FRAMEDEC_AVX2 void InverseTransform(const int16_t* coefficients, uint8_t* pixels) {
    __m256i pairs[Pairs];
    for (int r = 0; r < Pairs; ++r) pairs[r] = InterleaveRowPair(FirstPassPair(coefficients, r));
    const __m256i top = PackFourLines(SecondPassLine<Pairs>(pairs, 0), SecondPassLine<Pairs>(pairs, 1),
                                      SecondPassLine<Pairs>(pairs, 2), SecondPassLine<Pairs>(pairs, 3));
    const __m256i bottom = PackFourLines(SecondPassLine<Pairs>(pairs, 4), SecondPassLine<Pairs>(pairs, 5),
                                         SecondPassLine<Pairs>(pairs, 6), SecondPassLine<Pairs>(pairs, 7));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(pixels), top);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(pixels + 32), bottom);
}

FRAMEDEC_AVX2 FRAMEDEC_INLINE void TransformBlock(const int16_t* coefficients, StreamSummary summary, uint8_t* pixels) {
    if (!summary.acPresent) {
        const __m256i fill = _mm256_set1_epi8(static_cast<char>(DcOnlyPixel(coefficients[0])));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pixels), fill);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pixels + 32), fill);
        return;
    }
    switch ((31 - std::countl_zero(summary.rowMask)) >> 1) {  // highest row pair holding a level
        case 0: InverseTransform<1>(coefficients, pixels); break;
        case 1: InverseTransform<2>(coefficients, pixels); break;
        case 2: InverseTransform<3>(coefficients, pixels); break;
        default: InverseTransform<4>(coefficients, pixels); break;
    }
}

// Blocks are decoded in chunks: all slots of a chunk first, then all transforms, so the
// transform reads coefficients whose stores have long completed.
constexpr uint32_t kChunkBlocks = 16;

}  // namespace

FRAMEDEC_AVX2 void DecodeCoefficientBlocksAvx2(const uint8_t* slots, uint32_t count, const uint16_t* table,
                                               int16_t* coefficients) {
    StreamSummary summaries[kChunkBlocks];
    for (uint32_t base = 0; base < count; base += kChunkBlocks) {
        const uint32_t n = count - base < kChunkBlocks ? count - base : kChunkBlocks;
        ReadCoefficientBlocks(slots + 16 * base, n, table, coefficients + 64 * base, summaries);
    }
}

FRAMEDEC_AVX2 void DecodeBlocksAvx2(const uint8_t* slots, uint32_t count, const uint16_t* table, uint8_t* pixels) {
    alignas(64) int16_t coefficients[kChunkBlocks * 64];
    StreamSummary summaries[kChunkBlocks];
    for (uint32_t base = 0; base < count; base += kChunkBlocks) {
        const uint32_t n = count - base < kChunkBlocks ? count - base : kChunkBlocks;
        ReadCoefficientBlocks(slots + 16 * base, n, table, coefficients, summaries);
        for (uint32_t i = 0; i < n; ++i) TransformBlock(coefficients + 64 * i, summaries[i], pixels + 64 * (base + i));
    }
}

}  // namespace framedec

#endif
