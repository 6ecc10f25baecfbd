// Failing a fuzz target's property: print what was expected and abort, which libFuzzer records as a
// crash (with the input that caused it) and the corpus replay reports as a failed test.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace framedec::fuzz {

inline void Require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "fuzz property violated: %s\n", what);
    std::abort();
}

}  // namespace framedec::fuzz
