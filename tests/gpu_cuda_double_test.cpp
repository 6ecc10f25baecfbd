// The cuda backend's own code over the runtime double (cuda_runtime_double.h): the embedded fatbin
// is what it loads, once per GPU state, and kernels are found by their names in it. The GPU exports'
// suite (gpu_exports_test.cpp) runs in the same program, so every result code, message and
// last-error rule of the exports is checked through this backend as well.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cuda_runtime_double.h"
#include "framedec.h"
#include "gpu/gpu_state.h"
#include "gpu/launch.h"
#include "gpu/runtime/embedded_fatbin.h"
#include "gpu/runtime/host_fault_injection.h"
#include "test_support.h"

namespace framedec::testing {
namespace {

int CurrentDevice() {
    int device = -1;
    EXPECT_EQ(CudaRuntimeDouble().getDevice(&device), cudaSuccess);
    return device;
}

int32_t DecodeToHost(std::vector<uint8_t>& image) {
    uint8_t* output = image.data();
    return DecodeGPU(true, AstronautFrame().data(), &output, 1246);
}

// The devices that the logged calls went to, and the entry points that made them.
struct DeviceCalls {
    std::set<int> devices;
    std::set<std::string> entryPoints;
};

DeviceCalls TakeCalls() {
    DeviceCalls calls;
    for (const DeviceCall& call : TakeDeviceCalls()) {
        calls.devices.insert(call.device);
        calls.entryPoints.insert(call.entryPoint);
    }
    return calls;
}

// On a host with two GPUs the application sets up on device 1, then makes device 0 current on its
// thread, and also decodes from a new thread (which starts on device 0). Every call works on device
// 1, where the buffers are, and each thread keeps its own current device. Without a set-up the
// availability check asks about the caller's device.
TEST(CudaBackendOverTheDouble, EveryCallWorksOnTheSetupsDevice) {
    ASSERT_EQ(CudaRuntimeDouble().setDevice(1), cudaSuccess);
    TakeDeviceCalls();
    ASSERT_EQ(SetupGPUDecode(FrameSize{1246, 1024}), FRAMEDEC_OK);
    ASSERT_EQ(CudaRuntimeDouble().setDevice(0), cudaSuccess);

    std::vector<uint8_t> here(std::size_t{1024} * 1246), there(here.size());
    EXPECT_EQ(DecodeToHost(here), FRAMEDEC_OK);
    int32_t result = -1;
    int threadsDevice = -1;
    std::thread([&] {
        result = DecodeToHost(there);
        threadsDevice = CurrentDevice();
    }).join();
    EXPECT_EQ(result, FRAMEDEC_OK);
    EXPECT_EQ(threadsDevice, 0);
    EXPECT_EQ(here, there);
    uint8_t* onDevice = nullptr;
    EXPECT_EQ(DecodeGPU(false, AstronautFrame().data(), &onDevice, 1246), FRAMEDEC_OK);
    EXPECT_EQ(GetAvailableGPUProcess(), FRAMEDEC_OK);
    EXPECT_EQ(TeardownGPUDecode(), FRAMEDEC_OK);
    EXPECT_EQ(CurrentDevice(), 0);
    const DeviceCalls calls = TakeCalls();
    EXPECT_EQ(calls.devices, std::set<int>{1});
    EXPECT_EQ(calls.entryPoints, (std::set<std::string>{"cudaDeviceSynchronize", "cudaFree", "cudaFuncGetAttributes",
                                                        "cudaLaunchKernel", "cudaMalloc", "cudaMemcpy", "cudaMemset"}));

    EXPECT_EQ(GetAvailableGPUProcess(), FRAMEDEC_OK);
    EXPECT_EQ(TakeCalls().devices, std::set<int>{0});
}

// A thread that cannot enter the set-up's context does no work on any device: each export fails
// with its own code and the driver's error, and the next call works again.
TEST(CudaBackendOverTheDouble, ACallThatCannotReachTheSetupsDeviceDoesNothing) {
    ASSERT_EQ(CudaRuntimeDouble().setDevice(1), cudaSuccess);
    ASSERT_EQ(SetupGPUDecode(FrameSize{1246, 1024}), FRAMEDEC_OK);
    ASSERT_EQ(CudaRuntimeDouble().setDevice(0), cudaSuccess);
    std::vector<uint8_t> image(std::size_t{1024} * 1246);
    const struct {
        int32_t (*call)(std::vector<uint8_t>&);
        int32_t failure;
    } exports[] = {
        {DecodeToHost, FRAMEDEC_GPU_DECODE_FAILED},
        {[](std::vector<uint8_t>&) { return GetAvailableGPUProcess(); }, FRAMEDEC_GPU_UNAVAILABLE},
        {[](std::vector<uint8_t>&) { return TeardownGPUDecode(); }, FRAMEDEC_GPU_FREE_FAILED},
    };
    for (const auto& e : exports) {
        TakeDeviceCalls();
        gpu::host_testing::FailNextCall(gpu::host_testing::Operation::PushContext, gpu::kErrorInvalidContext);
        EXPECT_EQ(e.call(image), e.failure);
        EXPECT_TRUE(TakeDeviceCalls().empty());
        int32_t error = 0;
        EXPECT_EQ(GetGPULastError(&error), FRAMEDEC_OK);
        EXPECT_EQ(error, gpu::kErrorInvalidContext);
        EXPECT_EQ(CurrentDevice(), 0);
        EXPECT_EQ(e.call(image), FRAMEDEC_OK);
    }
}

TEST(CudaBackendOverTheDouble, LoadsTheEmbeddedFatbinOnceAndFindsKernelsByName) {
    gpu::GpuState state;
    const std::size_t loads = gpu::host_testing::KernelLibraryLoads();
    ASSERT_EQ(gpu::CheckGpuAvailable(state), FRAMEDEC_OK);
    ASSERT_EQ(gpu::SetupGpuState(state, FrameSize{64, 16}), FRAMEDEC_OK);
    ASSERT_EQ(gpu::SetupGpuState(state, FrameSize{1246, 1024}), FRAMEDEC_OK);
    EXPECT_EQ(gpu::host_testing::KernelLibraryLoads(), loads + 1);
    EXPECT_EQ(LastLoadedCode(), gpu::EmbeddedFatbin());
    EXPECT_GT(gpu::EmbeddedFatbinSize(), 16u);

    // A name that is not in the device code is not found, and the kernel stays as it was.
    gpu::LaunchableKernel<unsigned char*, float*, int2> kernel = state.kernels.huffman;
    EXPECT_EQ(gpu::FindKernel(state.kernels.library, gpu::KernelName<unsigned char*, float*, int2>{"huffman"}, &kernel),
              gpu::kErrorSymbolNotFound);
    EXPECT_EQ(kernel.handle, state.kernels.huffman.handle);
    EXPECT_EQ(gpu::runtime::LastError(), gpu::kErrorSymbolNotFound);
    EXPECT_EQ(gpu::TeardownGpuState(state), FRAMEDEC_OK);
}

}  // namespace
}  // namespace framedec::testing

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    framedec::gpu::cuda_testing::ReplaceCudaRuntime(framedec::testing::CudaRuntimeDouble());
    framedec::gpu::host_testing::SetDeviceCount(2);
    return RUN_ALL_TESTS();
}
