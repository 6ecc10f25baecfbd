// The AVX2 block decoder: slots taken in batches, the batch's streams decoded side by side in the
// lanes of 256-bit registers (lane_stream_decoder_avx2.h), then each block dequantised and put
// through the two fixed-point passes with 16 x 16 -> 32-bit multiply-adds (vpmaddwd) over pairs of
// coefficients, two coefficient rows per register. Bit-identical to the portable decoder: every sum is the same wrapping 32-bit sum (in
// another order), the shifts are the same arithmetic shifts, and the final saturating packs clamp
// exactly as the portable clamp does. Compiled with -mavx2 -mbmi -mbmi2 -mlzcnt.
#include "codec/block_decoder_x86.h"
#include "codec/block_pipeline.h"
#include "codec/dc_fast.h"
#include "codec/frame_geometry.h"
#include "codec/lane_stream_decoder_avx2.h"
#include "codec/x86_common.h"

namespace framedec {
namespace {

// The transform uses the symmetry of the basis, B[7 - x][u] = (-1)^u B[x][u] (as the AVX-512 variant
// does): each pass forms E = the sum over even frequencies and O = the sum over odd ones for outputs
// 0 to 3, and gets outputs 7 to 4 as E - O; the products and wrapping sums are the portable
// decoder's, regrouped.
constexpr int32_t WordPair(int16_t low, int16_t high) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(high)) << 16 | static_cast<uint16_t>(low));
}

struct TransformConstants {
    // First pass, output x = 0..3 in each 128-bit lane: (B[x][0], B[x][2]), (B[x][4], B[x][6]),
    // (B[x][1], B[x][3]), (B[x][5], B[x][7]).
    alignas(32) int32_t even02[8], even46[8], odd13[8], odd57[8];
    // Second pass, line y = 0..3: the same pairs of line y's multipliers, in every lane.
    alignas(32) int32_t second02[4][8], second46[4][8], second13[4][8], second57[4][8];
    // Second pass of a block with only rows 0 and 1, line y = 0..7: (B[y][0], B[y][1]); and of rows
    // 4 and 5 of a block with no rows below them: (B[y][4], B[y][5]).
    alignas(32) int32_t second01[8][8], second45[8][8];
};

constexpr TransformConstants MakeTransformConstants() {
    TransformConstants c{};
    const auto& b = kIdctBasis;
    for (int j = 0; j < 8; ++j) {
        const int x = j % 4;
        c.even02[j] = WordPair(b[x][0], b[x][2]);
        c.even46[j] = WordPair(b[x][4], b[x][6]);
        c.odd13[j] = WordPair(b[x][1], b[x][3]);
        c.odd57[j] = WordPair(b[x][5], b[x][7]);
        for (int y = 0; y < 4; ++y) {
            c.second02[y][j] = WordPair(b[y][0], b[y][2]);
            c.second46[y][j] = WordPair(b[y][4], b[y][6]);
            c.second13[y][j] = WordPair(b[y][1], b[y][3]);
            c.second57[y][j] = WordPair(b[y][5], b[y][7]);
        }
        for (int y = 0; y < 8; ++y) {
            c.second01[y][j] = WordPair(b[y][0], b[y][1]);
            c.second45[y][j] = WordPair(b[y][4], b[y][5]);
        }
    }
    return c;
}

constexpr TransformConstants kTransform = MakeTransformConstants();

FRAMEDEC_INLINE __m256i Load(const int32_t* p) { return _mm256_load_si256(reinterpret_cast<const __m256i*>(p)); }

