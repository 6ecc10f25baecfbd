// The host backend of the GPU runtime: device memory registry, launches over the whole grid, the
// CUDA error numbers, the last error and the test-only fault injection. (That the last error is
// per thread is checked through GetGPULastError.)
#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <tuple>

#include "gpu/kernels/device_compat.h"
#include "gpu/launch.h"
#include "gpu/runtime/host_fault_injection.h"
#include "gpu/runtime/runtime.h"
#include "gpu_test_support.h"

namespace framedec::testing {
namespace {

using gpu::CopyKind;
using gpu::host_testing::Operation;
namespace runtime = gpu::runtime;

// A kernel that records which GPU thread ran it: one int per thread of a 1-D numbering.
__global__ void RecordThread(int* seen, int2 size) {
    const unsigned x = blockIdx.x * blockDim.x + threadIdx.x;
    const unsigned y = blockIdx.y * blockDim.y + threadIdx.y;
    seen[y * size.x + x] += 1;
}

// A host function as a launchable kernel.
template <class... Params>
gpu::LaunchableKernel<Params...> HostKernel(void (*function)(Params...)) {
    return {runtime::KernelOf(function)};
}

class HostRuntime : public ::testing::Test {
protected:
    void SetUp() override {
        gpu::host_testing::ResetFaults();
        runtime::LastError();
    }
    void TearDown() override { gpu::host_testing::ResetFaults(); }
};

TEST_F(HostRuntime, MemoryIsARegistryOfAllocations) {
    const std::size_t before = gpu::host_testing::LiveAllocations();
    void* a = nullptr;
    ASSERT_EQ(runtime::Allocate(&a, 100), gpu::kSuccess);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(a) % 256, 0u);
    EXPECT_EQ(gpu::host_testing::AllocationBytes(a), 100u);
    EXPECT_EQ(gpu::host_testing::LiveAllocations(), before + 1);

    const std::vector<uint8_t> in(100, 9);
    std::vector<uint8_t> out(100, 0);
    auto* bytes = static_cast<uint8_t*>(a);
    EXPECT_EQ(runtime::Copy(a, in.data(), 100, CopyKind::HostToDevice), gpu::kSuccess);
    EXPECT_EQ(runtime::ZeroFill(bytes + 50, 50), gpu::kSuccess);
    EXPECT_EQ(runtime::Copy(out.data(), a, 100, CopyKind::DeviceToHost), gpu::kSuccess);
    EXPECT_EQ(out[49], 9);
    EXPECT_EQ(out[50], 0);

    // Ranges that leave the allocation, and addresses that are not device memory, are refused.
    EXPECT_EQ(runtime::Copy(bytes + 1, in.data(), 100, CopyKind::HostToDevice), gpu::kErrorInvalidValue);
    EXPECT_EQ(runtime::Copy(out.data(), in.data(), 1, CopyKind::DeviceToHost), gpu::kErrorInvalidValue);
    EXPECT_EQ(runtime::Copy(nullptr, in.data(), 1, CopyKind::HostToDevice), gpu::kErrorInvalidValue);
    EXPECT_EQ(runtime::ZeroFill(nullptr, 1), gpu::kErrorInvalidValue);
    EXPECT_EQ(runtime::Free(out.data()), gpu::kErrorInvalidValue);
    EXPECT_EQ(runtime::Free(bytes + 1), gpu::kErrorInvalidValue);
    EXPECT_EQ(runtime::LastError(), gpu::kErrorInvalidValue);

    EXPECT_EQ(runtime::Free(a), gpu::kSuccess);
    EXPECT_EQ(runtime::Free(a), gpu::kErrorInvalidValue);  // twice
    EXPECT_EQ(runtime::Free(nullptr), gpu::kSuccess);
    EXPECT_EQ(gpu::host_testing::LiveAllocations(), before);

