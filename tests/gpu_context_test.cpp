// The GPU exports and the host application's CUDA contexts, on two devices: every call works in the
// set-up's context, from any thread, and leaves the calling thread's context stack as it found it,
// empty included. The host application's side (its own contexts, pushed and popped with the driver
// API) is played with the host device's context calls, which are what the runtime double's driver
// entry points answer with; so the same tests run on the host backend and over the double.
#include <gtest/gtest.h>

#include <functional>
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
using Stack = std::vector<host::Context*>;

constexpr FrameSize kFullFrame{1246, 1024};
constexpr int32_t kPitch = 1246;

void Push(const Stack& contexts) {
    for (host::Context* context : contexts) EXPECT_EQ(host::PushContext(context), gpu::kSuccess);
}

// Empties the calling thread's context stack; returns what it held, bottom first.
Stack PopAll() {
    Stack stack;
    for (host::Context* top = nullptr; host::CurrentContext(&top) == gpu::kSuccess && top != nullptr;) {
        EXPECT_EQ(host::PopContext(&top), gpu::kSuccess);
        stack.insert(stack.begin(), top);
    }
    return stack;
}

// Runs call on a new thread that holds the given contexts (bottom first); returns the call's result
// and the thread's stack after it.
std::pair<int32_t, Stack> OnNewThread(const Stack& holding, const std::function<int32_t()>& call) {
    std::pair<int32_t, Stack> seen{-1, {}};
    std::thread([&] {
        Push(holding);
        seen.first = call();
        seen.second = PopAll();
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

// Set up under a context on device 1, held on the calling thread while it sets up.
int32_t SetupUnder(host::Context* context) {
    Push({context});
    const int32_t result = SetupGPUDecode(kFullFrame);
    PopAll();
    return result;
}

// Two devices; every test starts and ends torn down, with no fault pending and no context on the
// main thread.
class GpuContexts : public ::testing::Test {
protected:
    void SetUp() override {
        gpu::host_testing::ResetFaults();
        host::DeviceCount(&devicesBefore_);
        gpu::host_testing::SetDeviceCount(2);
        ASSERT_EQ(OnNewThread({}, TeardownGPUDecode).first, FRAMEDEC_OK);
    }
    void TearDown() override {
        gpu::host_testing::ResetFaults();
        EXPECT_EQ(PopAll(), Stack{});
        EXPECT_EQ(OnNewThread({}, TeardownGPUDecode).first, FRAMEDEC_OK);
        LastError();
        gpu::host_testing::SetDeviceCount(devicesBefore_);
    }

private:
    int devicesBefore_ = 1;
};

// The exports that work on the device, each as one call, with the code it fails with.
const struct DeviceExport {
    const char* name;
    int32_t (*call)();
    int32_t failure;
} kDeviceExports[] = {
    {"DecodeGPU to the host",
     [] {
         std::vector<uint8_t> image(std::size_t{1024} * kPitch);
         return DecodeToHost(image);
     },
     FRAMEDEC_GPU_DECODE_FAILED},
    {"DecodeGPU on the device",
     [] {
         uint8_t* onDevice = nullptr;
         return DecodeGPU(false, AstronautFrame().data(), &onDevice, kPitch);
     },
     FRAMEDEC_GPU_DECODE_FAILED},
    {"GetAvailableGPUProcess", GetAvailableGPUProcess, FRAMEDEC_GPU_UNAVAILABLE},
    {"SetupGPUDecode", [] { return SetupGPUDecode(kFullFrame); }, FRAMEDEC_GPU_ALLOC_FAILED},
    {"TeardownGPUDecode", TeardownGPUDecode, FRAMEDEC_GPU_FREE_FAILED},
};

// The caller's device used to be given back with cudaSetDevice: a fresh thread was left holding a
// primary context it never asked for, started on a GPU the host may never use, and a thread's own
// context was replaced by a primary one.
TEST_F(GpuContexts, EveryCallLeavesTheCallersContextStackAsItWas) {
    const struct {
        const char* caller;
        Stack holding;
    } callers[] = {
        {"a fresh thread", {}},
        {"a host context on another device", {PrimaryContext(0), CreateContext(0)}},
    };
    for (const auto& c : callers) {
        ASSERT_EQ(SetupUnder(PrimaryContext(1)), FRAMEDEC_OK);
        for (const DeviceExport& e : kDeviceExports) {
            const auto [result, after] = OnNewThread(c.holding, e.call);
            EXPECT_EQ(result, FRAMEDEC_OK) << c.caller << ", " << e.name;
            EXPECT_EQ(after, c.holding) << c.caller << ", " << e.name;
        }
    }
}

// A set-up made under a host context allocates in it, and every later call works there, from any
// thread: one without a context, one on the device's primary context, one holding another context
// of the same device or of the other device.
TEST_F(GpuContexts, ASetupUnderAHostContextDecodesInItFromAnyThread) {
    host::Context* c1 = CreateContext(1);
    const std::size_t before = LiveAllocations();
    ASSERT_EQ(SetupUnder(c1), FRAMEDEC_OK);
    std::vector<uint8_t> expected(std::size_t{1024} * kPitch);
    ASSERT_EQ(OnNewThread({c1}, [&] { return DecodeToHost(expected); }).first, FRAMEDEC_OK);

    for (const Stack& holding : {Stack{}, Stack{PrimaryContext(1)}, Stack{CreateContext(1)}, Stack{CreateContext(0)}}) {
        std::vector<uint8_t> image(expected.size());
        std::pair<int32_t, Stack> seen;
        CaptureOutput([&] { seen = OnNewThread(holding, [&] { return DecodeToHost(image); }); });
        EXPECT_EQ(seen.first, FRAMEDEC_OK) << holding.size();
        EXPECT_EQ(seen.second, holding);
        EXPECT_EQ(image, expected);
    }
    EXPECT_EQ(OnNewThread({CreateContext(1)}, TeardownGPUDecode).first, FRAMEDEC_OK);
    EXPECT_EQ(LiveAllocations(), before);
}

// A set-up whose second allocation fails keeps the first buffer and its context, so that a
// tear-down from another thread frees the buffer where it lives.
TEST_F(GpuContexts, APartialSetupKeepsItsContextForTheTeardown) {
    const std::size_t before = LiveAllocations();
    FailNextCall(Operation::Allocate, gpu::kErrorMemoryAllocation, 1);
    ASSERT_EQ(SetupUnder(CreateContext(1)), FRAMEDEC_GPU_ALLOC_FAILED);
    LastError();
    EXPECT_EQ(LiveAllocations(), before + 1);
    EXPECT_EQ(OnNewThread({}, TeardownGPUDecode).first, FRAMEDEC_OK);
    EXPECT_EQ(LiveAllocations(), before);
}

// With nothing set up a decode fails at once, as the refused copy of the frame would, without the
// device work that would start a context on the calling thread just to fail.
TEST_F(GpuContexts, ADecodeWithNothingSetUpStartsNoContext) {
    ASSERT_EQ(SetupUnder(PrimaryContext(1)), FRAMEDEC_OK);
    ASSERT_EQ(OnNewThread({}, TeardownGPUDecode).first, FRAMEDEC_OK);
    int32_t lastError = -1;
    std::pair<int32_t, Stack> seen;
    const auto captured = CaptureOutput([&] {
        seen = OnNewThread({}, [&] {
            const int32_t result = kDeviceExports[0].call();
            lastError = LastError();
            return result;
        });
    });
    EXPECT_EQ(seen.first, FRAMEDEC_GPU_DECODE_FAILED);
    EXPECT_EQ(seen.second, Stack{});
    EXPECT_EQ(captured.out, "cudaMemcpy failed!");
    EXPECT_EQ(lastError, gpu::kErrorInvalidValue);
}

// A call that cannot give the caller's context back says so: its failure code, and the driver's
// error from GetGPULastError; the set-up's context is then still on the caller's stack.
TEST_F(GpuContexts, AFailedGiveBackIsReported) {
    constexpr gpu::Error kPopFailed = 46;
    host::Context* c1 = CreateContext(1);
    ASSERT_EQ(SetupUnder(c1), FRAMEDEC_OK);
    for (const DeviceExport& e : kDeviceExports) {
        const auto [result, after] = OnNewThread({c1}, [&] {
            FailNextCall(Operation::PopContext, kPopFailed);
            const int32_t failure = e.call();
            return LastError() == kPopFailed ? failure : -1;
        });
        EXPECT_EQ(result, e.failure) << e.name;
        EXPECT_EQ(after, (Stack{c1, c1})) << e.name;
    }
}

}  // namespace
}  // namespace framedec::testing
