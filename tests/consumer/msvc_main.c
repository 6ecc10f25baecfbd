/*
 * A program built with MSVC conventions (clang-cl, lld-link) against the installed framedec.h and
 * framedec.lib alone, without any C library: it decodes through framedec.dll and reports through
 * its exit status, 0 when every check passed.
 */
#include <framedec.h>

#include "decode_checks.h"

#ifdef __cplusplus
extern "C" {
#endif
__declspec(dllimport) void __stdcall ExitProcess(unsigned int exitCode);
void __cdecl ConsumerStart(void);
#ifdef __cplusplus
}
#endif

void __cdecl ConsumerStart(void) {
    static uint8_t pixels[64];
    if (DecodeData(pixels, 4, 0, 8, 8, 8, checkFrame, checkTable) != FRAMEDEC_INVALID_ARGUMENT) ExitProcess(100);
    ExitProcess((unsigned int)RunDecodeChecks());
}
