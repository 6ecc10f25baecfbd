// Windows: Ctrl-C, Ctrl-Break and the closing of the console (or the user's logoff, the system's
// shutdown) arrive as console control events, each on a thread of its own. After a closing event
// the system ends the process once the handler returns, so the handler waits instead: the command
// stops at its next check, removes its temporary file and exits, which ends the wait with the
// process (the system's own limit, a few seconds, still applies).
#include "platform/console.h"

#include <windows.h>

#include <atomic>

namespace framedec::cli {
namespace {

std::atomic<bool> interrupted{false};

BOOL WINAPI OnConsoleEvent(DWORD event) {
    interrupted.store(true);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) Sleep(INFINITE);
    return TRUE;
}

}  // namespace

// A console, not a file or a pipe (the C library's isatty also counts the NUL device).
bool StandardErrorIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void CatchInterrupts() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

bool Interrupted() { return interrupted.load(); }

}  // namespace framedec::cli
