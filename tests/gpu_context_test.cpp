// The GPU exports and the host application's CUDA contexts, on two devices: every call works in the
// set-up's context, from any thread, and leaves the calling thread's context stack exactly as it
// found it, empty included. The host application's side (its own contexts, pushed and popped with
// the driver API) is played with the host device's context calls, which are what the runtime
// double's driver entry points answer with; so the same tests run on the host backend and on the
// cuda backend over the double.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "captured_output.h"
#include "framedec.h"
#include "gpu/runtime/host_device.h"
#include "gpu/runtime/host_fault_injection.h"
#include "test_support.h"

namespace framedec::testing {
namespace {

namespace host = gpu::host;
using gpu::host_testing::CreateContext;
using gpu::host_testing::FailNextCall;
using gpu::host_testing::LiveAllocations;
using gpu::host_testing::Operation;
using gpu::host_testing::PrimaryContext;

constexpr FrameSize kFullFrame{1246, 1024};
constexpr int32_t kPitch = 1246;

host::Context* Current() {
    host::Context* context = nullptr;
    EXPECT_EQ(host::CurrentContext(&context), gpu::kSuccess);
    return context;
}

// The calling thread's context stack, read by popping it empty and pushed back as it was.
std::vector<host::Context*> Stack() {
    std::vector<host::Context*> stack;
    for (host::Context* top = Current(); top != nullptr; top = Current()) {
        EXPECT_EQ(host::PopContext(&top), gpu::kSuccess);
        stack.insert(stack.begin(), top);
    }
    for (host::Context* context : stack) EXPECT_EQ(host::PushContext(context), gpu::kSuccess);
    return stack;
}

// A context the host application holds current on the calling thread for a while.
class HeldContext {
public:
    explicit HeldContext(host::Context* context) : context_(context) {
        EXPECT_EQ(host::PushContext(context), gpu::kSuccess);
    }
    ~HeldContext() {
        host::Context* popped = nullptr;
        EXPECT_EQ(host::PopContext(&popped), gpu::kSuccess);
        EXPECT_EQ(popped, context_);
    }
    HeldContext(const HeldContext&) = delete;
    HeldContext& operator=(const HeldContext&) = delete;

private:
    host::Context* context_;
};

// Runs call on a new thread that first makes the given contexts current (bottom first); returns
// the call's result and the thread's stack after it.
struct OnThread {
    int32_t result;
    std::vector<host::Context*> stackAfter;
};
OnThread OnNewThread(const std::vector<host::Context*>& stack, const std::function<int32_t()>& call) {
    OnThread seen{-1, {}};
    std::thread([&] {
        for (host::Context* context : stack) EXPECT_EQ(host::PushContext(context), gpu::kSuccess);
        seen.result = call();
        seen.stackAfter = Stack();
        for (std::size_t i = 0; i < seen.stackAfter.size(); ++i) {
            host::Context* popped = nullptr;
            host::PopContext(&popped);
        }
    }).join();
    return seen;
}

int32_t LastError() {
    int32_t error = -1;
    EXPECT_EQ(GetGPULastError(&error), FRAMEDEC_OK);
    return error;
}

int32_t DecodeToHost(std::vector<uint8_t>& image) {
    uint8_t* output = image.data();
    return DecodeGPU(true, AstronautFrame().data(), &output, kPitch);
}

// The image of the astronaut frame, decoded once in the primary context of device 0.
const std::vector<uint8_t>& ExpectedImage() {
    static const std::vector<uint8_t> image = [] {
        std::vector<uint8_t> decoded(std::size_t{1024} * kPitch);
        EXPECT_EQ(OnNewThread({}, [&] {
                      if (SetupGPUDecode(kFullFrame) != FRAMEDEC_OK) return -1;
                      const int32_t result = DecodeToHost(decoded);
                      return TeardownGPUDecode() == FRAMEDEC_OK ? result : -1;
                  }).result,
                  FRAMEDEC_OK);
        return decoded;
    }();
    return image;
}

// Two devices; every test starts and ends torn down with no fault pending and no context on the
// main thread.
class GpuContexts : public ::testing::Test {
protected:
    void SetUp() override {
        gpu::host_testing::ResetFaults();
        host::DeviceCount(&devicesBefore_);
        gpu::host_testing::SetDeviceCount(2);
        ExpectedImage();
        ASSERT_EQ(OnNewThread({}, TeardownGPUDecode).result, FRAMEDEC_OK);
        ASSERT_EQ(Current(), nullptr);
    }
    void TearDown() override {
        gpu::host_testing::ResetFaults();
        EXPECT_EQ(OnNewThread({}, TeardownGPUDecode).result, FRAMEDEC_OK);
        LastError();
        gpu::host_testing::SetDeviceCount(devicesBefore_);
        EXPECT_EQ(Stack(), std::vector<host::Context*>{});
    }

private:
    int devicesBefore_ = 1;
};

// The exports that work on the device, each as one call.
struct DeviceExport {
    const char* name;
    int32_t (*call)();
};
const DeviceExport kDeviceExports[] = {
    {"DecodeGPU to the host",
     [] {
         std::vector<uint8_t> image(std::size_t{1024} * kPitch);
         return DecodeToHost(image);
     }},
    {"DecodeGPU on the device",
     [] {
         uint8_t* onDevice = nullptr;
         return DecodeGPU(false, AstronautFrame().data(), &onDevice, kPitch);
     }},
    {"GetAvailableGPUProcess", GetAvailableGPUProcess},
    {"SetupGPUDecode", [] { return SetupGPUDecode(kFullFrame); }},
    {"TeardownGPUDecode", TeardownGPUDecode},
};

// The caller's device used to be given back with cudaSetDevice, which leaves a fresh thread (no
// context) holding a primary context it never asked for, started on a GPU the host may never use.
TEST_F(GpuContexts, AFreshThreadEndsWithNoContext) {
    {
        const HeldContext onDevice1(PrimaryContext(1));
        ASSERT_EQ(SetupGPUDecode(kFullFrame), FRAMEDEC_OK);
    }
    for (const DeviceExport& e : kDeviceExports) {
        const OnThread seen = OnNewThread({}, e.call);
        EXPECT_EQ(seen.result, FRAMEDEC_OK) << e.name;
        EXPECT_EQ(seen.stackAfter, std::vector<host::Context*>{}) << e.name;
    }
}

// A thread that holds a context of its own on another device keeps it, with nothing left above or
// in place of it.
TEST_F(GpuContexts, AHostContextOnAnotherDeviceSurvivesADecode) {
    {
        const HeldContext onDevice1(PrimaryContext(1));
        ASSERT_EQ(SetupGPUDecode(kFullFrame), FRAMEDEC_OK);
    }
    host::Context* c0 = CreateContext(0);
    host::Context* below = PrimaryContext(0);
    for (const DeviceExport& e : kDeviceExports) {
        const OnThread seen = OnNewThread({below, c0}, e.call);
        EXPECT_EQ(seen.result, FRAMEDEC_OK) << e.name;
        EXPECT_EQ(seen.stackAfter, (std::vector<host::Context*>{below, c0})) << e.name;
    }
}

// A set-up made under a host context allocates in it, and every later call works there, from any
// thread: one without a context, one on the device's primary context, one holding another context
// of the same device, and the set-up's own.
TEST_F(GpuContexts, ASetupUnderAHostContextDecodesInItFromAnyThread) {
    host::Context* c1 = CreateContext(1);
    const std::size_t before = LiveAllocations();
    {
        const HeldContext held(c1);
        ASSERT_EQ(SetupGPUDecode(kFullFrame), FRAMEDEC_OK);
    }
    const std::vector<std::vector<host::Context*>> callers = {
        {}, {PrimaryContext(1)}, {CreateContext(1)}, {c1}, {CreateContext(0)}};
    for (const auto& stack : callers) {
        std::vector<uint8_t> image(std::size_t{1024} * kPitch);
        int32_t result = -1;
        const auto captured = CaptureOutput([&] {
            const OnThread seen = OnNewThread(stack, [&] { return DecodeToHost(image); });
            result = seen.result;
            EXPECT_EQ(seen.stackAfter, stack);
        });
        EXPECT_EQ(result, FRAMEDEC_OK) << captured.out << captured.err;
        EXPECT_EQ(image, ExpectedImage());
    }
    const OnThread teardown = OnNewThread({CreateContext(1)}, TeardownGPUDecode);
    EXPECT_EQ(teardown.result, FRAMEDEC_OK);
    EXPECT_EQ(LiveAllocations(), before);
}

// A set-up whose second allocation fails keeps the first buffer and its context, so that a tear-down
// from another thread frees the buffer where it lives.
TEST_F(GpuContexts, APartialSetupKeepsItsContextForTheTeardown) {
    host::Context* c1 = CreateContext(1);
    const std::size_t before = LiveAllocations();
    {
        const HeldContext held(c1);
        FailNextCall(Operation::Allocate, gpu::kErrorMemoryAllocation, 1);
        ASSERT_EQ(SetupGPUDecode(kFullFrame), FRAMEDEC_GPU_ALLOC_FAILED);
        LastError();
    }
    EXPECT_EQ(LiveAllocations(), before + 1);
    EXPECT_EQ(OnNewThread({}, TeardownGPUDecode).result, FRAMEDEC_OK);
    EXPECT_EQ(LiveAllocations(), before);
}

// With nothing set up a decode fails at once, as the refused copy of the frame would, without any
// device work: none that would start a context on the calling thread just to fail.
TEST_F(GpuContexts, ADecodeWithNothingSetUpStartsNoContext) {
    ASSERT_EQ(OnNewThread({}, [] { return SetupGPUDecode(kFullFrame); }).result, FRAMEDEC_OK);
    ASSERT_EQ(OnNewThread({}, TeardownGPUDecode).result, FRAMEDEC_OK);
    for (bool copyToHost : {true, false}) {
        int32_t lastError = -1;
        OnThread seen{};
        const auto captured = CaptureOutput([&] {
            seen = OnNewThread({}, [&] {
                std::vector<uint8_t> image(16, 7);
                uint8_t* output = image.data();
                const int32_t result = DecodeGPU(copyToHost, AstronautFrame().data(), &output, kPitch);
                lastError = LastError();
                return result;
            });
        });
        EXPECT_EQ(seen.result, FRAMEDEC_GPU_DECODE_FAILED);
        EXPECT_EQ(seen.stackAfter, std::vector<host::Context*>{});
        EXPECT_EQ(captured.out, "cudaMemcpy failed!");
        EXPECT_EQ(captured.err, "");
        EXPECT_EQ(lastError, gpu::kErrorInvalidValue);
    }
}

// A call that cannot give the caller's context back says so: its failure code, and the driver's
// error from GetGPULastError. The set-up's context is then still pushed on the caller's stack.
TEST_F(GpuContexts, AFailedGiveBackIsReported) {
    constexpr gpu::Error kPopFailed = 46;
    host::Context* c1 = CreateContext(1);
    const HeldContext held(c1);
    const int32_t failures[] = {FRAMEDEC_GPU_DECODE_FAILED, FRAMEDEC_GPU_DECODE_FAILED, FRAMEDEC_GPU_UNAVAILABLE,
                                FRAMEDEC_GPU_ALLOC_FAILED, FRAMEDEC_GPU_FREE_FAILED};
    ASSERT_EQ(SetupGPUDecode(kFullFrame), FRAMEDEC_OK);
    for (std::size_t i = 0; i < std::size(kDeviceExports); ++i) {
        FailNextCall(Operation::PopContext, kPopFailed);
        EXPECT_EQ(kDeviceExports[i].call(), failures[i]) << kDeviceExports[i].name;
        EXPECT_EQ(LastError(), kPopFailed) << kDeviceExports[i].name;
        EXPECT_EQ(Stack(), (std::vector<host::Context*>{c1, c1})) << kDeviceExports[i].name;
        host::Context* left = nullptr;
        EXPECT_EQ(host::PopContext(&left), gpu::kSuccess);
    }
}

// A call whose push of the set-up's context fails does no work and reports the driver's error.
TEST_F(GpuContexts, AFailedPushDoesNothing) {
    ASSERT_EQ(OnNewThread({}, [] { return SetupGPUDecode(kFullFrame); }).result, FRAMEDEC_OK);
    CanaryBuffer image(std::size_t{1024} * kPitch);
    uint8_t* output = image.bytes.data();
    const std::size_t kernelRuns = gpu::host_testing::KernelRuns();
    FailNextCall(Operation::PushContext, gpu::kErrorInvalidContext);
    EXPECT_EQ(DecodeGPU(true, AstronautFrame().data(), &output, kPitch), FRAMEDEC_GPU_DECODE_FAILED);
    EXPECT_EQ(LastError(), gpu::kErrorInvalidContext);
    EXPECT_TRUE(image.Untouched());
    EXPECT_EQ(gpu::host_testing::KernelRuns(), kernelRuns);
    EXPECT_EQ(Stack(), std::vector<host::Context*>{});
}

}  // namespace
}  // namespace framedec::testing
