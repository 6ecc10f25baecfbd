// Where the demo finds its test image when given none.
#pragma once

#include <filesystem>
#include <vector>

namespace framedec::cli {

inline constexpr const char* kDemoImageName = "astronaut.pgm";

// The places to look, in order: the data directory of the installation the tool runs from
// (<prefix>/share/framedec, found relative to the executable), then the source tree the tool was
// built from (so it also works straight from a build directory).
std::vector<std::filesystem::path> DemoImageCandidates();

}  // namespace framedec::cli
