// Windows: the pool's module stays loaded once the workers run, and at process exit the pool is
// left alone: the system has terminated the workers, perhaps inside the pool's lock. The exit
// shows first in ntdll's RtlDllShutdownInProgress, set before the first module is detached: a
// plugin that decodes from its own detach, before this module's, sees it too. The module's TLS
// callback, which the loader calls for whichever module links this file (the DLL, a program, or a
// plugin DLL that links the library statically) before its entry point runs the C runtime's exit
// handlers, the pool's shutdown among them, is the second sign, for a system without that function.
#include "parallel/pool_platform.h"

#include <windows.h>
// (after windows.h, which it needs)
#include <ntsecapi.h>

#include <atomic>
#include <climits>

namespace framedec {
namespace {

constinit std::atomic<bool> modulePinned{false};
constinit std::atomic<bool> otherThreadsEnded{false};

using ShutdownQuery = BOOLEAN(NTAPI*)();
constinit std::atomic<ShutdownQuery> dllShutdownInProgress{nullptr};

// Looked up once, when the module is attached (ntdll is in every process), so that the exit path
// makes no loader call: it only reads a flag of ntdll's.
ShutdownQuery FindDllShutdownInProgress() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) return nullptr;
    return reinterpret_cast<ShutdownQuery>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlDllShutdownInProgress")));
}

// A process detach of a pinned module only happens at process exit; Windows also says so with a
// non-null reserved argument (Wine passes null to TLS callbacks).
void NTAPI OnModuleEvent(PVOID /*module*/, DWORD reason, PVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) dllShutdownInProgress.store(FindDllShutdownInProgress());
    if (reason == DLL_PROCESS_DETACH && (reserved != nullptr || modulePinned.load())) otherThreadsEnded.store(true);
}

}  // namespace

// The loader calls every callback in the module's .CRT$XL* sections.
extern "C" __attribute__((section(".CRT$XLF"), used)) const PIMAGE_TLS_CALLBACK framedecPoolTlsCallback = OnModuleEvent;

bool KeepModuleWhileWorkersRun() noexcept {
    // The module that holds this function. A pinned module stays until the process ends, whatever
    // FreeLibrary calls follow.
    HMODULE module = nullptr;
    const bool pinned = GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                                           reinterpret_cast<LPCWSTR>(&KeepModuleWhileWorkersRun), &module) != 0;
    modulePinned.store(pinned);
    return pinned;
}

bool WorkersStillExist() noexcept {
    if (otherThreadsEnded.load()) return false;
    const ShutdownQuery shuttingDown = dllShutdownInProgress.load();
    return shuttingDown == nullptr || !shuttingDown();
}

// RtlGenRandom (advapi32's SystemFunction036) fills at most ULONG bytes a call.
bool FillFromSystemRandomSource(std::span<uint8_t> bytes) noexcept {
    return bytes.size() <= ULONG_MAX && RtlGenRandom(bytes.data(), static_cast<ULONG>(bytes.size())) != FALSE;
}

}  // namespace framedec
