// What every GPU export of a loaded library answers where NVIDIA's runtime finds no driver: no
// device; set-up, decode and tear-down fail cleanly; the runtime's error stays set once read.
#pragma once

#include <cstdint>

#include "framedec.h"
#include "process_support.h"

namespace framedec::testing {

struct GpuExportsOf {
    explicit GpuExportsOf(const SharedLibrary& library);
    bool Complete() const { return getAvailable && setup && decode && teardown && isSetup && lastError; }

    decltype(GetAvailableGPUProcess)* getAvailable;
    decltype(SetupGPUDecode)* setup;
    decltype(DecodeGPU)* decode;
    decltype(TeardownGPUDecode)* teardown;
    decltype(IsSetupGPUDecode)* isSetup;
    decltype(GetGPULastError)* lastError;
};

// Expects exactly those answers, with noDriverError as the runtime's last error.
void ExpectAnswersWithoutADriver(const GpuExportsOf& gpu, int32_t noDriverError);

}  // namespace framedec::testing