// First pass over two coefficient rows (one per 128-bit lane): per lane the eight
// G[x][v] = (sum over u of B[x][u] F[v][u]) >> 16 as words, outputs x = 0,1,2,3,7,6,5,4.
FRAMEDEC_INLINE __m256i FirstPass(__m256i rows) {
    // Words 0, 2, 4, 6, 1, 3, 5, 7 of each row: the pairs (F0, F2), (F4, F6), (F1, F3), (F5, F7).
    const __m256i pairs = _mm256_shuffle_epi8(rows, _mm256_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, 2, 3, 6, 7, 10, 11, 14, 15, 0,
                                                                     1, 4, 5, 8, 9, 12, 13, 2, 3, 6, 7, 10, 11, 14, 15));
    const __m256i even = _mm256_add_epi32(_mm256_madd_epi16(_mm256_shuffle_epi32(pairs, 0x00), Load(kTransform.even02)),
                                          _mm256_madd_epi16(_mm256_shuffle_epi32(pairs, 0x55), Load(kTransform.even46)));
    const __m256i odd = _mm256_add_epi32(_mm256_madd_epi16(_mm256_shuffle_epi32(pairs, 0xAA), Load(kTransform.odd13)),
                                         _mm256_madd_epi16(_mm256_shuffle_epi32(pairs, 0xFF), Load(kTransform.odd57)));
    // Each t >> 16 lies in the 16-bit range, so the saturating pack is exact.
    return _mm256_packs_epi32(_mm256_srai_epi32(_mm256_add_epi32(even, odd), 16),
                              _mm256_srai_epi32(_mm256_sub_epi32(even, odd), 16));
}

// First-pass results of rows a and b ([G[.][a] | G[.][b]]) to (G[x][a], G[x][b]) pairs:
// x = 0..3 in the low lane, 7..4 in the high lane.
FRAMEDEC_INLINE __m256i InterleaveRows(__m256i rows) {
    const __m256i quads = _mm256_permute4x64_epi64(rows, 0xD8);
    return _mm256_shuffle_epi8(quads, _mm256_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15, 0, 1, 8, 9,
                                                       2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15));
}

// Four lines of second-pass sums >> 16 (x = 0..3 in the low lane, 7..4 in the high lane) to 32
// bytes in line order, + 128 and clamped: s >> 16 fits 16 bits, the saturating add and the
// unsigned byte pack clamp as 0..255 does.
FRAMEDEC_INLINE __m256i PackFourLines(__m256i l0, __m256i l1, __m256i l2, __m256i l3) {
    const __m256i bias = _mm256_set1_epi16(128);
    const __m256i bytes = _mm256_packus_epi16(_mm256_adds_epi16(_mm256_packs_epi32(l0, l1), bias),
                                              _mm256_adds_epi16(_mm256_packs_epi32(l2, l3), bias));
    // Each 32-bit part holds four pixels of a line, those of the high lane backwards.
    const __m256i forwards = _mm256_shuffle_epi8(bytes, _mm256_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 3,
                                                                         2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12));
    return _mm256_permutevar8x32_epi32(forwards, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
}

// Writes four 8-pixel lines held in a register, pitch bytes apart.
FRAMEDEC_INLINE void StoreFourLines(__m256i lines, uint8_t* pixels, std::size_t pitch) {
    const __m128i first = _mm256_castsi256_si128(lines), second = _mm256_extracti128_si256(lines, 1);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(pixels), first);
    _mm_storeh_pi(reinterpret_cast<__m64*>(pixels + pitch), _mm_castsi128_ps(first));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(pixels + 2 * pitch), second);
    _mm_storeh_pi(reinterpret_cast<__m64*>(pixels + 3 * pitch), _mm_castsi128_ps(second));
}

// A block's dequantised coefficients, two rows to a register.
struct BlockRows {
    __m256i pair[4];
};

// A block's second-pass sums >> 16: lines y and 7 - y for y = 0..3, as PackFourLines takes them.
// Every kind of block ends in the same packing and stores.
struct LineSums {
    __m256i upper[4], lower[4];
};

// Both passes of a block whose rows 2 to 7 are zero: per line y, G[x][0] B[y][0] + G[x][1] B[y][1],
// and line 7 - y with the odd term negated.
FRAMEDEC_INLINE LineSums InverseTransformTwoRows(const BlockRows& block) {
    const __m256i pairs01 = InterleaveRows(FirstPass(block.pair[0]));
    LineSums sums;
    for (int y = 0; y < 4; ++y) {
        sums.upper[y] = _mm256_srai_epi32(_mm256_madd_epi16(pairs01, Load(kTransform.second01[y])), 16);
        sums.lower[y] = _mm256_srai_epi32(_mm256_madd_epi16(pairs01, Load(kTransform.second01[7 - y])), 16);
    }
    return sums;
}

