// Whole-frame CPU decodes of the test photographs, side by side with libjpeg-turbo decoding the
// same pictures (quality-90 greyscale JPEG) in full and at scale 1/8.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench_support.h"
#include "codec/block_decoder.h"
#include "codec/frame_geometry.h"
#include "codec/quant_table_q.h"
#include "framedec.h"
#include "ratio_report.h"

namespace framedec::bench {
namespace {

void RunDecodeData(benchmark::State& state, const BenchImage& b) {
    std::vector<uint8_t> out(std::size_t{kMaxImageWidth} * kMaxImageHeight);
    for (auto _ : state) {
        DecodeData(out.data(), 0, 0, kMaxImageWidth, kMaxImageHeight, kMaxImageWidth, b.frame.data(), kTableQ);
        benchmark::DoNotOptimize(out.data());
    }
}

void RunDecodeDataWith(benchmark::State& state, const BenchImage& b, const BlockDecoder* variant) {
    const BlockDecoder& previous = ActiveBlockDecoder();
    SelectBlockDecoder(variant->name);
    RunDecodeData(state, b);
    SelectBlockDecoder(previous.name);
}

void RunDecodeDCTData(benchmark::State& state, const BenchImage& b) {
    std::vector<int16_t> out(std::size_t{kPaddedImageWidth} * kMaxImageHeight);
    for (auto _ : state) {
        DecodeDCTData(out.data(), 0, 0, kPaddedImageWidth, kMaxImageHeight, 2 * kPaddedImageWidth, b.frame.data(),
                      kTableQ);
        benchmark::DoNotOptimize(out.data());
    }
}

void RunDecodeDCData(benchmark::State& state, const BenchImage& b) {
    std::vector<uint8_t> out(std::size_t{kSlotsPerRow} * kMaxBlockRows);
    for (auto _ : state) {
        DecodeDCData(out.data(), 0, 0, kSlotsPerRow, kMaxBlockRows, b.frame.data());
        benchmark::DoNotOptimize(out.data());
    }
}

void RunJpeg(benchmark::State& state, const BenchImage& b, unsigned denominator) {
    std::vector<uint8_t> out;
    for (auto _ : state) {
        if (!DecodeJpeg(b.jpeg, denominator, out)) state.SkipWithError("libjpeg-turbo failed");
        benchmark::DoNotOptimize(out.data());
    }
}

const bool kRegistered = [] {
    for (const BenchImage& b : BenchImages()) {
        const auto add = [&](const std::string& label, ImageBenchmark run) { RegisterImageBenchmark(label, b, std::move(run)); };
        add("DecodeData", RunDecodeData);
        add("DecodeDCTData", RunDecodeDCTData);
        add("DecodeDCData", RunDecodeDCData);
        add("libjpeg_full", [](benchmark::State& s, const BenchImage& i) { RunJpeg(s, i, 1); });
        add("libjpeg_scale8", [](benchmark::State& s, const BenchImage& i) { RunJpeg(s, i, 8); });
        for (const BlockDecoder& variant : BlockDecoders()) {
            if (!variant.supported()) continue;
            add(std::string("DecodeData.") + variant.name,
                [v = &variant](benchmark::State& s, const BenchImage& i) { RunDecodeDataWith(s, i, v); });
        }
    }
    AddRatio("DecodeData", "libjpeg_full", "target <= 0.30");
    for (const BlockDecoder& variant : BlockDecoders()) {
        if (variant.supported()) AddRatio(std::string("DecodeData.") + variant.name, "libjpeg_full", "");
    }
    AddRatio("DecodeDCTData", "libjpeg_full", "");
    AddRatio("DecodeDCData", "libjpeg_scale8", "target <= 0.02");
    AddRatio("DecodeData", "DecodeData.scalar", "vectorised / portable");
    return true;
}();

}  // namespace
}  // namespace framedec::bench
