// The zlib-format deflate streams (RFC 1950) of the TIFF pages and PNG files, and PNG's CRC-32:
// from libdeflate where the build has it (about three times zlib's speed at its fastest level, for
// smaller output), else from zlib.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace framedec::cli {

// Replaces out with the compressed data. Thread-safe; false only when memory runs out.
bool CompressZlibStream(std::span<const uint8_t> data, std::vector<uint8_t>& out);

// The CRC-32 of data continued from crc (0 to start).
uint32_t Crc32(uint32_t crc, std::span<const uint8_t> data);

}  // namespace framedec::cli
