// Reading a compressed frame from a file whose size must match the frame height the user gave.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace framedec::cli {

// Reads the frame and checks that it holds exactly heightLines x 320 bytes (the library cannot
// check a frame's size, and would read past a short one). The file may be a pipe or a device; at
// most one byte more than a frame is read from it. On failure error names the file and the sizes.
bool ReadFrameFile(const std::string& path, uint32_t heightLines, std::vector<uint8_t>& frame, std::string& error);

}  // namespace framedec::cli
