// Task identifiers: 36-character GUID text, e.g. "0f8fad5b-d9cb-469f-a165-70867728950e", unique
// within the process.
#pragma once

#include <cstddef>
#include <string>

namespace framedec {

inline constexpr std::size_t kTaskIdLength = 36;

// A new identifier: a random GUID made once per process from the system's random source, its final
// bits counted up for every identifier after it, so that no call after the first makes a system
// call. Throws std::bad_alloc, or std::runtime_error when the random source fails.
std::string NewTaskId();

}  // namespace framedec
