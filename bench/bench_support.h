// Inputs shared by the benchmarks: the test photographs as compressed frames (table Q) and as
// quality-90 greyscale JPEGs, plus libjpeg-turbo decoders for the side-by-side comparison.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "libjpeg_codec.h"
#include "synth/pgm.h"

namespace framedec::bench {

struct BenchImage {
    std::string name;                // "astronaut", ...
    tools::GreyImage image;          // 1246 x 1024 source
    std::vector<uint8_t> frame;      // compressed frame, 1024 lines, table Q
    std::vector<uint8_t> jpeg;       // the same image as a quality-90 greyscale JPEG
};

// The four test photographs, loaded and encoded once.
const std::vector<BenchImage>& BenchImages();

// Registers run on one image as "label/image name", timed in wall-clock microseconds (and in the
// processor time of the calling thread, unless the caller asks for the whole process's).
using ImageBenchmark = std::function<void(benchmark::State&, const BenchImage&)>;
benchmark::internal::Benchmark* RegisterImageBenchmark(const std::string& label, const BenchImage& image,
                                                       ImageBenchmark run);

// Bytes of an image's JPEG decoded at scale 1/denominator.
std::size_t JpegOutputBytes(const BenchImage& image, unsigned denominator);

}  // namespace framedec::bench
