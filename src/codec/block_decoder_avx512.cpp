// The AVX-512 block decoder. Slots are taken in batches: the lane decoder (lane_stream_decoder.h)
// reads every slot of a batch side by side into levels in natural order, then each block is
// dequantised (two 16-bit multiplies) and transformed, a row's run of blocks at a time, and the
// lines of eight neighbouring blocks are written together, 64 bytes a line.
//
// The transform uses the symmetry of the basis, B[7 - x][u] = (-1)^u B[x][u]: each pass forms
// E = the sum over even frequencies and O = the sum over odd ones for outputs 0 to 3, and gets
// outputs 7 to 4 as E - O. The products and the wrapping 32-bit sums are those of the portable
// decoder, regrouped, so the results are bit-identical; the shifts are the same arithmetic
// shifts, and the saturating packs and adds clamp exactly as the portable clamp does.
// Compiled with -mavx512f -mavx512bw -mavx512vl -mavx512cd -mavx512vbmi2 -mgfni -mbmi -mbmi2 -mlzcnt.
#include "codec/block_decoder_x86.h"
#include "codec/block_pipeline.h"
#include "codec/dc_lanes_avx512.h"
#include "codec/frame_geometry.h"
#include "codec/idct_basis.h"
#include "codec/lane_stream_decoder.h"

namespace framedec {
namespace {

constexpr int32_t WordPair(int16_t low, int16_t high) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(high)) << 16 | static_cast<uint16_t>(low));
}

struct TransformConstants {
    // First pass, output x = 0..3 in each 128-bit lane: (B[x][0], B[x][2]), (B[x][4], B[x][6]),
    // (B[x][1], B[x][3]), (B[x][5], B[x][7]).
    alignas(64) int32_t even02[16], even46[16], odd13[16], odd57[16];
    // Second pass, for the line pairs (0, 1) and (2, 3): line 2p in the low half, 2p + 1 in the high.
    alignas(64) int32_t second02[2][16], second46[2][16], second13[2][16], second57[2][16];
    // First-pass results hold outputs x = 0,1,2,3,7,6,5,4 in each row's lane; these gather, per
    // 32-bit lane j (x = j mod 8, both halves alike), the pairs (G[x][0], G[x][2]) and (G[x][1], G[x][3])
    // of a register holding rows 0..3 (or (G[x][4], G[x][6]), (G[x][5], G[x][7]) of rows 4..7).
    alignas(64) int16_t evenRows[32], oddRows[32];
    // A block with only rows 0 and 1: the pairs (G[x][0], G[x][1]) gathered the same way, and per
    // sum register (lines 0 and 1, 2 and 3, 7 and 6, 5 and 4) the pairs (B[y][0], B[y][1]).
    alignas(64) int16_t firstRows[32];
    alignas(64) int32_t second01[4][16];
};

constexpr TransformConstants MakeTransformConstants() {
    TransformConstants c{};
    const auto& b = kIdctBasis;
    for (int j = 0; j < 16; ++j) {
        const int x = j % 4;
        c.even02[j] = WordPair(b[x][0], b[x][2]);
        c.even46[j] = WordPair(b[x][4], b[x][6]);
        c.odd13[j] = WordPair(b[x][1], b[x][3]);
        c.odd57[j] = WordPair(b[x][5], b[x][7]);
        for (int p = 0; p < 2; ++p) {
            const int y = 2 * p + j / 8;
            c.second02[p][j] = WordPair(b[y][0], b[y][2]);
            c.second46[p][j] = WordPair(b[y][4], b[y][6]);
            c.second13[p][j] = WordPair(b[y][1], b[y][3]);
            c.second57[p][j] = WordPair(b[y][5], b[y][7]);
        }
        const int x8 = j % 8;
        const int at = x8 < 4 ? x8 : 11 - x8;  // where output x lies in a row's lane
        c.evenRows[2 * j] = static_cast<int16_t>(at);
        c.evenRows[2 * j + 1] = static_cast<int16_t>(16 + at);
        c.oddRows[2 * j] = static_cast<int16_t>(8 + at);
        c.oddRows[2 * j + 1] = static_cast<int16_t>(24 + at);
        c.firstRows[2 * j] = static_cast<int16_t>(at);
        c.firstRows[2 * j + 1] = static_cast<int16_t>(8 + at);
        for (int p = 0; p < 2; ++p) {
            const int y = 2 * p + j / 8;
            c.second01[p][j] = WordPair(b[y][0], b[y][1]);
            c.second01[2 + p][j] = WordPair(b[7 - y][0], b[7 - y][1]);
        }
    }
    return c;
}

