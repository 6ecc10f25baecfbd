// The decode pipeline shared by the vectorised variants, instantiated in each variant's source
// file with that variant's operations (and compiled with its instruction set; everything here
// has internal linkage).
//
// Slots are taken in chunks: first the streams of the whole chunk are read, two slots at a time
// so that their dependency chains interleave, then every block of the chunk is transformed. The
// transform thus reads coefficients whose stores have long completed.
//
// A Variant provides:
//   static StreamCursor StartSlot(const uint8_t* slot);             bit-reverse and find the marker
//   static void Zero(int16_t* coefficients, uint32_t blocks);        clear blocks of coefficients
//   static void Dequantise(int16_t* coefficients, uint32_t blocks, const uint16_t* table);
//       multiply each block's levels by the table in place, keeping the low 16 bits
//   template <uint32_t Pairs> static void Transform(const int16_t* coefficients, uint8_t* pixels,
//                                                   size_t pitch);
//       both passes over the first Pairs coefficient row pairs (the others are zero), the 8 lines
//       written pitch bytes apart; coefficients 64-byte aligned
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "codec/block_decoder.h"
#include "codec/frame_geometry.h"
#include "codec/stream_decoder.h"

namespace framedec {
namespace {

// The second-pass sum >> 16, the same for every pixel, of a block whose only non-zero coefficient
// is the (dequantised) DC: both passes reduce to one product each, t = B[x][0] * dc with
// B[x][0] = 23170 for every x, then s = B[y][0] * (t >> 16), and neither sum can wrap.
FRAMEDEC_INLINE int32_t DcOnlySum(int16_t dc) {
    const int32_t g = (23170 * int32_t{dc}) >> 16;
    return (23170 * g) >> 16;
}

// The pixel value of such a block.
FRAMEDEC_INLINE uint8_t DcOnlyPixel(int16_t dc) {
    const int32_t p = DcOnlySum(dc) + 128;
    return static_cast<uint8_t>(p < 0 ? 0 : p > 255 ? 255 : p);
}

constexpr uint32_t kChunkBlocks = 16;

// For a block whose last non-zero level is at zigzag position k: how many leading coefficient row
// pairs can hold a non-zero value (the others are zero and skipped by the transform).
struct RowPairsTable {
    uint8_t pairs[64];
};

constexpr RowPairsTable MakeRowPairs() {
    RowPairsTable t{};
    uint32_t highestRow = 0;
    for (uint32_t k = 0; k < 64; ++k) {
        const uint32_t row = kZigzag[k] / 8u;
        highestRow = row > highestRow ? row : highestRow;
        t.pairs[k] = static_cast<uint8_t>(highestRow / 2 + 1);
    }
    return t;
}

constexpr RowPairsTable kRowPairs = MakeRowPairs();

// Where the blocks of a chunk come from and go to: a span is taken row after row, so a chunk may
// run from the end of one row into the next.
struct ChunkBlocks {
    const uint8_t* slots[kChunkBlocks];
    uint8_t* pixels[kChunkBlocks];
    uint32_t count = 0;
};

// Output lines and slots fetched into the cache a little before they are needed. A host decodes
// into buffers that left the cache long ago (a ring of frame buffers), and the 8-byte pieces of a
// block's lines then each wait for their line to come from memory; fetched a block row early, the
// lines are in cache when the pieces arrive, and the slots are when the next batch reads them.
constexpr uint32_t kOutputRowsAhead = 1;
constexpr uint32_t kSlotRowsAhead = 2;

// For block (column, row) of a span as it is written: at every eighth column, the cache line of
// the block's first byte in each of the eight output lines of the block row kOutputRowsAhead
// below, and at the span's last column the cache line of its last byte (a narrow span, such as a
// strip of 5 blocks, ends in a cache line that no eighth column reaches); at every fourth column,
// the slots kSlotRowsAhead block rows on. Only what the decode itself will read or write is fetched.
// What is fixed for a block row is worked out once per row, so a block that is not a fourth
// one costs one test.
struct RowFetchAhead {
    uint8_t* outputAhead;       // the output row kOutputRowsAhead below, at column 0; null past the span
    const uint8_t* slotsAhead;  // the slot row kSlotRowsAhead on, at column 0; null past the span
    std::size_t pitch;

    FRAMEDEC_INLINE RowFetchAhead(const SlotSpan& span, uint8_t* pixels, std::size_t linePitch, uint32_t row)
        : outputAhead(row + kOutputRowsAhead < span.rows ? pixels + kBlockSize * (row + kOutputRowsAhead) * linePitch
                                                         : nullptr),
          slotsAhead(row + kSlotRowsAhead < span.rows ? span.slots + (row + kSlotRowsAhead) * span.slotPitch : nullptr),
          pitch(linePitch) {}

