// Whole-frame CPU decodes of the test photographs, side by side with libjpeg-turbo decoding the
// same pictures (quality-90 greyscale JPEG) in full and at scale 1/8. Each decode runs twice:
// warm, into one output buffer that stays in cache, and as a stream, each frame from memory of its
// own into the next buffer of a ring larger than every cache (stream_ring.h), as a host
// decoding a recording has it: frame and output come from memory, not from a cache. Each variant
// is also timed through the output-path control of staged_region.h.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_support.h"
#include "codec/block_decoder.h"
#include "codec/frame_geometry.h"
#include "codec/quant_table_q.h"
#include "framedec.h"
#include "ratio_report.h"
#include "staged_region.h"
#include "stream_ring.h"

namespace framedec::bench {
namespace {

// One whole-frame decode: its input (the image's compressed frame or its JPEG), the bytes it
// writes, and the call; false when the call failed.
struct Operation {
    const char* label;
    bool jpegInput;
    std::size_t (*outputBytes)(const BenchImage&);
    bool (*decode)(const uint8_t* input, std::size_t inputBytes, uint8_t* output);
};

std::size_t PixelBytes(const BenchImage&) { return std::size_t{kMaxImageWidth} * kMaxImageHeight; }
std::size_t CoefficientBytes(const BenchImage&) { return std::size_t{kPaddedImageWidth} * kMaxImageHeight * 2; }
std::size_t PreviewBytes(const BenchImage&) { return std::size_t{kSlotsPerRow} * kMaxBlockRows; }

const Operation kOperations[] = {
    {"DecodeData", false, PixelBytes,
     [](const uint8_t* frame, std::size_t, uint8_t* out) {
         return DecodeData(out, 0, 0, kMaxImageWidth, kMaxImageHeight, kMaxImageWidth, frame, kTableQ) == FRAMEDEC_OK;
     }},
    {"DecodeDCTData", false, CoefficientBytes,
     [](const uint8_t* frame, std::size_t, uint8_t* out) {
         return DecodeDCTData(reinterpret_cast<int16_t*>(out), 0, 0, kPaddedImageWidth, kMaxImageHeight,
                              2 * kPaddedImageWidth, frame, kTableQ) == FRAMEDEC_OK;
     }},
    {"DecodeDCData", false, PreviewBytes,
     [](const uint8_t* frame, std::size_t, uint8_t* out) {
         return DecodeDCData(out, 0, 0, kSlotsPerRow, kMaxBlockRows, frame) == FRAMEDEC_OK;
     }},
    {"libjpeg_full", true, [](const BenchImage& b) { return JpegOutputBytes(b, 1); },
     [](const uint8_t* jpeg, std::size_t bytes, uint8_t* out) { return DecodeJpeg(jpeg, bytes, 1, out); }},
    {"libjpeg_scale8", true, [](const BenchImage& b) { return JpegOutputBytes(b, 8); },
     [](const uint8_t* jpeg, std::size_t bytes, uint8_t* out) { return DecodeJpeg(jpeg, bytes, 8, out); }},
};
const Operation& kDecodeData = kOperations[0];
// The output-path control (staged_region.h), timed per variant only.
const Operation kStagedDecodeData = {"DecodeData.staged", false, PixelBytes,
                                     [](const uint8_t* frame, std::size_t, uint8_t* out) {
                                         StagedDecodeData(out, kMaxImageWidth, kMaxImageHeight, kMaxImageWidth, frame, kTableQ);
                                         return true;
                                     }};

const std::vector<uint8_t>& InputOf(const Operation& op, const BenchImage& b) { return op.jpegInput ? b.jpeg : b.frame; }

void RunWarm(benchmark::State& state, const BenchImage& b, const Operation& op) {
    const std::vector<uint8_t>& input = InputOf(op, b);
    std::vector<uint8_t> out(op.outputBytes(b));
    for (auto _ : state) {
        if (!op.decode(input.data(), input.size(), out.data())) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(out.data());
    }
}

void RunStream(benchmark::State& state, const BenchImage& b, const Operation& op) {
    const std::vector<uint8_t>& input = InputOf(op, b);
    StreamRing ring(input, op.outputBytes(b));
    for (auto _ : state) {
        const StreamRing::Entry e = ring.Next();
        if (!op.decode(e.input, input.size(), e.output)) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(e.output);
    }
}

// A run of op with one block-decoder variant made active for its duration.
ImageBenchmark WithVariant(const BlockDecoder* variant, void (*run)(benchmark::State&, const BenchImage&, const Operation&),
                           const Operation& op = kDecodeData) {
    return [variant, run, &op](benchmark::State& state, const BenchImage& b) {
        const BlockDecoder& previous = ActiveBlockDecoder();
        SelectBlockDecoder(variant->name);
        run(state, b, op);
        SelectBlockDecoder(previous.name);
    };
}

const bool kRegistered = [] {
    for (const BenchImage& b : BenchImages()) {
        for (const Operation& op : kOperations) {
            RegisterImageBenchmark(op.label, b, [&op](benchmark::State& s, const BenchImage& i) { RunWarm(s, i, op); });
            RegisterImageBenchmark(std::string(op.label) + ".stream", b,
                                   [&op](benchmark::State& s, const BenchImage& i) { RunStream(s, i, op); });
        }
        for (const BlockDecoder& variant : BlockDecoders()) {
            if (!variant.supported()) continue;
            const std::string label = std::string("DecodeData.") + variant.name;
            RegisterImageBenchmark(label, b, WithVariant(&variant, RunWarm));
            RegisterImageBenchmark(label + ".stream", b, WithVariant(&variant, RunStream));
            RegisterImageBenchmark(label + ".staged", b, WithVariant(&variant, RunWarm, kStagedDecodeData));
            RegisterImageBenchmark(label + ".staged.stream", b, WithVariant(&variant, RunStream, kStagedDecodeData));
        }
    }
    std::printf("stream: a ring of %.0f MB (twice the largest cache reported, %zu KiB)\n", StreamRingBytes() / 1e6,
                LargestCacheBytes() >> 10);

    AddRatio("DecodeData.stream", "libjpeg_full.stream", "fastest variant");
    for (const BlockDecoder& variant : BlockDecoders()) {
        if (!variant.supported()) continue;
        const std::string label = std::string("DecodeData.") + variant.name;
        const std::string name = variant.name;
        AddRatio(label + ".stream", "libjpeg_full.stream",
                 name == "avx2" ? "target <= 0.25" : name == "avx512" ? "target <= 0.18" : "");
    }
    for (const BlockDecoder& variant : BlockDecoders()) {
        if (!variant.supported()) continue;
        const std::string label = std::string("DecodeData.") + variant.name;
        AddRatio(label + ".stream", label, "stream / warm, target <= 1.2");
    }
    for (const BlockDecoder& variant : BlockDecoders()) {
        if (!variant.supported()) continue;
        const std::string label = std::string("DecodeData.") + variant.name;
        AddRatio(label + ".stream", label + ".staged.stream", "straight writes / stage, stream");
    }
    AddRatio("DecodeDCTData.stream", "DecodeDCTData", "stream / warm");
    AddRatio("DecodeDCData.stream", "libjpeg_scale8.stream", "target <= 0.02");
    AddRatio("DecodeDCData.stream", "DecodeDCData", "stream / warm");
    AddRatio("libjpeg_full.stream", "libjpeg_full", "stream / warm");
    AddRatio("DecodeData", "libjpeg_full", "warm");
    AddRatio("DecodeDCData", "libjpeg_scale8", "warm");
    AddRatio("DecodeData", "DecodeData.scalar", "vectorised / portable, warm");
    return true;
}();

}  // namespace
}  // namespace framedec::bench
