#include "codec/cpu_features.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <cpuid.h>
#endif

namespace framedec {
namespace {

CpuFeatures Detect() {
    CpuFeatures f;
#if defined(__x86_64__) && defined(__GNUC__)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return f;
    f.ssse3 = (ecx >> 9) & 1;
    f.sse41 = (ecx >> 19) & 1;
    const bool osxsave = (ecx >> 27) & 1;
    const bool avx = (ecx >> 28) & 1;
    bool ymmSaved = false, zmmSaved = false;
    if (osxsave && avx) {
        unsigned xcr0Low = 0, xcr0High = 0;
        __asm__("xgetbv" : "=a"(xcr0Low), "=d"(xcr0High) : "c"(0));
        ymmSaved = (xcr0Low & 0x6) == 0x6;     // SSE and AVX state
        zmmSaved = (xcr0Low & 0xE6) == 0xE6;   // and the opmask, ZMM 0-15 upper halves and ZMM 16-31
    }
    if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) {
        f.avx2 = ymmSaved && ((ebx >> 5) & 1);
        f.bmi1 = (ebx >> 3) & 1;
        f.bmi2 = (ebx >> 8) & 1;
        const bool foundation = (ebx >> 16) & 1, conflict = (ebx >> 28) & 1, byteWord = (ebx >> 30) & 1,
                   vectorLength = (ebx >> 31) & 1, vbmi2 = (ecx >> 6) & 1, gfni = (ecx >> 8) & 1;
        f.avx512 = zmmSaved && foundation && conflict && byteWord && vectorLength && vbmi2 && gfni;
    }
    if (__get_cpuid(0x80000001, &eax, &ebx, &ecx, &edx)) f.lzcnt = (ecx >> 5) & 1;
#endif
    return f;
}

}  // namespace

const CpuFeatures& DetectedCpuFeatures() {
    static const CpuFeatures features = Detect();
    return features;
}

}  // namespace framedec
