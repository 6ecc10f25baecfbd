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

// First pass over coefficient rows 2r and 2r + 1: returns [H_2r | H_2r+1] with H_v[x] = G[x][v].
FRAMEDEC_INLINE __m256i FirstPassPair(const int16_t* coefficients, int r) {
    const __m256i rows = _mm256_load_si256(reinterpret_cast<const __m256i*>(coefficients + 16 * r));
    const auto* low = reinterpret_cast<const __m256i*>(kFirstPass.low);
    const auto* high = reinterpret_cast<const __m256i*>(kFirstPass.high);
    const __m256i p0 = _mm256_shuffle_epi32(rows, 0x00);
    const __m256i p1 = _mm256_shuffle_epi32(rows, 0x55);
    const __m256i p2 = _mm256_shuffle_epi32(rows, 0xAA);
    const __m256i p3 = _mm256_shuffle_epi32(rows, 0xFF);
    const __m256i sumLow = _mm256_add_epi32(
        _mm256_add_epi32(_mm256_madd_epi16(p0, _mm256_load_si256(low + 0)), _mm256_madd_epi16(p1, _mm256_load_si256(low + 1))),
        _mm256_add_epi32(_mm256_madd_epi16(p2, _mm256_load_si256(low + 2)), _mm256_madd_epi16(p3, _mm256_load_si256(low + 3))));
    const __m256i sumHigh = _mm256_add_epi32(
        _mm256_add_epi32(_mm256_madd_epi16(p0, _mm256_load_si256(high + 0)), _mm256_madd_epi16(p1, _mm256_load_si256(high + 1))),
        _mm256_add_epi32(_mm256_madd_epi16(p2, _mm256_load_si256(high + 2)), _mm256_madd_epi16(p3, _mm256_load_si256(high + 3))));
    // Each t >> 16 lies in the 16-bit range, so the saturating pack is exact.
    return _mm256_packs_epi32(_mm256_srai_epi32(sumLow, 16), _mm256_srai_epi32(sumHigh, 16));
}

// [H_2q | H_2q+1] to (H_2q[x], H_2q+1[x]) pairs: x = 0..3 in the low lane, 4..7 in the high lane.
FRAMEDEC_INLINE __m256i InterleaveRowPair(__m256i rows) {
    const __m256i quads = _mm256_permute4x64_epi64(rows, 0xD8);
    return _mm256_shuffle_epi8(quads, _mm256_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15, 0, 1, 8, 9,
                                                       2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15));
}

// Line y of the second pass, + 128: 32-bit values, x = 0..3 in the low lane, 4..7 in the high lane.
FRAMEDEC_INLINE __m256i SecondPassLine(const __m256i* pairs, uint32_t pairCount, int y) {
    __m256i sum = _mm256_madd_epi16(pairs[0], _mm256_set1_epi32(SecondPassPair(y, 0)));
    for (uint32_t q = 1; q < pairCount; ++q)
        sum = _mm256_add_epi32(sum, _mm256_madd_epi16(pairs[q], _mm256_set1_epi32(SecondPassPair(y, static_cast<int>(q)))));
    return _mm256_add_epi32(_mm256_srai_epi32(sum, 16), _mm256_set1_epi32(128));
}

// Four lines to 32 clamped bytes in line order.
FRAMEDEC_INLINE __m256i PackFourLines(__m256i l0, __m256i l1, __m256i l2, __m256i l3) {
    const __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(l0, l1), _mm256_packs_epi32(l2, l3));
    return _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
}

// Writes four 8-pixel lines held in a register, pitch bytes apart.
FRAMEDEC_INLINE void StoreFourLines(__m256i lines, uint8_t* pixels, std::size_t pitch) {
    const __m128i first = _mm256_castsi256_si128(lines), second = _mm256_extracti128_si256(lines, 1);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(pixels), first);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(pixels + pitch), _mm_unpackhi_epi64(first, first));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(pixels + 2 * pitch), second);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(pixels + 3 * pitch), _mm_unpackhi_epi64(second, second));
}

