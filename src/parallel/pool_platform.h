// What the process-wide worker pool needs from the platform around its workers' lifetime: keeping
// their code loaded, and knowing whether they still exist when the pool shuts down.
#pragma once

namespace framedec {

// Called once, when the process pool has started its workers. On Windows the module that holds
// the pool (framedec.dll) is pinned for the rest of the process: FreeLibrary would otherwise run
// the shutdown under the loader lock, where joining the workers deadlocks (an ending thread needs
// that lock), and not joining them would unmap code they run. Elsewhere nothing: unloading runs
// the shutdown, which joins them.
void KeepModuleWhileWorkersRun() noexcept;

// Whether the shutdown may still wake and join the workers. False once the process is ending and
// the system has already ended every other thread (a Windows DLL unloaded at process exit): a
// worker may have died holding the pool's lock, so the shutdown must not touch the pool at all.
bool WorkersStillExist() noexcept;

// Records that the process is ending with its other threads already gone. Called by the Windows
// DLL's entry point on its process detach at exit, before the library's static objects go.
void NoteOtherThreadsEnded() noexcept;

}  // namespace framedec
