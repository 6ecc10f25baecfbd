// ImageJ's own metadata tags (IJMetadataByteCounts 50838, IJMetadata 50839), which ImageJ writes on
// a stack's first page and reads its slice labels from: ImageJ shows these labels above each slice,
// where it shows no TIFF page name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace framedec::cli {

inline constexpr uint16_t kIJMetadataByteCounts = 50838, kIJMetadata = 50839;

struct ImageJMetadata {
    std::vector<uint32_t> byteCounts;  // the header's, then each label's
    std::vector<uint8_t> bytes;        // the header ("IJIJ", then the type "labl" and the label count), the labels
};

// The slice labels as ImageJ stores them in a little-endian file: UTF-16LE text, one entry each.
ImageJMetadata ImageJSliceLabels(const std::vector<std::string>& labels);

}  // namespace framedec::cli
