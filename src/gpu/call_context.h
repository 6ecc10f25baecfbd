// The CUDA context that a GPU call works in, pushed onto the calling thread's context stack for the
// call and popped before it returns. Runtime calls work in the thread's current context, and a host
// application may keep its own contexts (camera and video pipelines make them with the driver API),
// call from a new thread that has none, or make another device current: pushing the set-up's
// context sends the work where the buffers are, and popping it leaves the caller's own state,
// "no context" included, exactly as it was.
#pragma once

#include <cstdint>

#include "gpu/last_error.h"
#include "gpu/runtime/runtime.h"

namespace framedec::gpu {

// The context for a call: recorded when not null (the set-up's); otherwise the calling thread's
// current context, or where it has none, the primary context of its current device, started and
// made current as the runtime would, then taken off the thread's stack again. False when that
// fails; the error is then the thread's last GPU error.
bool ContextForCall(runtime::Context recorded, runtime::Context* context);

// Pushes a context onto the calling thread's context stack for a while; GiveBack pops it, and so
// does the destructor if nothing did. A failed push or pop makes the driver's error the thread's
// last GPU error.
class ContextScope {
public:
    explicit ContextScope(runtime::Context context);
    ~ContextScope() { GiveBack(); }
    ContextScope(const ContextScope&) = delete;
    ContextScope& operator=(const ContextScope&) = delete;

    // Whether the push succeeded: the context is current.
    bool Entered() const { return entered_; }
    // Pops the context if the push succeeded and nothing popped it yet. False when that pop
    // failed: the caller's own context is not current again.
    bool GiveBack();

private:
    bool entered_ = false;
};

// Runs work (which returns a result code) with context current on the calling thread, then gives
// the caller's own context back. Where either fails the call returns failure (the work done
// stays done): never a silent success that leaves the caller in another context.
template <class Work>
int32_t InContext(runtime::Context context, int32_t failure, Work work) {
    ContextScope scope(context);
    if (!scope.Entered()) return failure;
    const int32_t result = work();
    return scope.GiveBack() ? result : failure;
}

}  // namespace framedec::gpu
