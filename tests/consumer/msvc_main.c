/*
 * A program built with MSVC conventions (clang-cl, lld-link) against the installed framedec.h and
 * framedec.lib alone, without any C library: it decodes through framedec.dll and reports through
 * its exit status, 0 when every check passed. Built with OWN_NV_OPTIMUS_ENABLEMENT it defines and
 * exports NvOptimusEnablementCuda itself, as NVIDIA documents for executables (and, importing no
 * data, can load framedec.dll delayed).
 */
#if !defined(OWN_NV_OPTIMUS_ENABLEMENT)
#define FRAMEDEC_DECLARE_NV_OPTIMUS_ENABLEMENT
#endif
#include <framedec.h>

#if defined(OWN_NV_OPTIMUS_ENABLEMENT)
#ifdef __cplusplus
extern "C"
#endif
    __declspec(dllexport) unsigned long NvOptimusEnablementCuda = 1;
#endif

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
