#include "gpu/last_error.h"

namespace framedec::gpu {
namespace {

thread_local Error setAside = kSuccess;

}  // namespace

void SetAsideUnreadError() {
    if (const Error unread = runtime::LastError(); unread != kSuccess) setAside = unread;
}

void ReportError(Error error) {
    SetAsideUnreadError();
    setAside = error;
}

Error TakeLastError() {
    const Error latest = runtime::LastError();
    const Error older = setAside;
    setAside = kSuccess;
    return latest != kSuccess ? latest : older;
}

}  // namespace framedec::gpu