constexpr TransformConstants kTransform = MakeTransformConstants();

// Words 0, 2, 4, 6, 1, 3, 5, 7 of each row: the pairs (F0, F2), (F4, F6), (F1, F3), (F5, F7).
constexpr int8_t kEvenOddWordBytes[16] = {0, 1, 4, 5, 8, 9, 12, 13, 2, 3, 6, 7, 10, 11, 14, 15};
constexpr BytePattern kEvenOddWords = RepeatLanes(kEvenOddWordBytes);

FRAMEDEC_INLINE __m512i Load(const int32_t* p) { return _mm512_load_si512(p); }
FRAMEDEC_INLINE __m512i Load(const int16_t* p) { return _mm512_load_si512(p); }

// First pass over four coefficient rows (row v in 128-bit lane v mod 4): per lane the eight
// G[x][v] = (sum over u of B[x][u] F[v][u]) >> 16 as words, outputs x = 0,1,2,3,7,6,5,4.
FRAMEDEC_INLINE __m512i FirstPass(__m512i rows) {
    const __m512i pairs = _mm512_shuffle_epi8(rows, LoadPattern(kEvenOddWords));
    const __m512i even = _mm512_add_epi32(_mm512_madd_epi16(_mm512_shuffle_epi32(pairs, _MM_PERM_AAAA), Load(kTransform.even02)),
                                          _mm512_madd_epi16(_mm512_shuffle_epi32(pairs, _MM_PERM_BBBB), Load(kTransform.even46)));
    const __m512i odd = _mm512_add_epi32(_mm512_madd_epi16(_mm512_shuffle_epi32(pairs, _MM_PERM_CCCC), Load(kTransform.odd13)),
                                         _mm512_madd_epi16(_mm512_shuffle_epi32(pairs, _MM_PERM_DDDD), Load(kTransform.odd57)));
    // Each t >> 16 lies in the 16-bit range, so the saturating pack is exact.
    return _mm512_packs_epi32(_mm512_srai_epi32(_mm512_add_epi32(even, odd), 16),
                              _mm512_srai_epi32(_mm512_sub_epi32(even, odd), 16));
}

// Writes a block's eight 8-byte lines, pitch bytes apart, by 128-bit parts: a scatter would do it in
// one instruction, but is microcoded on AMD Zen 4 (48 micro-ops) and no faster on Intel.
FRAMEDEC_INLINE void StoreLines(__m512i lines, uint8_t* pixels, std::size_t pitch) {
    const __m128i parts[4] = {_mm512_castsi512_si128(lines), _mm512_extracti32x4_epi32(lines, 1),
                              _mm512_extracti32x4_epi32(lines, 2), _mm512_extracti32x4_epi32(lines, 3)};
    for (int i = 0; i < 4; ++i) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(pixels + 2 * i * pitch), parts[i]);
        _mm_storeh_pi(reinterpret_cast<__m64*>(pixels + (2 * i + 1) * pitch), _mm_castsi128_ps(parts[i]));
    }
}

// A block's second-pass sums >> 16, two lines to a register: upper[p] holds lines 2p and 2p + 1,
// lower[p] lines 7 - 2p and 6 - 2p, eight 32-bit columns each. Every kind of block ends in the
// same packing and stores.
struct LineSums {
    __m512i upper[2], lower[2];
};