// Both passes; rows 4 to 7 are taken as zero unless WithHighRows.
template <bool WithHighRows>
FRAMEDEC_INLINE LineSums InverseTransform(const BlockRows& block) {
    const __m256i rows01 = block.pair[0], rows23 = block.pair[1];
    const __m256i pairs02 = InterleaveRows(FirstPass(_mm256_permute2x128_si256(rows01, rows23, 0x20)));
    const __m256i pairs13 = InterleaveRows(FirstPass(_mm256_permute2x128_si256(rows01, rows23, 0x31)));
    __m256i pairs46 = _mm256_setzero_si256(), pairs57 = _mm256_setzero_si256();
    if constexpr (WithHighRows) {
        const __m256i rows45 = block.pair[2], rows67 = block.pair[3];
        pairs46 = InterleaveRows(FirstPass(_mm256_permute2x128_si256(rows45, rows67, 0x20)));
        pairs57 = InterleaveRows(FirstPass(_mm256_permute2x128_si256(rows45, rows67, 0x31)));
    }
    LineSums sums;
    for (int y = 0; y < 4; ++y) {
        __m256i even = _mm256_madd_epi16(pairs02, Load(kTransform.second02[y]));
        __m256i odd = _mm256_madd_epi16(pairs13, Load(kTransform.second13[y]));
        if constexpr (WithHighRows) {
            even = _mm256_add_epi32(even, _mm256_madd_epi16(pairs46, Load(kTransform.second46[y])));
            odd = _mm256_add_epi32(odd, _mm256_madd_epi16(pairs57, Load(kTransform.second57[y])));
        }
        sums.upper[y] = _mm256_srai_epi32(_mm256_add_epi32(even, odd), 16);
        sums.lower[y] = _mm256_srai_epi32(_mm256_sub_epi32(even, odd), 16);
    }
    return sums;
}

// The DC preview, eight slots at a time: each slot's 32-bit window is found with scalar bit counts,
// then the eight windows are decoded in the lanes of one register. Trailing-zero counts of lanes
// come from the exponent of the lowest set bit converted to float (exact for powers of two).
FRAMEDEC_INLINE __m256i LaneTrailingZeros(__m256i v) {  // lanes must be non-zero
    const __m256i lowest = _mm256_and_si256(v, _mm256_sub_epi32(_mm256_setzero_si256(), v));
    const __m256i exponent = _mm256_srli_epi32(_mm256_castps_si256(_mm256_cvtepi32_ps(lowest)), 23);
    return _mm256_sub_epi32(_mm256_and_si256(exponent, _mm256_set1_epi32(0xFF)), _mm256_set1_epi32(127));
}

// The window of a slot (0 for an all-zero slot): the four bytes from its first non-zero byte.
FRAMEDEC_INLINE uint32_t DcWindow(const uint8_t* slot) {
    const uint64_t low = LoadLittleEndian64(slot), high = LoadLittleEndian64(slot + 8);
    const uint32_t firstSetBit = TrailingZeros(low) + (TrailingZeros(high) & (0u - static_cast<uint32_t>(low == 0)));
    const uint32_t j = firstSetBit < 128 ? firstSetBit >> 3 : 15;  // an empty slot reads inside its bounds
    const uint32_t window = LoadLittleEndian32(slot + j);
    return (low | high) != 0 ? window : 0u;
}

