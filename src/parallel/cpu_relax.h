// A hint to the processor that the calling thread is spinning in a wait loop: on x86 the PAUSE
// instruction, which frees the core's resources for the other hardware thread of the core for a
// few dozen nanoseconds; elsewhere nothing.
#pragma once

#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__)
#include <immintrin.h>
#endif

namespace framedec {

inline void CpuRelax() {
#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__)
    _mm_pause();
#endif
}

}  // namespace framedec
