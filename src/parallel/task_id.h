// Task identifiers: the 36-character text form of a new random GUID, e.g.
// "0f8fad5b-d9cb-469f-a165-70867728950e".
#pragma once

#include <cstddef>
#include <string>

namespace framedec {

inline constexpr std::size_t kTaskIdLength = 36;

// A new identifier from the platform's GUID facility. Throws std::bad_alloc, or on Windows
// std::runtime_error when the platform cannot make a GUID.
std::string NewTaskId();

}  // namespace framedec