    FRAMEDEC_INLINE void Fetch(uint32_t column) const {
        if (column % 4 != 0) return;
        if (slotsAhead != nullptr) __builtin_prefetch(slotsAhead + kSlotBytes * column, 0, 3);
        if (column % 8 == 0 && outputAhead != nullptr) FetchLines(outputAhead + kBlockSize * column);
    }
    // After the row's last block.
    FRAMEDEC_INLINE void FetchRowEnd(uint32_t columns) const {
        if (outputAhead != nullptr) FetchLines(outputAhead + kBlockSize * columns - 1);
    }
    FRAMEDEC_INLINE void FetchLines(uint8_t* first) const {
        for (uint32_t k = 0; k < kBlockSize; ++k) __builtin_prefetch(first + k * pitch, 1, 3);
    }
};

FRAMEDEC_INLINE void FetchAhead(const SlotSpan& span, uint8_t* pixels, std::size_t pitch, uint32_t column, uint32_t row) {
    const bool rowEnd = column + 1 == span.columns;
    if (column % 4 != 0 && !rowEnd) return;
    const RowFetchAhead ahead(span, pixels, pitch, row);
    if (rowEnd) ahead.FetchRowEnd(span.columns);
    ahead.Fetch(column);
}

// The batch walk of the lane decoders (AVX2, AVX-512): a span is decoded batch by batch, and the
// blocks are handed over in span order (row after row) to use(levels, run, column, row), one run of
// a row's consecutive blocks at a time: the levels of the run's blocks (kBlockPixels apart, natural
// order), the first block's column and its row. The lanes store only non-zero levels, so use must
// clear each block it takes: the first batch's blocks start cleared, and the next batch is no larger.
// A Batch provides:
//   static constexpr uint32_t kBlocks;                blocks per batch
//   int16_t* Levels();                                 the batch's levels, block after block
//   void ClearLevels(uint32_t blocks);                 clear the first blocks' levels
//   void ReadStarts(const uint8_t* slots, uint32_t run, uint32_t first);
//       the start states of run consecutive slots, as the batch's blocks first on
//   void Decode(uint32_t count);                       the levels of the batch's first count blocks
template <typename Batch, typename Use>
FRAMEDEC_INLINE void ForEachRun(const SlotSpan& span, Batch& batch, Use use) {
    const uint64_t total = uint64_t{span.columns} * span.rows;
    batch.ClearLevels(static_cast<uint32_t>(total < Batch::kBlocks ? total : Batch::kBlocks));
    uint32_t row = 0, column = 0;  // the batch's first block
    for (uint64_t first = 0; first < total; first += Batch::kBlocks) {
        const auto count = static_cast<uint32_t>(total - first < Batch::kBlocks ? total - first : Batch::kBlocks);
        // Start states, one run of consecutive slots (a row's part) at a time.
        for (uint32_t done = 0, r = row, c = column; done < count;) {
            const uint32_t run = span.columns - c < count - done ? span.columns - c : count - done;
            batch.ReadStarts(span.slots + r * span.slotPitch + kSlotBytes * c, run, done);
            done += run;
            c += run;
            if (c == span.columns) c = 0, ++r;
        }
        batch.Decode(count);
        for (uint32_t done = 0; done < count;) {
            const uint32_t run = span.columns - column < count - done ? span.columns - column : count - done;
            use(batch.Levels() + done * kBlockPixels, run, column, row);
            done += run;
            column += run;
            if (column == span.columns) column = 0, ++row;
        }
    }
}

// The rest of a run shorter than a group, as the halves its bits name: rest = 5 with Half = 4
// takes 4 blocks, then 1.
template <uint32_t Half, typename Take>
FRAMEDEC_INLINE void TakeRest(uint32_t rest, Take take) {
    if constexpr (Half > 0) {
        if ((rest & Half) != 0) take(std::integral_constant<uint32_t, Half>{});
        TakeRest<Half / 2>(rest, take);
    }
}

// The pixel blocks of a span through ForEachRun, Widest (a power of two) side by side where a run
// allows: decodeGroup(blocks, levels, pixels) decodes blocks (a std::integral_constant: Widest, or
// the halves down to 1 that a run's rest takes) consecutive blocks of a row from their levels, clears
// those levels and writes their lines, pitch bytes apart. The output rows ahead are fetched once per row.
template <uint32_t Widest, typename Batch, typename DecodeGroup>
FRAMEDEC_INLINE void DecodeRunsToPixels(const SlotSpan& span, Batch& batch, uint8_t* pixels, std::size_t pitch,
                                        DecodeGroup decodeGroup) {
    static_assert(Widest > 0 && (Widest & (Widest - 1)) == 0, "groups halve down to single blocks");
    ForEachRun(span, batch, [&](int16_t* levels, uint32_t run, uint32_t column, uint32_t row) {
        const RowFetchAhead ahead(span, pixels, pitch, row);
        uint8_t* out = pixels + kBlockSize * (row * pitch + column);
        const auto take = [&](auto blocks) {
            decodeGroup(blocks, levels, out);
            for (uint32_t i = 0; i < blocks.value; ++i) ahead.Fetch(column + i);
            levels += blocks.value * kBlockPixels;
            out += blocks.value * kBlockSize;
            column += blocks.value;
        };
        for (uint32_t left = run; left >= Widest; left -= Widest) take(std::integral_constant<uint32_t, Widest>{});
        TakeRest<Widest / 2>(run % Widest, take);
        if (column == span.columns) ahead.FetchRowEnd(span.columns);
    });
}

template <typename Variant>
FRAMEDEC_INLINE void ReadChunk(const uint8_t* const* slots, uint32_t count, const uint16_t* table,
                               int16_t* coefficients, StreamSummary* summaries) {
    Variant::Zero(coefficients, count);
    alignas(64) uint8_t zigzag[64];
    std::memcpy(zigzag, kZigzag, sizeof zigzag);
    uint32_t i = 0;
    for (; i + 1 < count; i += 2) {
        DecodeStreamPair(Variant::StartSlot(slots[i]), Variant::StartSlot(slots[i + 1]), coefficients + 64 * i,
                         coefficients + 64 * (i + 1), zigzag, summaries[i], summaries[i + 1]);
    }
    if (i < count) DecodeStream(Variant::StartSlot(slots[i]), coefficients + 64 * i, zigzag, summaries[i]);
    Variant::Dequantise(coefficients, count, table);
}

FRAMEDEC_INLINE void FillBlock(uint8_t value, uint8_t* pixels, std::size_t pitch) {
    const uint64_t line = 0x0101010101010101ull * value;
    for (int k = 0; k < 8; ++k) std::memcpy(pixels + k * pitch, &line, 8);
}

template <typename Variant>
FRAMEDEC_INLINE void TransformBlock(const int16_t* coefficients, StreamSummary summary, uint8_t* pixels,
                                    std::size_t pitch) {
    if (summary.lastCode == 0) {
        FillBlock(DcOnlyPixel(coefficients[0]), pixels, pitch);
        return;
    }
    switch (kRowPairs.pairs[summary.lastCode]) {
        case 1: Variant::template Transform<1>(coefficients, pixels, pitch); break;
        case 2: Variant::template Transform<2>(coefficients, pixels, pitch); break;
        case 3: Variant::template Transform<3>(coefficients, pixels, pitch); break;
        default: Variant::template Transform<4>(coefficients, pixels, pitch); break;
    }
}

template <typename Variant>
FRAMEDEC_INLINE void DecodeBlocksWith(const SlotSpan& span, const uint16_t* table, uint8_t* pixels, std::size_t pitch) {
    alignas(64) int16_t coefficients[kChunkBlocks * 64];
    StreamSummary summaries[kChunkBlocks];
    ChunkBlocks chunk;
    const auto flush = [&] {
        ReadChunk<Variant>(chunk.slots, chunk.count, table, coefficients, summaries);
        for (uint32_t i = 0; i < chunk.count; ++i)
            TransformBlock<Variant>(coefficients + 64 * i, summaries[i], chunk.pixels[i], pitch);
        chunk.count = 0;
    };
    for (uint32_t j = 0; j < span.rows; ++j) {
        const uint8_t* rowSlots = span.slots + j * span.slotPitch;
        uint8_t* rowPixels = pixels + 8 * j * pitch;
        for (uint32_t i = 0; i < span.columns; ++i) {
            FetchAhead(span, pixels, pitch, i, j);
            chunk.slots[chunk.count] = rowSlots + 16 * i;
            chunk.pixels[chunk.count] = rowPixels + 8 * i;
            if (++chunk.count == kChunkBlocks) flush();
        }
    }
    if (chunk.count > 0) flush();
}

template <typename Variant>
FRAMEDEC_INLINE void DecodeCoefficientBlocksWith(const uint8_t* slots, uint32_t count, const uint16_t* table,
                                                 int16_t* coefficients) {
    StreamSummary summaries[kChunkBlocks];
    for (uint32_t base = 0; base < count; base += kChunkBlocks) {
        const uint32_t n = count - base < kChunkBlocks ? count - base : kChunkBlocks;
        const uint8_t* chunkSlots[kChunkBlocks];
        for (uint32_t i = 0; i < n; ++i) chunkSlots[i] = slots + 16 * (base + i);
        ReadChunk<Variant>(chunkSlots, n, table, coefficients + 64 * base, summaries);
    }
}

}  // namespace
}  // namespace framedec
