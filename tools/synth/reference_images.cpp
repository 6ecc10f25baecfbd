#include "synth/reference_images.h"

#include <algorithm>
#include <cmath>

#include "codec/frame_geometry.h"
#include "synth/frame_synth.h"

namespace framedec::tools {

GreyImage CropImage(const GreyImage& image, uint32_t width, uint32_t height) {
    GreyImage out{std::min(width, image.width), std::min(height, image.height), {}};
    out.pixels.reserve(std::size_t{out.width} * out.height);
    for (uint32_t y = 0; y < out.height; ++y) {
        const auto line = image.pixels.begin() + static_cast<std::ptrdiff_t>(std::size_t{y} * image.width);
        out.pixels.insert(out.pixels.end(), line, line + out.width);
    }
    return out;
}

GreyImage BlockMeans(const GreyImage& image) {
    GreyImage out{(image.width + kBlockSize - 1) / kBlockSize, (image.height + kBlockSize - 1) / kBlockSize, {}};
    out.pixels.resize(std::size_t{out.width} * out.height);
    for (uint32_t r = 0; r < out.height; ++r) {
        for (uint32_t c = 0; c < out.width; ++c) {
            uint32_t sum = 0, count = 0;
            for (uint32_t y = kBlockSize * r; y < std::min(kBlockSize * (r + 1), image.height); ++y) {
                for (uint32_t x = kBlockSize * c; x < std::min(kBlockSize * (c + 1), image.width); ++x) {
                    sum += image.At(x, y);
                    ++count;
                }
            }
            out.pixels[std::size_t{r} * out.width + c] = static_cast<uint8_t>((sum + count / 2) / count);
        }
    }
    return out;
}

GreyImage ImageFromCoefficients(const std::vector<int16_t>& coefficients, uint32_t width, uint32_t height) {
    const DctBasisTable& basis = DctBasis();  // basis[u][x]
    GreyImage out{width, height, std::vector<uint8_t>(std::size_t{width} * height)};
    for (uint32_t by = 0; by + kBlockSize <= height; by += kBlockSize) {
        for (uint32_t bx = 0; bx + kBlockSize <= width; bx += kBlockSize) {
            double rows[8][8];  // rows[v][x]: the horizontal pass
            for (int v = 0; v < 8; ++v) {
                const int16_t* line = &coefficients[std::size_t{by + v} * width + bx];
                for (int x = 0; x < 8; ++x) {
                    rows[v][x] = 0;
                    for (int u = 0; u < 8; ++u) rows[v][x] += basis[u][x] * line[u];
                }
            }
            for (int y = 0; y < 8; ++y) {
                for (int x = 0; x < 8; ++x) {
                    double sum = 0;
                    for (int v = 0; v < 8; ++v) sum += basis[v][y] * rows[v][x];
                    out.pixels[std::size_t{by + y} * width + bx + x] =
                        static_cast<uint8_t>(std::clamp(std::lround(sum + 128.0), 0L, 255L));
                }
            }
        }
    }
    return out;
}

}  // namespace framedec::tools