template <uint32_t Pairs>
FRAMEDEC_INLINE void InverseTransform(const int16_t* coefficients, uint8_t* pixels, std::size_t pitch) {
    __m256i pairs[Pairs];
    for (uint32_t r = 0; r < Pairs; ++r) pairs[r] = InterleaveRowPair(FirstPassPair(coefficients, static_cast<int>(r)));
    const __m256i top = PackFourLines(SecondPassLine(pairs, Pairs, 0), SecondPassLine(pairs, Pairs, 1),
                                      SecondPassLine(pairs, Pairs, 2), SecondPassLine(pairs, Pairs, 3));
    const __m256i bottom = PackFourLines(SecondPassLine(pairs, Pairs, 4), SecondPassLine(pairs, Pairs, 5),
                                         SecondPassLine(pairs, Pairs, 6), SecondPassLine(pairs, Pairs, 7));
    StoreFourLines(top, pixels, pitch);
    StoreFourLines(bottom, pixels + 4 * pitch, pitch);
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
    // The magnitude's last min(n, 8) bits, most significant first, via a byte reversal of nibbles.
    const __m256i lastBits = _mm256_and_si256(_mm256_srlv_epi32(_mm256_slli_epi32(magnitudeBits, 8), size),
                                              _mm256_set1_epi32(0xFF));
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i reverseLow = _mm256_setr_epi8(0x00, -0x80, 0x40, -0x40, 0x20, -0x60, 0x60, -0x20, 0x10, -0x70, 0x50,
                                                -0x30, 0x30, -0x50, 0x70, -0x10, 0x00, -0x80, 0x40, -0x40, 0x20, -0x60,
                                                0x60, -0x20, 0x10, -0x70, 0x50, -0x30, 0x30, -0x50, 0x70, -0x10);
    const __m256i reverseHigh = _mm256_setr_epi8(0x0, 0x8, 0x4, 0xC, 0x2, 0xA, 0x6, 0xE, 0x1, 0x9, 0x5, 0xD, 0x3, 0xB, 0x7,
                                                 0xF, 0x0, 0x8, 0x4, 0xC, 0x2, 0xA, 0x6, 0xE, 0x1, 0x9, 0x5, 0xD, 0x3, 0xB,
                                                 0x7, 0xF);
    const __m256i magnitudeLow8 =
        _mm256_or_si256(_mm256_shuffle_epi8(reverseLow, _mm256_and_si256(lastBits, nibble)),
                        _mm256_shuffle_epi8(reverseHigh, _mm256_and_si256(_mm256_srli_epi32(lastBits, 4), nibble)));
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

// Dequantises one block of levels in place (low 16 bits of each product).
FRAMEDEC_INLINE void DequantiseBlock(int16_t* coefficients, const __m256i* tableRows) {
    auto* rows = reinterpret_cast<__m256i*>(coefficients);
    for (int r = 0; r < 4; ++r) _mm256_store_si256(rows + r, _mm256_mullo_epi16(_mm256_load_si256(rows + r), tableRows[r]));
}

// How many leading coefficient row pairs hold a non-zero value; 0 when at most the DC does.
FRAMEDEC_INLINE uint32_t RowPairsInUse(const int16_t* coefficients) {
    const auto* rows = reinterpret_cast<const __m256i*>(coefficients);
    for (uint32_t r = 3; r > 0; --r) {
        const __m256i pair = _mm256_load_si256(rows + r);
        if (!_mm256_testz_si256(pair, pair)) return r + 1;
    }
    const __m256i first = _mm256_load_si256(rows);
    const __m256i withoutDc = _mm256_setr_epi16(0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    return _mm256_testz_si256(first, withoutDc) ? 0u : 1u;
}

FRAMEDEC_INLINE void TransformBlock(const int16_t* coefficients, uint8_t* pixels, std::size_t pitch) {
    switch (RowPairsInUse(coefficients)) {
        case 0: FillBlock(DcOnlyPixel(coefficients[0]), pixels, pitch); break;
        case 1: InverseTransform<1>(coefficients, pixels, pitch); break;
        case 2: InverseTransform<2>(coefficients, pixels, pitch); break;
        case 3: InverseTransform<3>(coefficients, pixels, pitch); break;
        default: InverseTransform<4>(coefficients, pixels, pitch); break;
    }
}

// Blocks per batch: enough that the sixteen lanes rarely idle at a batch's end, few enough that the
// levels stay in the first-level cache.
constexpr uint32_t kBatchBlocks = 128;

// Levels and start states of one batch; one block of levels past the batch is the lanes' scratch.
struct Batch {
    alignas(64) int16_t levels[(kBatchBlocks + 1) * kBlockPixels];
    alignas(32) uint32_t w0[kBatchBlocks], w1[kBatchBlocks], w2[kBatchBlocks], w3[kBatchBlocks];

    LaneStarts Starts() { return {w0, w1, w2, w3}; }
};

// Decodes a span batch by batch and hands every block's dequantised coefficients, in span order
// (row after row), to use(coefficients, column, row).
template <typename Use>
FRAMEDEC_INLINE void ForEachBlock(const SlotSpan& span, const uint16_t* table, Use use) {
    Batch batch;
    __m256i tableRows[4];
    for (int r = 0; r < 4; ++r) tableRows[r] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(table + 16 * r));
    const uint64_t total = uint64_t{span.columns} * span.rows;
    uint32_t row = 0, column = 0;  // the batch's first block
    for (uint64_t first = 0; first < total; first += kBatchBlocks) {
        const auto count = static_cast<uint32_t>(total - first < kBatchBlocks ? total - first : kBatchBlocks);
        for (uint32_t i = 0, r = row, c = column; i < count; ++i) {
            PutLaneStart(batch.Starts(), i, StartSlotX86(span.slots + r * span.slotPitch + 16 * c));
            if (++c == span.columns) c = 0, ++r;
        }
        const __m256i zero = _mm256_setzero_si256();
        for (uint32_t i = 0; i < count * kBlockPixels; i += 16)
            _mm256_store_si256(reinterpret_cast<__m256i*>(batch.levels + i), zero);
        DecodeLaneLevels8(batch.Starts(), count, kBlockPixels, batch.levels, kBatchBlocks * kBlockPixels);
        for (uint32_t b = 0; b < count; ++b) {
            int16_t* coefficients = batch.levels + b * kBlockPixels;
            DequantiseBlock(coefficients, tableRows);
            use(coefficients, column, row);
            if (++column == span.columns) column = 0, ++row;
        }
    }
}

}  // namespace

void DecodeBlocksAvx2(const SlotSpan& span, const uint16_t* table, uint8_t* pixels, std::size_t pitch) {
    ForEachBlock(span, table, [&](const int16_t* coefficients, uint32_t column, uint32_t row) {
        TransformBlock(coefficients, pixels + 8 * row * pitch + 8 * column, pitch);
    });
}

void DecodeCoefficientBlocksAvx2(const uint8_t* slots, uint32_t count, const uint16_t* table, int16_t* coefficients) {
    ForEachBlock(SlotSpan{slots, 0, count, 1}, table, [&](const int16_t* block, uint32_t column, uint32_t) {
        auto* out = reinterpret_cast<__m256i*>(coefficients + kBlockPixels * column);
        for (int r = 0; r < 4; ++r) _mm256_storeu_si256(out + r, _mm256_load_si256(reinterpret_cast<const __m256i*>(block) + r));
    });
}

void DecodeDcBlocksAvx2(const uint8_t* slots, uint32_t count, uint8_t* values) {
    uint32_t i = 0;
    for (; i + 8 <= count; i += 8) DcEight(slots + 16 * i, values + i);
    FastDcBlocks(slots + 16 * i, count - i, values + i);
}

}  // namespace framedec
