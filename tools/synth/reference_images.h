// Images to compare decodes against: the part of a source image that a frame holds, its 1/8-scale
// block means (what the DC preview shows), and pixels rebuilt from a coefficient image.
#pragma once

#include <cstdint>
#include <vector>

#include "synth/pgm.h"

namespace framedec::tools {

// The top-left width x height pixels of image (at most its own size).
GreyImage CropImage(const GreyImage& image, uint32_t width, uint32_t height);

// One pixel per 8 x 8 block: the rounded mean of the block's pixels that lie inside the image.
GreyImage BlockMeans(const GreyImage& image);

// Pixels from a coefficient image laid out as the coefficient decoder writes it (width and height
// multiples of 8, packed lines): a floating-point inverse DCT per block, plus 128, rounded and
// clamped to 0 to 255.
GreyImage ImageFromCoefficients(const std::vector<int16_t>& coefficients, uint32_t width, uint32_t height);

}  // namespace framedec::tools
