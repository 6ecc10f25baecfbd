// PNG files in memory; a build without a deflate library says so.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decoding/decode_modes.h"

namespace framedec::cli {

bool HavePngSupport();

// An 8-bit greyscale PNG of the image's samples with label as its "Comment" text.
bool EncodePng(const DecodedImage& image, const std::string& label, std::vector<uint8_t>& bytes, std::string& error);

}  // namespace framedec::cli
