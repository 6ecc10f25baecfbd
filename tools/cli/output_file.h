// Output files are written whole or not at all: into a temporary file beside the target, then
// renamed over it, so a failed or interrupted write never leaves a partial file under its name.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace framedec::cli {

// On failure nothing is left behind and error names the file and the reason.
bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes, std::string& error);

}  // namespace framedec::cli
