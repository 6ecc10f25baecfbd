#include "bench_support.h"

#include <jpeglib.h>

#include <cstdio>
#include <stdexcept>
#include <utility>

#include "synth/frame_synth.h"

namespace framedec::bench {
namespace {

std::vector<uint8_t> EncodeJpeg(const tools::GreyImage& image, int quality) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = image.width;
    cinfo.image_height = image.height;
    cinfo.input_components = 1;
    cinfo.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(image.pixels.data() + std::size_t{cinfo.next_scanline} * image.width);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

}  // namespace

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
            b.jpeg = EncodeJpeg(b.image, 90);
            list.push_back(std::move(b));
        }
        return list;
    }();
    return images;
}

bool DecodeJpeg(const uint8_t* jpeg, std::size_t size, unsigned denominator, uint8_t* pixels) {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg, static_cast<unsigned long>(size));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    cinfo.out_color_space = JCS_GRAYSCALE;
    cinfo.scale_num = 1;
    cinfo.scale_denom = denominator;
    cinfo.dct_method = JDCT_ISLOW;
    jpeg_start_decompress(&cinfo);
    const std::size_t stride = cinfo.output_width;
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = pixels + std::size_t{cinfo.output_scanline} * stride;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

std::size_t JpegOutputBytes(const BenchImage& image, unsigned denominator) {
    // libjpeg rounds scaled sizes up.
    const std::size_t width = (image.image.width + denominator - 1) / denominator;
    const std::size_t height = (image.image.height + denominator - 1) / denominator;
    return width * height;
}

void RegisterImageBenchmark(const std::string& label, const BenchImage& image, ImageBenchmark run) {
    benchmark::RegisterBenchmark((label + "/" + image.name).c_str(), std::move(run), std::cref(image))
        ->Unit(benchmark::kMicrosecond)
        ->UseRealTime();
}

}  // namespace framedec::bench
