// Captures what a piece of code writes to the standard output and standard error file descriptors.
#pragma once

#include <functional>
#include <string>

namespace framedec::testing {

struct CapturedOutput {
    std::string out;
    std::string err;
};

CapturedOutput CaptureOutput(const std::function<void()>& run);

}  // namespace framedec::testing
