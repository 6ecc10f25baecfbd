// POSIX: Ctrl-C arrives as SIGINT, a termination request as SIGTERM.
#include "platform/console.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>

namespace framedec::cli {
namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnInterrupt(int) { interrupted = 1; }

}  // namespace

bool StandardErrorIsTerminal() { return ::isatty(::fileno(stderr)) == 1; }

void CatchInterrupts() {
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
}

bool Interrupted() { return interrupted != 0; }

}  // namespace framedec::cli