// Second pass. low: first-pass results of rows 0..3; high: of rows 4..7 (used only when
// WithHighRows).
template <bool WithHighRows>
FRAMEDEC_INLINE LineSums SecondPass(__m512i low, __m512i high) {
    const __m512i pairs02 = _mm512_permutexvar_epi16(Load(kTransform.evenRows), low);
    const __m512i pairs13 = _mm512_permutexvar_epi16(Load(kTransform.oddRows), low);
    __m512i pairs46 = _mm512_setzero_si512(), pairs57 = _mm512_setzero_si512();
    if constexpr (WithHighRows) {
        pairs46 = _mm512_permutexvar_epi16(Load(kTransform.evenRows), high);
        pairs57 = _mm512_permutexvar_epi16(Load(kTransform.oddRows), high);
    }
    LineSums sums;
    for (int p = 0; p < 2; ++p) {
        __m512i even = _mm512_madd_epi16(pairs02, Load(kTransform.second02[p]));
        __m512i odd = _mm512_madd_epi16(pairs13, Load(kTransform.second13[p]));
        if constexpr (WithHighRows) {
            even = _mm512_add_epi32(even, _mm512_madd_epi16(pairs46, Load(kTransform.second46[p])));
            odd = _mm512_add_epi32(odd, _mm512_madd_epi16(pairs57, Load(kTransform.second57[p])));
        }
        sums.upper[p] = _mm512_srai_epi32(_mm512_add_epi32(even, odd), 16);
        sums.lower[p] = _mm512_srai_epi32(_mm512_sub_epi32(even, odd), 16);
    }
    return sums;
}

// Second pass of a block whose rows 2 to 7 are zero (first: the first-pass results of rows 0..3):
// per line y, G[x][0] B[y][0] + G[x][1] B[y][1].
FRAMEDEC_INLINE LineSums SecondPassTwoRows(__m512i first) {
    const __m512i pairs01 = _mm512_permutexvar_epi16(Load(kTransform.firstRows), first);
    LineSums sums;
    for (int p = 0; p < 2; ++p) {
        sums.upper[p] = _mm512_srai_epi32(_mm512_madd_epi16(pairs01, Load(kTransform.second01[p])), 16);
        sums.lower[p] = _mm512_srai_epi32(_mm512_madd_epi16(pairs01, Load(kTransform.second01[2 + p])), 16);
    }
    return sums;
}

// A block's pixels from its second-pass sums: line y's eight bytes in the 32-bit lanes
// kLineLanes[y][0] (pixels 0 to 3) and kLineLanes[y][1] (4 to 7), the order the packs leave them in.
FRAMEDEC_INLINE __m512i PixelBytes(const LineSums& sums) {
    // s >> 16 fits 16 bits; + 128 saturating, then the unsigned byte pack, clamp as 0..255 does.
    const __m512i bias = _mm512_set1_epi16(128);
    const __m512i upperWords = _mm512_adds_epi16(_mm512_packs_epi32(sums.upper[0], sums.upper[1]), bias);
    const __m512i lowerWords = _mm512_adds_epi16(_mm512_packs_epi32(sums.lower[0], sums.lower[1]), bias);
    return _mm512_packus_epi16(upperWords, lowerWords);
}

constexpr int kLineLanes[8][2] = {{0, 4}, {8, 12}, {1, 5}, {9, 13}, {11, 15}, {3, 7}, {10, 14}, {2, 6}};

// Permutes that put lines in order: of one block (8 bytes a line), and of two blocks side by side
// (16 bytes a line; lines 0 to 3, then 4 to 7).
struct LinePatterns {
    alignas(64) int32_t single[16];
    alignas(64) int32_t pair[2][16];
};

constexpr LinePatterns MakeLinePatterns() {
    LinePatterns p{};
    for (int y = 0; y < 8; ++y) {
        for (int half = 0; half < 2; ++half) {
            p.single[2 * y + half] = kLineLanes[y][half];
            p.pair[y / 4][4 * (y % 4) + half] = kLineLanes[y][half];
            p.pair[y / 4][4 * (y % 4) + 2 + half] = 16 + kLineLanes[y][half];  // the second block's
        }
    }
    return p;
}

constexpr LinePatterns kLinePatterns = MakeLinePatterns();

