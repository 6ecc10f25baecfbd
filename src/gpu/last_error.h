// The calling thread's last GPU error as GetGPULastError reports it. A decode sets aside any error
// that an earlier call on the thread left unread before its first device step, so that its checks
// see only what its own steps raise; the set-aside error is still what the next GetGPULastError on
// the thread reports, unless a newer failure has taken its place (the runtime keeps the latest).
#pragma once

#include "gpu/runtime/runtime.h"

namespace framedec::gpu {

// Reads the runtime's last error of the calling thread (clearing it) and keeps it if it is one.
void SetAsideUnreadError();

// Makes error, the failure of a driver call (which the runtime does not record), the calling
// thread's last GPU error, in the place of any older one.
void ReportError(Error error);

// The runtime's last error of the calling thread, or else the one set aside; clears both.
Error TakeLastError();

}  // namespace framedec::gpu
