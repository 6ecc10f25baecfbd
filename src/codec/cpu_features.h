// What the processor can run, read once from CPUID (and from XGETBV for the register state the
// operating system saves). On other architectures every answer is false.
#pragma once

namespace framedec {

struct CpuFeatures {
    bool ssse3 = false;
    bool sse41 = false;
    bool avx2 = false;    // with the operating system saving YMM registers
    bool bmi1 = false;
    bool bmi2 = false;
    bool lzcnt = false;
    // AVX-512 foundation, byte/word, vector-length, conflict-detection (lzcnt) and VBMI2 (funnel
    // shifts) instructions and GFNI (bit reversal), with the operating system saving the opmask
    // and ZMM registers
    bool avx512 = false;
};

const CpuFeatures& DetectedCpuFeatures();

}  // namespace framedec
