// Side-by-side ratios: benchmarks named "<label>/<image>" are timed in one run, and the report
// ends with a table of time(numerator) / time(denominator) per image for every registered pair.
#pragma once

#include <string>

namespace framedec::bench {

// Which time a ratio divides. A decode on one thread is compared by the processor time of its
// thread (of all threads, for benchmarks registered with MeasureProcessCPUTime): on a loaded
// machine the wall-clock time also counts the waits for a processor, which vary from run to run.
// How long work spread over threads takes can only be compared by wall-clock time.
enum class RatioClock { Processor, Wall };

// Adds a row to the final ratio table, e.g. AddRatio("DecodeData", "libjpeg_full", "target <= 0.50").
void AddRatio(const std::string& numerator, const std::string& denominator, const std::string& note,
              RatioClock clock = RatioClock::Processor);

}  // namespace framedec::bench
