// The fixed quantisation table Q of the GPU decoder: the example luminance table of the JPEG
// standard (Annex K, Table K.1), each entry halved and rounded down, in natural order. The CPU
// decoders take any table from the caller; tools and tests use this one by default so that CPU
// and GPU decodes can be compared.
#pragma once

#define FRAMEDEC_TABLE_Q                              \
    8, 5, 5, 8, 12, 20, 25, 30, 6, 6, 7, 9, 13, 29, 30, 27,    \
        7, 6, 8, 12, 20, 28, 34, 28, 7, 8, 11, 14, 25, 43, 40, 31, \
        9, 11, 18, 28, 34, 54, 51, 38, 12, 17, 27, 32, 40, 52, 56, 46, \
        24, 32, 39, 43, 51, 60, 60, 50, 36, 46, 47, 49, 56, 50, 51, 49

// The host table. Not for NVRTC, which compiles device code only and would keep it as a device
// global of every module.
#if defined(__cplusplus) && !defined(__CUDACC_RTC__)
#include <cstdint>

namespace framedec {
inline constexpr uint16_t kTableQ[64] = {FRAMEDEC_TABLE_Q};
}  // namespace framedec
#endif
