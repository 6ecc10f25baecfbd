#include "synth/pgm.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

#include "synth/file_bytes.h"

namespace framedec::tools {
namespace {

// An image file is read whole; this covers any photograph worth cropping to a frame (16384 x
// 16384 pixels) and stops endless input such as /dev/zero.
constexpr std::size_t kMaxPgmBytes = std::size_t{256} << 20;

// Reads the next header number, skipping white space and comments.
bool NextNumber(const std::vector<uint8_t>& b, std::size_t& pos, uint64_t& value) {
    for (;;) {
        while (pos < b.size() && std::isspace(b[pos])) ++pos;
        if (pos < b.size() && b[pos] == '#') {
            while (pos < b.size() && b[pos] != '\n') ++pos;
            continue;
        }
        break;
    }
    if (pos >= b.size() || !std::isdigit(b[pos])) return false;
    value = 0;
    while (pos < b.size() && std::isdigit(b[pos])) {
        value = value * 10 + (b[pos++] - '0');
        if (value > 1000000) return false;
    }
    return true;
}

}  // namespace

bool ParsePgm(const std::vector<uint8_t>& bytes, GreyImage& image, std::string& error) {
    if (bytes.size() < 2 || bytes[0] != 'P' || bytes[1] != '5') {
        std::string found;
        for (std::size_t i = 0; i < std::min<std::size_t>(bytes.size(), 2); ++i)
            found += std::isprint(bytes[i]) ? static_cast<char>(bytes[i]) : '?';
        error = "not a binary greyscale PGM (expected magic P5, found '" + found + "')";
        return false;
    }
    std::size_t pos = 2;
    uint64_t width = 0, height = 0, maxValue = 0;
    if (!NextNumber(bytes, pos, width) || !NextNumber(bytes, pos, height) || !NextNumber(bytes, pos, maxValue)) {
        error = "malformed PGM header";
        return false;
    }
    if (maxValue == 0 || maxValue > 255) {
        error = "PGM is not 8-bit greyscale (maximum value " + std::to_string(maxValue) + ")";
        return false;
    }
    if (width == 0 || height == 0) {
        error = "PGM has no pixels (" + std::to_string(width) + " x " + std::to_string(height) + ")";
        return false;
    }
    if (pos >= bytes.size() || !std::isspace(bytes[pos])) {
        error = "malformed PGM header";
        return false;
    }
    ++pos;  // the single white-space character before the raster
    const uint64_t count = width * height;
    if (bytes.size() - pos < count) {
        error = "PGM raster is truncated (" + std::to_string(bytes.size() - pos) + " of " + std::to_string(count) +
                " bytes)";
        return false;
    }
    image.width = static_cast<uint32_t>(width);
    image.height = static_cast<uint32_t>(height);
    image.pixels.assign(bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                        bytes.begin() + static_cast<std::ptrdiff_t>(pos + count));
    return true;
}

bool ReadPgm(const std::string& path, GreyImage& image, std::string& error) {
    std::vector<uint8_t> bytes;
    if (!ReadFileBytes(path, "image", kMaxPgmBytes, bytes, error)) return false;
    if (!ParsePgm(bytes, image, error)) {
        error = "'" + path + "': " + error;
        return false;
    }
    return true;
}

std::vector<uint8_t> EncodePgm(const GreyImage& image, std::string_view comment) {
    std::string header = "P5\n";
    if (!comment.empty()) header.append("# ").append(comment).append("\n");
    header += std::to_string(image.width) + " " + std::to_string(image.height) + "\n255\n";
    std::vector<uint8_t> out(header.begin(), header.end());
    out.insert(out.end(), image.pixels.begin(), image.pixels.end());
    return out;
}

std::vector<uint8_t> EncodePgm16(uint32_t width, uint32_t height, const std::vector<uint16_t>& samples) {
    const std::string header = "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n65535\n";
    std::vector<uint8_t> out(header.begin(), header.end());
    out.reserve(out.size() + samples.size() * 2);
    for (uint16_t s : samples) {
        out.push_back(static_cast<uint8_t>(s >> 8));
        out.push_back(static_cast<uint8_t>(s & 0xFF));
    }
    return out;
}

double Psnr(const GreyImage& a, const GreyImage& b) {
    double sum = 0;
    for (uint32_t y = 0; y < a.height; ++y) {
        for (uint32_t x = 0; x < a.width; ++x) {
            const double d = static_cast<double>(a.At(x, y)) - static_cast<double>(b.pixels[std::size_t{y} * b.width + x]);
            sum += d * d;
        }
    }
    if (sum == 0) return std::numeric_limits<double>::infinity();
    const double mse = sum / (static_cast<double>(a.width) * a.height);
    return 10.0 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace framedec::tools
