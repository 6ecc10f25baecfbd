// Device buffers and kernel runs for the GPU tests (on the host device: "device" memory is host
// memory in the device's registry, and a launch has finished when it returns).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "gpu/kernels/int2.h"
#include "gpu/kernels/kernels.h"
#include "gpu/launch.h"
#include "gpu/runtime/runtime.h"

namespace framedec::testing {

// A device allocation holding a copy of contents; freed when the buffer goes.
template <class T>
class DeviceBuffer {
public:
    explicit DeviceBuffer(const std::vector<T>& contents);
    ~DeviceBuffer();
    DeviceBuffer(const DeviceBuffer&) = delete;
    DeviceBuffer& operator=(const DeviceBuffer&) = delete;

    T* get() const { return data_; }
    std::vector<T> Read() const;

private:
    T* data_ = nullptr;
    std::size_t count_ = 0;
};

extern template class DeviceBuffer<uint8_t>;
extern template class DeviceBuffer<float>;
extern template class DeviceBuffer<int>;

// The kernel library, loaded once for the tests (a failure fails the calling test).
gpu::runtime::KernelLibrary TestKernelLibrary();

// A kernel of the library, found by its name.
template <class... Params>
gpu::LaunchableKernel<Params...> LoadedKernel(gpu::KernelName<Params...> name) {
    gpu::LaunchableKernel<Params...> kernel;
    EXPECT_EQ(gpu::FindKernel(TestKernelLibrary(), name, &kernel), gpu::kSuccess) << name.mangled;
    return kernel;
}

// The device frame copy of a frame: its bytes from byte 4 on, then 4 zero bytes so that every
// grid position of every block row is 16 bytes.
std::vector<uint8_t> FrameCopyOf(const std::vector<uint8_t>& frame);

// huffman over a frame's block grid (160 across, rows down) into a coefficient buffer that starts
// filled with fill; returns the buffer.
std::vector<float> RunHuffman(const std::vector<uint8_t>& frame, uint32_t rows, float fill = 0.0f);

// inverseDCT_2DLLM over block records (64 floats per block, 160 blocks across, rows down) with
// column limit = pitch; returns 8 x rows lines of pitch bytes.
std::vector<uint8_t> RunInverseDct(const std::vector<float>& records, uint32_t rows, int pitch);

// huffman then inverseDCT_2DLLM over the whole frame, as the frame decode runs them; returns
// 8 x rows lines of pitch bytes.
std::vector<uint8_t> RunFrameKernels(const std::vector<uint8_t>& frame, uint32_t rows, int pitch);

}  // namespace framedec::testing
