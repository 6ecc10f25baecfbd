#include "output/imagej_metadata.h"

namespace framedec::cli {
namespace {

// ImageJ reads the header's numbers in the file's byte order: "IJIJ" and "labl" as 32-bit values.
constexpr uint32_t kMagic = 0x494a494a, kLabels = 0x6c61626c;

void PutLittleEndian(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

ImageJMetadata ImageJSliceLabels(const std::vector<std::string>& labels) {
    ImageJMetadata metadata;
    PutLittleEndian(metadata.bytes, kMagic);
    PutLittleEndian(metadata.bytes, kLabels);
    PutLittleEndian(metadata.bytes, static_cast<uint32_t>(labels.size()));
    metadata.byteCounts.push_back(static_cast<uint32_t>(metadata.bytes.size()));
    for (const std::string& label : labels) {
        // The labels are ASCII ("frame=3 sequence_number=4"): each character is one UTF-16 unit.
        for (const char c : label) {
            metadata.bytes.push_back(static_cast<uint8_t>(c));
            metadata.bytes.push_back(0);
        }
        metadata.byteCounts.push_back(static_cast<uint32_t>(2 * label.size()));
    }
    return metadata;
}

}  // namespace framedec::cli
