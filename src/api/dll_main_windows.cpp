// framedec.dll's entry point, called by the C runtime's own entry point before it runs the
// library's static destructors. A process detach with a non-null reserved argument means the
// process is ending: every other thread, the worker pool's included, has already been terminated.
#include <windows.h>

#include "parallel/pool_platform.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE /*module*/, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH && reserved != nullptr) framedec::NoteOtherThreadsEnded();
    return TRUE;
}