// Writes the lines of Blocks (1, 2, 4 or 8) blocks side by side, pitch bytes apart, from their
// PixelBytes: a line of four blocks is one 32-byte store, of eight one 64-byte store, where single
// blocks take 16 stores of 8 bytes between them, the cost that dominates writing the output. Two
// blocks are too few to gain from it and go one by one.
template <uint32_t Blocks>
FRAMEDEC_INLINE void StoreBlocks(const __m512i* bytes, uint8_t* pixels, std::size_t pitch) {
    static_assert(Blocks == 1 || Blocks == 2 || Blocks == 4 || Blocks == 8);
    if constexpr (Blocks <= 2) {
        for (uint32_t i = 0; i < Blocks; ++i) {
            StoreLines(_mm512_permutexvar_epi32(Load(kLinePatterns.single), bytes[i]), pixels + i * kBlockSize, pitch);
        }
    } else {
        // quads[g][q]: lines 2q and 2q + 1 of blocks 4g to 4g + 3, 32 bytes each.
        __m512i quads[Blocks / 4][4];
        for (uint32_t g = 0; g < Blocks / 4; ++g) {
            for (int half = 0; half < 2; ++half) {
                const __m512i pattern = Load(kLinePatterns.pair[half]);
                const __m512i left = _mm512_permutex2var_epi32(bytes[4 * g], pattern, bytes[4 * g + 1]);
                const __m512i right = _mm512_permutex2var_epi32(bytes[4 * g + 2], pattern, bytes[4 * g + 3]);
                quads[g][2 * half] = _mm512_permutex2var_epi64(left, _mm512_setr_epi64(0, 1, 8, 9, 2, 3, 10, 11), right);
                quads[g][2 * half + 1] =
                    _mm512_permutex2var_epi64(left, _mm512_setr_epi64(4, 5, 12, 13, 6, 7, 14, 15), right);
            }
        }
        for (int q = 0; q < 4; ++q) {
            uint8_t* line = pixels + 2 * q * pitch;
            if constexpr (Blocks == 4) {
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(line), _mm512_castsi512_si256(quads[0][q]));
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(line + pitch), _mm512_extracti64x4_epi64(quads[0][q], 1));
            } else {
                _mm512_storeu_si512(line, _mm512_shuffle_i64x2(quads[0][q], quads[1][q], 0x44));
                _mm512_storeu_si512(line + pitch, _mm512_shuffle_i64x2(quads[0][q], quads[1][q], 0xEE));
            }
        }
    }
}

// A block's dequantised coefficients in natural order: rows 0..3 and rows 4..7.
struct NaturalBlock {
    __m512i low, high;
};

// A block's levels dequantised (the low 16 bits of each product); the levels are cleared for the
// next batch's lanes.
FRAMEDEC_INLINE NaturalBlock TakeDequantised(int16_t* levels, __m512i tableLow, __m512i tableHigh) {
    const NaturalBlock block{_mm512_mullo_epi16(_mm512_load_si512(levels), tableLow),
                             _mm512_mullo_epi16(_mm512_load_si512(levels + 32), tableHigh)};
    _mm512_store_si512(levels, _mm512_setzero_si512());
    _mm512_store_si512(levels + 32, _mm512_setzero_si512());
    return block;
}

// The block's pixels (PixelBytes). Its kind follows from its last non-zero rows: rows 4 to 7, rows
// 2 and 3, rows 0 and 1 beyond the DC, or the DC alone.
FRAMEDEC_INLINE __m512i TransformBlock(const NaturalBlock& block) {
    const __mmask32 lowNonZero = _mm512_test_epi16_mask(block.low, block.low);
    LineSums sums;
    if (_mm512_test_epi64_mask(block.high, block.high) != 0) {
        sums = SecondPass<true>(FirstPass(block.low), FirstPass(block.high));
    } else if ((lowNonZero >> 16) != 0) {
        sums = SecondPass<false>(FirstPass(block.low), _mm512_setzero_si512());
    } else if ((lowNonZero & ~__mmask32{1}) != 0) {
        sums = SecondPassTwoRows(FirstPass(block.low));
    } else {
        const int16_t dc = static_cast<int16_t>(_mm_cvtsi128_si32(_mm512_castsi512_si128(block.low)));
        const __m512i sum = _mm512_set1_epi32(DcOnlySum(dc));
        sums = {{sum, sum}, {sum, sum}};
    }
    return PixelBytes(sums);
}