FRAMEDEC_INLINE void DcEight(const uint8_t* slots, uint8_t* values) {
    const __m256i window = _mm256_setr_epi32(
        static_cast<int>(DcWindow(slots)), static_cast<int>(DcWindow(slots + 16)), static_cast<int>(DcWindow(slots + 32)),
        static_cast<int>(DcWindow(slots + 48)), static_cast<int>(DcWindow(slots + 64)), static_cast<int>(DcWindow(slots + 80)),
        static_cast<int>(DcWindow(slots + 96)), static_cast<int>(DcWindow(slots + 112)));
    const __m256i one = _mm256_set1_epi32(1);
    const __m256i empty = _mm256_cmpeq_epi32(window, _mm256_setzero_si256());
    const __m256i safeWindow = _mm256_or_si256(window, _mm256_and_si256(empty, one));  // no lane of zero
    // Bits past the window read as 0: a shift of 32 or more gives 0.
    const __m256i afterMarker = _mm256_srlv_epi32(safeWindow, _mm256_add_epi32(LaneTrailingZeros(safeWindow), one));
    const __m256i size = LaneTrailingZeros(_mm256_xor_si256(afterMarker, _mm256_set1_epi32(-1)));  // at most 31
    const __m256i sizeMask = _mm256_sub_epi32(_mm256_sllv_epi32(one, size), one);                 // 2^n - 1
    const __m256i magnitudeBits = _mm256_and_si256(_mm256_srlv_epi32(afterMarker, _mm256_add_epi32(size, one)), sizeMask);
    // The magnitude's last min(n, 8) bits, most significant first.
    const __m256i lastBits = _mm256_and_si256(_mm256_srlv_epi32(_mm256_slli_epi32(magnitudeBits, 8), size),
                                              _mm256_set1_epi32(0xFF));
    const __m256i magnitudeLow8 = ReverseBitsOfEachByte(lastBits);
    const __m256i negative = _mm256_sub_epi32(_mm256_and_si256(magnitudeBits, one), one);  // first bit 0
    const __m256i value = _mm256_sub_epi32(magnitudeLow8, _mm256_and_si256(sizeMask, negative));
    const __m256i shifted = _mm256_add_epi32(value, _mm256_set1_epi32(128));
    const __m256i result = _mm256_blendv_epi8(shifted, _mm256_set1_epi32(128), empty);
    // The low byte of each lane, in lane order.
    const __m256i gathered = _mm256_shuffle_epi8(result, _mm256_setr_epi8(0, 4, 8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                                                          -1, -1, -1, 0, 4, 8, 12, -1, -1, -1, -1, -1, -1,
                                                                          -1, -1, -1, -1, -1, -1));
    const __m128i bytes = _mm_unpacklo_epi32(_mm256_castsi256_si128(gathered), _mm256_extracti128_si256(gathered, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(values), bytes);
}

// A block's levels dequantised (the low 16 bits of each product); the levels are cleared for the
// next batch's lanes.
FRAMEDEC_INLINE BlockRows TakeDequantised(int16_t* levels, const __m256i* tableRows) {
    auto* rows = reinterpret_cast<__m256i*>(levels);
    BlockRows block;
    for (int r = 0; r < 4; ++r) {
        block.pair[r] = _mm256_mullo_epi16(_mm256_load_si256(rows + r), tableRows[r]);
        _mm256_store_si256(rows + r, _mm256_setzero_si256());
    }
    return block;
}

// Both passes of a block whose rows 6 and 7 are zero: rows 4 and 5 go through the first pass
// together, as they lie in the block, and their share of lines y and 7 - y is one multiply-add each.
FRAMEDEC_INLINE LineSums InverseTransformSixRows(const BlockRows& block) {
    const __m256i rows01 = block.pair[0], rows23 = block.pair[1];
    const __m256i pairs02 = InterleaveRows(FirstPass(_mm256_permute2x128_si256(rows01, rows23, 0x20)));
    const __m256i pairs13 = InterleaveRows(FirstPass(_mm256_permute2x128_si256(rows01, rows23, 0x31)));
    const __m256i pairs45 = InterleaveRows(FirstPass(block.pair[2]));
    LineSums sums;
    for (int y = 0; y < 4; ++y) {
        const __m256i even = _mm256_madd_epi16(pairs02, Load(kTransform.second02[y]));
        const __m256i odd = _mm256_madd_epi16(pairs13, Load(kTransform.second13[y]));
        const __m256i high = _mm256_madd_epi16(pairs45, Load(kTransform.second45[y]));
        const __m256i highMirrored = _mm256_madd_epi16(pairs45, Load(kTransform.second45[7 - y]));
        sums.upper[y] = _mm256_srai_epi32(_mm256_add_epi32(_mm256_add_epi32(even, odd), high), 16);
        sums.lower[y] = _mm256_srai_epi32(_mm256_add_epi32(_mm256_sub_epi32(even, odd), highMirrored), 16);
    }
    return sums;
}

FRAMEDEC_INLINE bool Zero(__m256i v) { return _mm256_testz_si256(v, v) != 0; }

// The block's kind follows from its last non-zero rows: all eight, six, four, two, or the DC alone.
FRAMEDEC_INLINE void TransformBlock(const BlockRows& block, uint8_t* pixels, std::size_t pitch) {
    LineSums sums;
    if (!Zero(block.pair[3])) {
        sums = InverseTransform<true>(block);
    } else if (!Zero(block.pair[2])) {
        sums = InverseTransformSixRows(block);
    } else if (!Zero(block.pair[1])) {
        sums = InverseTransform<false>(block);
    } else if (_mm256_testz_si256(block.pair[0], _mm256_setr_epi16(0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1)) == 0) {
        sums = InverseTransformTwoRows(block);
    } else {
        const __m256i sum = _mm256_set1_epi32(DcOnlySum(static_cast<int16_t>(_mm256_extract_epi16(block.pair[0], 0))));
        for (int y = 0; y < 4; ++y) sums.upper[y] = sums.lower[y] = sum;
    }
    StoreFourLines(PackFourLines(sums.upper[0], sums.upper[1], sums.upper[2], sums.upper[3]), pixels, pitch);
    StoreFourLines(PackFourLines(sums.lower[3], sums.lower[2], sums.lower[1], sums.lower[0]), pixels + 4 * pitch, pitch);
}

// Levels and start states of one batch; one block of levels past the batch is the lanes' scratch.
struct Batch {
    // Blocks per batch: enough that the sixteen lanes rarely idle at a batch's end, few enough that
    // the levels stay in the first-level cache.
    static constexpr uint32_t kBlocks = 128;

    alignas(64) int16_t levels[(kBlocks + 1) * kBlockPixels];
    alignas(32) uint32_t w0[kBlocks + kLaneStartPadding8], w1[kBlocks + kLaneStartPadding8],
        w2[kBlocks + kLaneStartPadding8], w3[kBlocks + kLaneStartPadding8];

    int16_t* Levels() { return levels; }
    LaneStarts Starts() { return {w0, w1, w2, w3}; }
    void ClearLevels(uint32_t blocks) {
        for (uint32_t b = 0; b < blocks; ++b) {
            auto* block = reinterpret_cast<__m256i*>(levels + b * kBlockPixels);
            for (int r = 0; r < 4; ++r) _mm256_store_si256(block + r, _mm256_setzero_si256());
            __asm__("" ::: "memory");  // four stores, not a call of memset for a few kilobytes
        }
    }
    void ReadStarts(const uint8_t* slots, uint32_t run, uint32_t first) { LaneStartStates8(slots, run, Starts(), first); }
    void Decode(uint32_t count) {
        // The entries after the batch's count, which the lanes' refills read.
        for (uint32_t* words : {w0, w1, w2, w3}) {
            for (uint32_t i = 0; i < kLaneStartPadding8; i += 8)
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(words + count + i), _mm256_setzero_si256());
        }
        DecodeLaneLevels8(Starts(), count, kBlockPixels, levels, kBlocks * kBlockPixels);
    }
};

