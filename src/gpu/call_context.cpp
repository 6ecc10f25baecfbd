#include "gpu/call_context.h"

namespace framedec::gpu {

bool ContextForCall(runtime::Context recorded, runtime::Context* context) {
    *context = recorded;
    if (recorded != runtime::Context{}) return true;
    if (const Error error = runtime::CurrentContext(context); error != kSuccess) {
        ReportError(error);
        return false;
    }
    if (*context != runtime::Context{}) return true;
    // The runtime errors of these two stay the thread's last error.
    int device = 0;
    if (runtime::CurrentDevice(&device) != kSuccess || runtime::SetDevice(device) != kSuccess) return false;
    Error error = runtime::CurrentContext(context);
    runtime::Context primary{};
    if (const Error popped = runtime::PopContext(&primary); error == kSuccess) error = popped;
    if (error != kSuccess) {
        ReportError(error);
        return false;
    }
    return true;
}

ContextScope::ContextScope(runtime::Context context) {
    const Error error = runtime::PushContext(context);
    entered_ = error == kSuccess;
    if (!entered_) ReportError(error);
}

bool ContextScope::GiveBack() {
    if (!entered_) return true;
    entered_ = false;
    runtime::Context popped{};
    const Error error = runtime::PopContext(&popped);
    if (error != kSuccess) ReportError(error);
    return error == kSuccess;
}

}  // namespace framedec::gpu
