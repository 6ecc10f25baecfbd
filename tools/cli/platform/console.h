// What the tool asks of the console it runs in: whether a person watches standard error (for
// progress lines), and whether they pressed Ctrl-C (so that long commands stop cleanly and leave
// no temporary files behind).
#pragma once

namespace framedec::cli {

bool StandardErrorIsTerminal();

// From the first call on, an interrupt (Ctrl-C, on Windows also Ctrl-Break and closing the console)
// or a termination request no longer ends the process at once: it sets a flag that Interrupted()
// reports, and long commands check it between frames.
void CatchInterrupts();
bool Interrupted();

}  // namespace framedec::cli
