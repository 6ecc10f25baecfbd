// What the process-wide worker pool needs from the platform: around its workers' lifetime, keeping
// their code loaded and knowing whether they still exist; and random bytes for its task identifiers.
#pragma once

#include <cstdint>
#include <span>

namespace framedec {

// Called once, before the process pool starts its workers; they are started only if it returns
// true. On Windows the module that holds the pool (framedec.dll, or a program or plugin DLL that
// links the library statically) is pinned for the rest of the process: FreeLibrary would otherwise
// run the shutdown under the loader lock, where joining the workers deadlocks (an ending thread
// needs that lock), and not joining them would unmap code they run. A module that cannot be pinned
// gets no workers (its callers decode on their own threads). Elsewhere nothing to do: unloading
// runs the shutdown, which joins them.
bool KeepModuleWhileWorkersRun() noexcept;

// Whether the pool may still be used, and the shutdown wake and join the workers. False once the
// process is ending and the system has already ended every other thread (Windows, where a module
// learns of the process exit only then), from the first module's detach on: a worker may have
// died holding the pool's lock, so the pool must not be touched, and a parallel decode (from a
// plugin's detach, say) decodes on its calling thread. Reads flags only: no lock, no allocation.
bool WorkersStillExist() noexcept;

// Fills bytes from the system's random source (getrandom on Linux, RtlGenRandom on Windows, which
// advapi32 exports: no library beyond those the process already has). False when it fails.
bool FillFromSystemRandomSource(std::span<uint8_t> bytes) noexcept;

}  // namespace framedec
