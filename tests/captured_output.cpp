#include "captured_output.h"

#include <unistd.h>

#include <cstdio>

namespace framedec::testing {
namespace {

std::string Contents(std::FILE* file) {
    std::string text;
    std::rewind(file);
    for (int c; (c = std::fgetc(file)) != EOF;) text.push_back(static_cast<char>(c));
    std::fclose(file);
    return text;
}

}  // namespace

CapturedOutput CaptureOutput(const std::function<void()>& run) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const int savedOut = dup(STDOUT_FILENO);
    const int savedErr = dup(STDERR_FILENO);
    dup2(fileno(out), STDOUT_FILENO);
    dup2(fileno(err), STDERR_FILENO);
    run();
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(savedOut, STDOUT_FILENO);
    dup2(savedErr, STDERR_FILENO);
    close(savedOut);
    close(savedErr);
    return {Contents(out), Contents(err)};
}

}  // namespace framedec::testing
