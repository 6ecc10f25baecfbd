// Result codes as the library's own code uses them; the values are those of framedec.h.
#pragma once

#include <cstdint>

#include "framedec.h"

namespace framedec {

inline constexpr int32_t kOk = FRAMEDEC_OK;
inline constexpr int32_t kInvalidArgument = FRAMEDEC_INVALID_ARGUMENT;

}  // namespace framedec
