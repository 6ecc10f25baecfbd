// Reading a whole file into memory, with an error message fit to show a user.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace framedec::tools {

// Reads the file at path. On failure returns false and sets error to one line naming the kind of
// file, the file and the reason ("cannot open image 'x': No such file or directory").
bool ReadFileBytes(const std::string& path, const std::string& kind, std::vector<uint8_t>& bytes, std::string& error);

}  // namespace framedec::tools
