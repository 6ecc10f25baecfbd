#include "output/tiff_directory.h"

namespace framedec::cli {
namespace {

enum TiffType : uint16_t { kByte = 1, kAscii = 2, kShort = 3, kLong = 4, kRational = 5, kLong8 = 16 };

void Put(std::vector<uint8_t>& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint64_t Even(uint64_t bytes) { return bytes + (bytes & 1); }

}  // namespace

std::vector<uint8_t> TiffHeader(bool bigTiff, uint64_t firstDirectory) {
    std::vector<uint8_t> header = {'I', 'I'};
    if (bigTiff) {
        Put(header, 43, 2);
        Put(header, 8, 2);  // bytes per offset
        Put(header, 0, 2);
        Put(header, firstDirectory, 8);
    } else {
        Put(header, 42, 2);
        Put(header, firstDirectory, 4);
    }
    return header;
}

void TiffDirectory::Add(uint16_t tag, uint16_t type, uint64_t count, std::vector<uint8_t> value) {
    entries_.push_back({tag, type, count, std::move(value)});
}

void TiffDirectory::AddShort(uint16_t tag, uint16_t value) {
    std::vector<uint8_t> bytes;
    Put(bytes, value, 2);
    Add(tag, kShort, 1, std::move(bytes));
}

void TiffDirectory::AddShorts(uint16_t tag, uint16_t first, uint16_t second) {
    std::vector<uint8_t> value;
    Put(value, first, 2);
    Put(value, second, 2);
    Add(tag, kShort, 2, std::move(value));
}

void TiffDirectory::AddLong(uint16_t tag, uint32_t value) {
    std::vector<uint8_t> bytes;
    Put(bytes, value, 4);
    Add(tag, kLong, 1, std::move(bytes));
}

void TiffDirectory::AddOffset(uint16_t tag, uint64_t value) {
    std::vector<uint8_t> bytes;
    Put(bytes, value, big_ ? 8 : 4);
    Add(tag, big_ ? kLong8 : kLong, 1, std::move(bytes));
}

void TiffDirectory::AddText(uint16_t tag, std::string_view text) {
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    const uint64_t count = bytes.size();
    Add(tag, kAscii, count, std::move(bytes));
}

void TiffDirectory::AddRational(uint16_t tag, uint32_t numerator, uint32_t denominator) {
    std::vector<uint8_t> bytes;
    Put(bytes, numerator, 4);
    Put(bytes, denominator, 4);
    Add(tag, kRational, 1, std::move(bytes));
}

void TiffDirectory::AddLongs(uint16_t tag, const std::vector<uint32_t>& values) {
    std::vector<uint8_t> bytes;
    for (const uint32_t value : values) Put(bytes, value, 4);
    Add(tag, kLong, values.size(), std::move(bytes));
}

void TiffDirectory::AddBytes(uint16_t tag, std::vector<uint8_t> bytes) {
    const uint64_t count = bytes.size();
    Add(tag, kByte, count, std::move(bytes));
}

uint64_t TiffDirectory::Size() const {
    const uint64_t countBytes = big_ ? 8 : 2, entryBytes = big_ ? 20 : 12, nextBytes = big_ ? 8 : 4;
    uint64_t size = Even(countBytes + entries_.size() * entryBytes + nextBytes);
    for (const Entry& e : entries_)
        if (e.value.size() > InlineBytes()) size += Even(e.value.size());
    return size;
}

void TiffDirectory::Encode(uint64_t at, uint64_t next, std::vector<uint8_t>& out) const {
    const int offsetBytes = big_ ? 8 : 4;
    const std::size_t start = out.size();
    Put(out, entries_.size(), big_ ? 8 : 2);
    uint64_t valueAt = at + Even((big_ ? 8 : 2) + entries_.size() * (big_ ? 20 : 12) + offsetBytes);
    for (const Entry& e : entries_) {
        Put(out, e.tag, 2);
        Put(out, e.type, 2);
        Put(out, e.count, offsetBytes);
        if (e.value.size() <= InlineBytes()) {
            out.insert(out.end(), e.value.begin(), e.value.end());
            Put(out, 0, static_cast<int>(InlineBytes() - e.value.size()));
        } else {
            Put(out, valueAt, offsetBytes);
            valueAt += Even(e.value.size());
        }
    }
    Put(out, next, offsetBytes);
    if ((out.size() - start) & 1) out.push_back(0);
    for (const Entry& e : entries_) {
        if (e.value.size() <= InlineBytes()) continue;
        out.insert(out.end(), e.value.begin(), e.value.end());
        if (e.value.size() & 1) out.push_back(0);
    }
}

}  // namespace framedec::cli