// Levels and start states of one batch; one block of levels past the batch is the lanes' scratch.
struct Batch {
    // Blocks per batch: enough that the lanes rarely idle at a batch's end, few enough that the
    // levels stay in the first-level cache.
    static constexpr uint32_t kBlocks = 128;
    static_assert((kBlocks + 1) * kBlockPixels <= kLevelPlaces16);

    alignas(64) int16_t levels[(kBlocks + 1) * kBlockPixels];
    alignas(64) uint32_t w0[kBlocks + kLaneStartPadding16], w1[kBlocks + kLaneStartPadding16],
        w2[kBlocks + kLaneStartPadding16], w3[kBlocks + kLaneStartPadding16];

    int16_t* Levels() { return levels; }
    LaneWords Starts() { return {{w0, w1, w2, w3}}; }
    void ClearLevels(uint32_t blocks) {
        for (uint32_t b = 0; b < blocks; ++b) {
            _mm512_store_si512(levels + b * kBlockPixels, _mm512_setzero_si512());
            _mm512_store_si512(levels + b * kBlockPixels + 32, _mm512_setzero_si512());
            __asm__("" ::: "memory");  // two stores, not a call of memset for a few kilobytes
        }
    }
    void ReadStarts(const uint8_t* slots, uint32_t run, uint32_t first) { LaneStartStates16(slots, run, Starts(), first); }
    void Decode(uint32_t count) {
        // The entries after the batch's count, which the lanes' refills read.
        for (uint32_t* words : {w0, w1, w2, w3}) {
            for (uint32_t i = 0; i < kLaneStartPadding16; i += kLanes16) _mm512_storeu_si512(words + count + i, _mm512_setzero_si512());
        }
        DecodeLaneLevels16(Starts(), count, levels, kBlocks * kBlockPixels);
    }
};

}  // namespace

void DecodeBlocksAvx512(const SlotSpan& span, const uint16_t* table, uint8_t* pixels, std::size_t pitch) {
    Batch batch;
    const __m512i tableLow = _mm512_loadu_si512(table), tableHigh = _mm512_loadu_si512(table + 32);
    // Eight blocks side by side: a line of them is one cache line's worth of pixels.
    DecodeRunsToPixels<8>(span, batch, pixels, pitch, [&](auto blocks, int16_t* levels, uint8_t* out) {
        constexpr uint32_t n = decltype(blocks)::value;
        __m512i bytes[n];
        for (uint32_t i = 0; i < n; ++i) {
            bytes[i] = TransformBlock(TakeDequantised(levels + i * kBlockPixels, tableLow, tableHigh));
        }
        StoreBlocks<n>(bytes, out, pitch);
    });
}

void DecodeCoefficientBlocksAvx512(const uint8_t* slots, uint32_t count, const uint16_t* table, int16_t* coefficients) {
    Batch batch;
    const __m512i tableLow = _mm512_loadu_si512(table), tableHigh = _mm512_loadu_si512(table + 32);
    ForEachRun(SlotSpan{slots, 0, count, 1}, batch, [&](int16_t* levels, uint32_t run, uint32_t column, uint32_t) {
        int16_t* out = coefficients + kBlockPixels * column;
        for (uint32_t i = 0; i < run; ++i, levels += kBlockPixels, out += kBlockPixels) {
            const NaturalBlock block = TakeDequantised(levels, tableLow, tableHigh);
            _mm512_storeu_si512(out, block.low);
            _mm512_storeu_si512(out + 32, block.high);
        }
    });
}

void DecodeDcBlocksAvx512(const uint8_t* slots, uint32_t count, uint8_t* values) { DcBlocksLanes(slots, count, values); }

}  // namespace framedec
