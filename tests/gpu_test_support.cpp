#include "gpu_test_support.h"

#include <gtest/gtest.h>

#include "codec/frame_geometry.h"

namespace framedec::testing {

using gpu::CopyKind;
namespace runtime = gpu::runtime;

template <class T>
DeviceBuffer<T>::DeviceBuffer(const std::vector<T>& contents) : count_(contents.size()) {
    void* address = nullptr;
    EXPECT_EQ(runtime::Allocate(&address, count_ * sizeof(T)), gpu::kSuccess);
    data_ = static_cast<T*>(address);
    EXPECT_EQ(runtime::Copy(data_, contents.data(), count_ * sizeof(T), CopyKind::HostToDevice), gpu::kSuccess);
}

template <class T>
DeviceBuffer<T>::~DeviceBuffer() {
    EXPECT_EQ(runtime::Free(data_), gpu::kSuccess);
}

template <class T>
std::vector<T> DeviceBuffer<T>::Read() const {
    std::vector<T> contents(count_);
    EXPECT_EQ(runtime::Copy(contents.data(), data_, count_ * sizeof(T), CopyKind::DeviceToHost), gpu::kSuccess);
    return contents;
}

template class DeviceBuffer<uint8_t>;
template class DeviceBuffer<float>;
template class DeviceBuffer<int>;

gpu::runtime::KernelLibrary TestKernelLibrary() {
    static const gpu::runtime::KernelLibrary library = [] {
        gpu::runtime::KernelLibrary loaded{};
        EXPECT_EQ(runtime::LoadKernelLibrary(&loaded), gpu::kSuccess);
        return loaded;
    }();
    return library;
}

std::vector<uint8_t> FrameCopyOf(const std::vector<uint8_t>& frame) {
    std::vector<uint8_t> copy(frame.begin() + kRowLeadInBytes, frame.end());
    copy.resize(frame.size());
    return copy;
}

std::vector<float> RunHuffman(const std::vector<uint8_t>& frame, uint32_t rows, float fill) {
    const int2 grid{static_cast<int>(kGridPositionsPerRow), static_cast<int>(rows)};
    DeviceBuffer<uint8_t> frameCopy(FrameCopyOf(frame));
    DeviceBuffer<float> coefficients(std::vector<float>(std::size_t{kGridPositionsPerRow} * rows * kBlockPixels, fill));
    gpu::Launch(LoadedKernel(gpu::kHuffman), gpu::BlockGridLaunch(grid), frameCopy.get(), coefficients.get(), grid);
    EXPECT_EQ(runtime::LastError(), gpu::kSuccess);
    return coefficients.Read();
}

std::vector<uint8_t> RunFrameKernels(const std::vector<uint8_t>& frame, uint32_t rows, int pitch) {
    return RunInverseDct(RunHuffman(frame, rows), rows, pitch);
}

std::vector<uint8_t> RunInverseDct(const std::vector<float>& records, uint32_t rows, int pitch) {
    const int2 grid{static_cast<int>(kGridPositionsPerRow), static_cast<int>(rows)};
    DeviceBuffer<float> coefficients(records);
    DeviceBuffer<uint8_t> pixels(std::vector<uint8_t>(std::size_t{kBlockSize} * rows * pitch));
    gpu::Launch(LoadedKernel(gpu::kInverseDctLlm), gpu::BlockGridLaunch(grid), coefficients.get(), pixels.get(), grid,
                int2{pitch, static_cast<int>(kBlockSize * rows)}, pitch);
    EXPECT_EQ(runtime::LastError(), gpu::kSuccess);
    return pixels.Read();
}

}  // namespace framedec::testing
