// The bytes of a little-endian TIFF's header and image file directories, for a classic TIFF (32-bit
// offsets) or a BigTIFF (64-bit). Only what the tool's stacks need: a few tag types, one directory
// after another.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace framedec::cli {

// Header bytes: a classic header is 8 bytes, a BigTIFF header 16.
std::vector<uint8_t> TiffHeader(bool bigTiff, uint64_t firstDirectory);

// One directory. Entries must be added in increasing tag order; values too large for their entry
// are stored right after the directory.
class TiffDirectory {
public:
    explicit TiffDirectory(bool bigTiff) : big_(bigTiff) {}

    void AddShort(uint16_t tag, uint16_t value);
    void AddShorts(uint16_t tag, uint16_t first, uint16_t second);
    void AddLong(uint16_t tag, uint32_t value);
    void AddOffset(uint16_t tag, uint64_t value);  // LONG in a classic TIFF, LONG8 in a BigTIFF
    void AddText(uint16_t tag, std::string_view text);
    void AddRational(uint16_t tag, uint32_t numerator, uint32_t denominator);
    void AddLongs(uint16_t tag, const std::vector<uint32_t>& values);
    void AddBytes(uint16_t tag, std::vector<uint8_t> bytes);

    // Bytes of the directory with its values after it (an even count, so the next one starts on a
    // word boundary as TIFF requires).
    uint64_t Size() const;
    // Appends the directory as it sits at byte `at` of the file, followed by the directory at
    // `next` (0: none).
    void Encode(uint64_t at, uint64_t next, std::vector<uint8_t>& out) const;

private:
    struct Entry {
        uint16_t tag = 0, type = 0;
        uint64_t count = 0;
        std::vector<uint8_t> value;
    };
    void Add(uint16_t tag, uint16_t type, uint64_t count, std::vector<uint8_t> value);
    std::size_t InlineBytes() const { return big_ ? 8 : 4; }

    bool big_;
    std::vector<Entry> entries_;
};

}  // namespace framedec::cli
