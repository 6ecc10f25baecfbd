// Reading a whole file into memory, with an error message fit to show a user.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace framedec::tools {

// Reads the file at path, which may also be a pipe or a device: at most maxBytes, so that no input
// (/dev/zero) is read without end. On failure returns false and sets error to one line naming the
// kind of file, the file and the reason ("cannot open image 'x': No such file or directory"); a file
// larger than maxBytes is refused after maxBytes + 1 bytes ("image 'x' is larger than N bytes").
bool ReadFileBytes(const std::string& path, const std::string& kind, std::size_t maxBytes, std::vector<uint8_t>& bytes,
                   std::string& error);

}  // namespace framedec::tools
