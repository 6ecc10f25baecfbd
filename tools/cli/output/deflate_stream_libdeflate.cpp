#include <libdeflate.h>

#include <memory>

#include "output/deflate_stream.h"

namespace framedec::cli {
namespace {

// Level 1: on camera frames smaller than zlib's level 1 at about three times its speed.
constexpr int kLevel = 1;

struct FreeCompressor {
    void operator()(libdeflate_compressor* compressor) const { libdeflate_free_compressor(compressor); }
};

}  // namespace

bool CompressZlibStream(std::span<const uint8_t> data, std::vector<uint8_t>& out) {
    // A compressor holds some hundred kilobytes of tables: one per thread, made once.
    thread_local const std::unique_ptr<libdeflate_compressor, FreeCompressor> compressor(
        libdeflate_alloc_compressor(kLevel));
    if (!compressor) return false;
    out.resize(libdeflate_zlib_compress_bound(compressor.get(), data.size()));
    const std::size_t size = libdeflate_zlib_compress(compressor.get(), data.data(), data.size(), out.data(), out.size());
    out.resize(size);
    return size > 0;
}

uint32_t Crc32(uint32_t crc, std::span<const uint8_t> data) { return libdeflate_crc32(crc, data.data(), data.size()); }

}  // namespace framedec::cli
