// Quantisation table files: 64 integers from 0 to 65535 in natural (row-major) order, separated by
// white space.
#pragma once

#include <string>

#include "synth/frame_synth.h"

namespace framedec::tools {

// Parses a table file's text. On failure returns false and sets error to one line naming the
// problem and the offending value.
bool ParseTableText(const std::string& text, QuantTable& table, std::string& error);

// Reads and parses a table file; errors name the file.
bool ReadTableFile(const std::string& path, QuantTable& table, std::string& error);

}  // namespace framedec::tools
