// The zigzag order of the JPEG standard: entry k is the natural (row-major, 8 v + u) index of the
// k-th coded coefficient. Written once as a list so that host tables and device constant tables
// are initialised from the same text.
#pragma once

#define FRAMEDEC_ZIGZAG_ORDER                                                              \
    0, 1, 8, 16, 9, 2, 3, 10, 17, 24, 32, 25, 18, 11, 4, 5, 12, 19, 26, 33, 40, 48, 41, 34, \
        27, 20, 13, 6, 7, 14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30,   \
        37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63

// The host table. Not for NVRTC, which compiles device code only and would keep it as a device
// global of every module.
#if defined(__cplusplus) && !defined(__CUDACC_RTC__)
#include <cstdint>

namespace framedec {
inline constexpr uint8_t kZigzag[64] = {FRAMEDEC_ZIGZAG_ORDER};
}  // namespace framedec
#endif
