// Windows: the pool's module stays loaded once the workers run, and at process exit the shutdown
// leaves the workers, which the system has already terminated, alone.
#include "parallel/pool_platform.h"

#include <windows.h>

#include <atomic>

namespace framedec {
namespace {

constinit std::atomic<bool> otherThreadsEnded{false};

}  // namespace

void KeepModuleWhileWorkersRun() noexcept {
    // The module that holds this function: framedec.dll, or the program that links it statically.
    // A pinned module stays until the process ends, whatever FreeLibrary calls follow.
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&KeepModuleWhileWorkersRun), &module);
}

bool WorkersStillExist() noexcept { return !otherThreadsEnded.load(); }

void NoteOtherThreadsEnded() noexcept { otherThreadsEnded.store(true); }

}  // namespace framedec
