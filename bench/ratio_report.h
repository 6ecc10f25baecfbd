// Side-by-side ratios: benchmarks named "<label>/<image>" are timed in one run, and the report
// ends with a table of time(numerator) / time(denominator) per image for every registered pair.
#pragma once

#include <string>

namespace framedec::bench {

// Adds a row to the final ratio table, e.g. AddRatio("DecodeData", "libjpeg_full", "target <= 0.50").
void AddRatio(const std::string& numerator, const std::string& denominator, const std::string& note);

}  // namespace framedec::bench
