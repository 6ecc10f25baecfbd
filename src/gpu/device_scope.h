// The set-up's device, made current on the calling thread for one GPU call. The runtime sends work
// to the thread's current device, and a host application may set up on one GPU, make another one
// current, or call from a new thread (which starts on device 0): without this the kernels would
// address another device's memory and fault, disabling CUDA in the process. The caller's current
// device is given back when the call ends; a thread already on the set-up's device is not touched.
#pragma once

#include <optional>

#include "gpu/runtime/runtime.h"

namespace framedec::gpu {

class DeviceScope {
public:
    // No device: the call works on the caller's current device (nothing is set up there).
    explicit DeviceScope(std::optional<int> device) {
        if (!device) return;
        int current = 0;
        if (runtime::CurrentDevice(&current) != kSuccess) {
            failed_ = true;
        } else if (current != *device) {
            failed_ = runtime::SetDevice(*device) != kSuccess;
            if (!failed_) callersDevice_ = current;
        }
    }
    ~DeviceScope() {
        if (callersDevice_) runtime::SetDevice(*callersDevice_);
    }
    DeviceScope(const DeviceScope&) = delete;
    DeviceScope& operator=(const DeviceScope&) = delete;

    // The device could not be made current; the runtime's error is the thread's last error.
    bool Failed() const { return failed_; }

private:
    bool failed_ = false;
    std::optional<int> callersDevice_;
};

}  // namespace framedec::gpu
