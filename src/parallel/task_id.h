// Task identifiers: 36-character GUID text, e.g. "0f8fad5b-d9cb-469f-a165-70867728950e", unique
// within the process.
#pragma once

#include <cstddef>
#include <string>

namespace framedec {

inline constexpr std::size_t kTaskIdLength = 36;

// A new identifier: a GUID made once per process by the platform's GUID facility, its final bits
// counted up for every identifier after it, so that no call after the first makes a system call.
// Throws std::bad_alloc, or on Windows std::runtime_error when the platform cannot make the GUID.
std::string NewTaskId();

}  // namespace framedec