    void* huge = &huge;
    EXPECT_EQ(runtime::Allocate(&huge, std::size_t{1} << 40), gpu::kErrorMemoryAllocation);
    EXPECT_EQ(huge, nullptr);
}

TEST_F(HostRuntime, LaunchRunsEveryThreadOfTheGridOnce) {
    const int2 size{10, 7};  // 3 x 4 thread blocks of 4 x 2: 12 x 8 threads
    DeviceBuffer<int> seen(std::vector<int>(12 * 8, 0));
    gpu::Launch(HostKernel(RecordThread), gpu::BlockGridLaunch(size), seen.get(), int2{12, 8});
    EXPECT_EQ(runtime::LastError(), gpu::kSuccess);
    EXPECT_EQ(seen.Read(), std::vector<int>(12 * 8, 1));
}

TEST_F(HostRuntime, LaunchGeometryIsFourByTwoThreadBlocks) {
    const auto frame = gpu::BlockGridLaunch(int2{160, 128});
    EXPECT_EQ(std::tie(frame.grid.x, frame.grid.y, frame.grid.z), std::make_tuple(40u, 64u, 1u));
    EXPECT_EQ(std::tie(frame.block.x, frame.block.y, frame.block.z), std::make_tuple(4u, 2u, 1u));
    const auto odd = gpu::BlockGridLaunch(int2{5, 127});
    EXPECT_EQ(std::tie(odd.grid.x, odd.grid.y), std::make_tuple(2u, 64u));
    EXPECT_EQ(gpu::BlockGridLaunch(int2{160, 0}).grid.y, 0u);
}

TEST_F(HostRuntime, RefusedLaunchesRunNothingAndSetTheLastError) {
    DeviceBuffer<int> seen(std::vector<int>(8, 0));
    gpu::Launch(HostKernel(RecordThread), gpu::BlockGridLaunch(int2{4, 0}), seen.get(), int2{4, 2});
    EXPECT_EQ(runtime::LastError(), gpu::kErrorInvalidConfiguration);
    EXPECT_EQ(runtime::LastError(), gpu::kSuccess);  // cleared when read
    gpu::Launch(HostKernel(RecordThread), gpu::LaunchGeometry{{1, 1, 1}, {2048, 1, 1}}, seen.get(), int2{4, 2});
    EXPECT_EQ(runtime::LastError(), gpu::kErrorInvalidConfiguration);
    EXPECT_EQ(seen.Read(), std::vector<int>(8, 0));
}

// A kernel that faults (given host memory, it does not run) or an injected execution fault
// disables the device as a fault disables a CUDA context: every operation then fails with that
// error, on every thread, and reading the last error does not clear it.
TEST_F(HostRuntime, AnExecutionFaultFailsEveryLaterOperation) {
    std::vector<int> host(8, 0);
    const std::function<void()> faults[] = {
        [&] { gpu::Launch(HostKernel(RecordThread), gpu::BlockGridLaunch(int2{4, 2}), host.data(), int2{4, 2}); },
        [] {
            gpu::host_testing::FailNextCall(Operation::Launch, 719);
            gpu::Launch(HostKernel(RecordThread), gpu::BlockGridLaunch(int2{4, 2}), static_cast<int*>(nullptr), int2{4, 2});
        },
        [] {
            gpu::host_testing::FailNextCall(Operation::Synchronize, 716);
            runtime::Synchronize();
        },
        [] {
            gpu::host_testing::FailNextCall(Operation::Synchronize, 721);  // tensor memory leak
            runtime::Synchronize();
        },
        [] {
            gpu::host_testing::FailNextCall(Operation::Free, 810);  // MPS client terminated
            runtime::Free(nullptr);
        },
    };
    const gpu::Error errors[] = {gpu::kErrorIllegalAddress, 719, 716, 721, 810};
    for (std::size_t i = 0; i < std::size(faults); ++i) {
        const gpu::Error fault = errors[i];
        DeviceBuffer<int> seen(std::vector<int>(8, 0));
        faults[i]();
        EXPECT_EQ(host, std::vector<int>(8, 0));
        EXPECT_EQ(runtime::LastError(), fault);
        EXPECT_EQ(runtime::LastError(), fault);  // not cleared
        gpu::Error elsewhere = 0;
        std::thread([&] { elsewhere = runtime::LastError(); }).join();
        EXPECT_EQ(elsewhere, fault);

        const std::size_t kernelRuns = gpu::host_testing::KernelRuns();
        gpu::Launch(HostKernel(RecordThread), gpu::BlockGridLaunch(int2{4, 2}), seen.get(), int2{4, 2});
        EXPECT_EQ(gpu::host_testing::KernelRuns(), kernelRuns);
        int count = -1;
        void* a = &a;
        EXPECT_EQ(runtime::DeviceCount(&count), fault);
        EXPECT_EQ(runtime::KernelAttributes(runtime::KernelOf(RecordThread)), fault);
        EXPECT_EQ(runtime::Allocate(&a, 16), fault);
        EXPECT_EQ(a, nullptr);
        EXPECT_EQ(runtime::ZeroFill(seen.get(), 4), fault);
        EXPECT_EQ(runtime::Copy(host.data(), seen.get(), 4, CopyKind::DeviceToHost), fault);
        EXPECT_EQ(runtime::Synchronize(), fault);
        EXPECT_EQ(runtime::Free(nullptr), fault);

        gpu::host_testing::ResetFaults();  // a new process, as far as the device is concerned
        EXPECT_EQ(runtime::LastError(), gpu::kSuccess);
        EXPECT_EQ(seen.Read(), std::vector<int>(8, 0));
    }
}

TEST_F(HostRuntime, InjectedFaultsHitOnlyTheNextCallOfTheirOperation) {
    void* a = nullptr;
    ASSERT_EQ(runtime::Allocate(&a, 64), gpu::kSuccess);
    std::vector<uint8_t> host(64, 1);

    gpu::host_testing::FailNextCall(Operation::Copy, 77);
    EXPECT_EQ(runtime::ZeroFill(a, 64), gpu::kSuccess);
    EXPECT_EQ(runtime::Copy(a, host.data(), 64, CopyKind::HostToDevice), 77);
    EXPECT_EQ(runtime::Copy(host.data(), a, 64, CopyKind::DeviceToHost), gpu::kSuccess);
    EXPECT_EQ(host, std::vector<uint8_t>(64, 0));  // the failed copy changed nothing
    EXPECT_EQ(runtime::LastError(), 77);

    gpu::host_testing::FailNextCall(Operation::Free, 4);
    EXPECT_EQ(runtime::Free(a), 4);
    EXPECT_EQ(gpu::host_testing::AllocationBytes(a), 64u);  // still allocated
    EXPECT_EQ(runtime::Free(a), gpu::kSuccess);

    gpu::host_testing::FailNextCall(Operation::Allocate, gpu::kErrorMemoryAllocation);
    void* b = &b;
    EXPECT_EQ(runtime::Allocate(&b, 64), gpu::kErrorMemoryAllocation);
    EXPECT_EQ(b, nullptr);

    gpu::host_testing::FailNextCall(Operation::KernelAttributes, gpu::kErrorNoKernelImage);
    EXPECT_EQ(runtime::KernelAttributes(runtime::KernelOf(RecordThread)), gpu::kErrorNoKernelImage);
    EXPECT_EQ(runtime::KernelAttributes(runtime::KernelOf(RecordThread)), gpu::kSuccess);

    gpu::host_testing::FailNextCall(Operation::Launch, gpu::kErrorInvalidConfiguration);
    gpu::host_testing::FailNextCall(Operation::Synchronize, 999);
    gpu::host_testing::FailNextCall(Operation::ZeroFill, 3);
    gpu::Launch(HostKernel(RecordThread), gpu::BlockGridLaunch(int2{4, 2}), static_cast<int*>(nullptr), int2{4, 2});
    EXPECT_EQ(runtime::LastError(), gpu::kErrorInvalidConfiguration);
    EXPECT_EQ(runtime::Synchronize(), 999);
    EXPECT_EQ(runtime::ZeroFill(nullptr, 0), 3);
    EXPECT_EQ(runtime::Synchronize(), gpu::kSuccess);
}

TEST_F(HostRuntime, WithoutADeviceEveryOperationReportsNoDevice) {
    gpu::host_testing::SetNoDevice(true);
    int count = -1;
    EXPECT_EQ(runtime::DeviceCount(&count), gpu::kErrorNoDevice);
    EXPECT_EQ(count, 0);
    void* a = &a;
    EXPECT_EQ(runtime::Allocate(&a, 16), gpu::kErrorNoDevice);
    EXPECT_EQ(a, nullptr);
    EXPECT_EQ(runtime::Free(nullptr), gpu::kErrorNoDevice);
    EXPECT_EQ(runtime::KernelAttributes(runtime::KernelOf(RecordThread)), gpu::kErrorNoDevice);
    EXPECT_EQ(runtime::Synchronize(), gpu::kErrorNoDevice);
    EXPECT_EQ(runtime::LastError(), gpu::kErrorNoDevice);

    gpu::host_testing::SetNoDevice(false);
    EXPECT_EQ(runtime::DeviceCount(&count), gpu::kSuccess);
    EXPECT_EQ(count, 1);
}

}  // namespace
}  // namespace framedec::testing
