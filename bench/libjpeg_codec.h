// libjpeg-turbo, the comparison of every benchmark: greyscale JPEGs made from pictures and decoded
// with its accurate integer transform (JDCT_ISLOW).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace framedec::bench {

// A width x height picture (lines packed) as a greyscale JPEG of the given quality.
std::vector<uint8_t> EncodeGreyJpeg(const uint8_t* pixels, uint32_t width, uint32_t height, int quality);

// Decodes a greyscale JPEG at scale 1/denominator (1 or 8) into pixels, lines packed. Returns false
// on a decoding error.
bool DecodeJpeg(const uint8_t* jpeg, std::size_t size, unsigned denominator, uint8_t* pixels);

}  // namespace framedec::bench
