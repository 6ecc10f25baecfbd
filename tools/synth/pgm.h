// Reading and writing binary PGM images (8-bit greyscale, and 16-bit for coefficient images).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace framedec::tools {

struct GreyImage {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> pixels;  // width x height, line after line

    uint8_t At(uint32_t x, uint32_t y) const { return pixels[std::size_t{y} * width + x]; }
};

// Reads a binary (P5) PGM with a maximum value of at most 255. On failure returns false and sets
// error to one line naming the problem.
bool ReadPgm(const std::string& path, GreyImage& image, std::string& error);

// Parses a PGM held in memory; same rules as ReadPgm.
bool ParsePgm(const std::vector<uint8_t>& bytes, GreyImage& image, std::string& error);

// Encodes an 8-bit PGM, with a comment line in its header when comment is not empty (one line).
std::vector<uint8_t> EncodePgm(const GreyImage& image, std::string_view comment = {});

// Encodes a 16-bit PGM (maximum value 65535, samples big-endian as the format requires).
std::vector<uint8_t> EncodePgm16(uint32_t width, uint32_t height, const std::vector<uint16_t>& samples);

// Peak signal-to-noise ratio in dB of b against a over a's size (b at least as large); infinity
// when they are equal.
double Psnr(const GreyImage& a, const GreyImage& b);

}  // namespace framedec::tools
