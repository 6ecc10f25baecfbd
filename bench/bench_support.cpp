#include "bench_support.h"

#include <cstdio>
#include <stdexcept>
#include <utility>

#include "synth/frame_synth.h"

namespace framedec::bench {

const std::vector<BenchImage>& BenchImages() {
    static const std::vector<BenchImage> images = [] {
        std::vector<BenchImage> list;
        for (const char* name : {"astronaut", "hubble", "rocket", "gravel"}) {
            BenchImage b;
            b.name = name;
            std::string error;
            if (!tools::ReadPgm(std::string(FRAMEDEC_DATA_DIR) + "/" + name + ".pgm", b.image, error))
                throw std::runtime_error(error);
            tools::SynthOptions options;
            options.seed = list.size() + 1;
            b.frame = tools::SynthesizeFrame(b.image, options);
            b.jpeg = EncodeGreyJpeg(b.image.pixels.data(), b.image.width, b.image.height, 90);
            list.push_back(std::move(b));
        }
        return list;
    }();
    return images;
}

std::size_t JpegOutputBytes(const BenchImage& image, unsigned denominator) {
    // libjpeg rounds scaled sizes up.
    const std::size_t width = (image.image.width + denominator - 1) / denominator;
    const std::size_t height = (image.image.height + denominator - 1) / denominator;
    return width * height;
}

benchmark::internal::Benchmark* RegisterImageBenchmark(const std::string& label, const BenchImage& image,
                                                       ImageBenchmark run) {
    return benchmark::RegisterBenchmark((label + "/" + image.name).c_str(), std::move(run), std::cref(image))
        ->Unit(benchmark::kMicrosecond)
        ->UseRealTime();
}

}  // namespace framedec::bench
