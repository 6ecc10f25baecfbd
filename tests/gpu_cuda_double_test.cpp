// The cuda backend's own code over the runtime double (cuda_runtime_double.h): the embedded fatbin
// is what it loads, once per GPU state, and kernels are found by their names in it. The GPU exports'
// suite (gpu_exports_test.cpp) runs in the same program, so every result code, message and
// last-error rule of the exports is checked through this backend as well.
#include <gtest/gtest.h>

#include "cuda_runtime_double.h"
#include "gpu/gpu_state.h"
#include "gpu/launch.h"
#include "gpu/runtime/embedded_fatbin.h"
#include "gpu/runtime/host_fault_injection.h"

namespace framedec::testing {
namespace {

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
    return RUN_ALL_TESTS();
}