// The table's rows, two to a register.
struct TableRows {
    __m256i pair[4];

    explicit TableRows(const uint16_t* table) {
        for (int r = 0; r < 4; ++r) pair[r] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(table + 16 * r));
    }
};

}  // namespace

void DecodeBlocksAvx2(const SlotSpan& span, const uint16_t* table, uint8_t* pixels, std::size_t pitch) {
    Batch batch;
    const TableRows rows(table);
    DecodeRunsToPixels<1>(span, batch, pixels, pitch, [&](auto, int16_t* levels, uint8_t* out) {
        TransformBlock(TakeDequantised(levels, rows.pair), out, pitch);
    });
}

void DecodeCoefficientBlocksAvx2(const uint8_t* slots, uint32_t count, const uint16_t* table, int16_t* coefficients) {
    Batch batch;
    const TableRows rows(table);
    ForEachRun(SlotSpan{slots, 0, count, 1}, batch, [&](int16_t* levels, uint32_t run, uint32_t column, uint32_t) {
        auto* out = reinterpret_cast<__m256i*>(coefficients + kBlockPixels * column);
        for (uint32_t i = 0; i < run; ++i, levels += kBlockPixels, out += 4) {
            const BlockRows block = TakeDequantised(levels, rows.pair);
            for (int r = 0; r < 4; ++r) _mm256_storeu_si256(out + r, block.pair[r]);
        }
    });
}

void DecodeDcBlocksAvx2(const uint8_t* slots, uint32_t count, uint8_t* values) {
    uint32_t i = 0;
    for (; i + 8 <= count; i += 8) DcEight(slots + 16 * i, values + i);
    FastDcBlocks(slots + 16 * i, count - i, values + i);
}

}  // namespace framedec
