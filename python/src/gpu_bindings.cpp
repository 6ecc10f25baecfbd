// The GPU exports. The Python layer keeps one decoder's set-up current at a time and passes only
// frames of its height; here each call runs with the GIL released and reports the CUDA runtime's
// last error of the same thread beside the result code.
#include "bindings.h"
#include "released_gil.h"
#include "codec/frame_geometry.h"
#include "framedec.h"
#include "gpu/buffer_sizes.h"

#if FRAMEDEC_GPU_IMAGE_ON_CUDA_DEVICE
#include <cuda_runtime_api.h>
#endif

namespace framedec::python {
namespace {

int32_t LastCudaError() {
    int32_t error = 0;
    GetGPULastError(&error);
    return error;
}

#if FRAMEDEC_GPU_IMAGE_ON_CUDA_DEVICE
// The CUDA device of the current set-up. The library sets up on the device current on the calling
// thread and keeps working on it whatever thread calls later, so that device is read here, on the
// same thread, just before the set-up. (The Python layer runs set-ups one at a time.)
int setupDevice = 0;
#endif

nb::tuple Setup(int32_t width, int32_t height) {
    int32_t result = 0, error = 0;
    {
        ReleasedGil released;
#if FRAMEDEC_GPU_IMAGE_ON_CUDA_DEVICE
        int device = 0;
        if (cudaGetDevice(&device) == cudaSuccess) setupDevice = device;
#endif
        result = SetupGPUDecode(FrameSize{width, height});
        error = LastCudaError();
    }
    return nb::make_tuple(result, error);
}

nb::tuple Teardown() {
    int32_t result = 0, error = 0;
    {
        ReleasedGil released;
        result = TeardownGPUDecode();
        error = LastCudaError();
    }
    return nb::make_tuple(result, error);
}

bool IsSetup() {
    bool isSetup = false;
    IsSetupGPUDecode(&isSetup);
    return isSetup;
}

// Decodes into out, an image of the frame's lines x pitch bytes.
nb::tuple DecodeToHost(const FrameBuffer& frame, nb::ndarray<uint8_t, nb::ndim<2>, nb::c_contig, nb::device::cpu> out) {
    const uint32_t lines = FrameLines(frame);
    if (lines == 0 || out.shape(0) != lines || out.shape(1) == 0 || out.shape(1) > kGridWidthPixels)
        return nb::make_tuple(FRAMEDEC_INVALID_ARGUMENT, 0);
    const auto pitch = static_cast<int32_t>(out.shape(1));
    uint8_t* output = out.data();
    int32_t result = 0, error = 0;
    {
        ReleasedGil released;
        result = DecodeGPU(true, frame.data(), &output, pitch);
        error = LastCudaError();
    }
    return nb::make_tuple(result, error);
}

// Decodes and leaves the image on the device: (result code, its address, CUDA error).
nb::tuple DecodeOnDevice(const FrameBuffer& frame, int32_t pitch) {
    if (FrameLines(frame) == 0 || pitch < 1 || pitch > static_cast<int32_t>(kGridWidthPixels))
        return nb::make_tuple(FRAMEDEC_INVALID_ARGUMENT, 0, 0);
    uint8_t* image = nullptr;
    int32_t result = 0, error = 0;
    {
        ReleasedGil released;
        result = DecodeGPU(false, frame.data(), &image, pitch);
        error = LastCudaError();
    }
    return nb::make_tuple(result, reinterpret_cast<uintptr_t>(image), error);
}

// Where the library's device buffers live: the set-up's CUDA device, or host memory with the host
// backend.
#if FRAMEDEC_GPU_IMAGE_ON_CUDA_DEVICE
constexpr int32_t kImageDeviceType = nb::device::cuda::value;
int32_t ImageDeviceId() { return setupDevice; }
#else
constexpr int32_t kImageDeviceType = nb::device::cpu::value;
int32_t ImageDeviceId() { return 0; }
#endif

// The image at a device address as a DLPack-capable array (height rows of pitch bytes) whose
// exports keep owner alive for as long as their consumers hold them.
nb::ndarray<nb::array_api, uint8_t, nb::ndim<2>> DeviceImage(uintptr_t address, std::size_t height, std::size_t pitch,
                                                             nb::handle owner) {
    const std::size_t shape[2] = {height, pitch};
    return nb::ndarray<nb::array_api, uint8_t, nb::ndim<2>>(reinterpret_cast<uint8_t*>(address), 2, shape, owner,
                                                            nullptr, nb::dtype<uint8_t>(), kImageDeviceType,
                                                            ImageDeviceId());
}

// Waits until the set-up's device has finished all queued work (a decode queued on the default
// stream included), for a consumer on a stream that does not order itself after it: the CUDA
// error, 0 on success. The calling thread's current device is restored. The host backend's work is
// complete when its launch returns.
int32_t WaitForDevice() {
#if FRAMEDEC_GPU_IMAGE_ON_CUDA_DEVICE
    ReleasedGil released;
    int callerDevice = setupDevice;
    cudaGetDevice(&callerDevice);
    if (callerDevice != setupDevice) {
        const cudaError_t switched = cudaSetDevice(setupDevice);
        if (switched != cudaSuccess) return static_cast<int32_t>(switched);
    }
    const cudaError_t waited = cudaDeviceSynchronize();
    if (callerDevice != setupDevice) cudaSetDevice(callerDevice);
    return static_cast<int32_t>(waited);
#else
    return 0;
#endif
}

}  // namespace

void BindGpu(nb::module_& m) {
    m.attr("GPU_BACKEND") = FRAMEDEC_GPU_BACKEND_NAME;
    m.def("gpu_padded_width", [](int32_t width) { return gpu::PaddedWidth(width); }, nb::arg("width"),
          "The widest pitch DecodeGPU takes after a set-up of this width.");
    m.def("gpu_available", [] { return GetAvailableGPUProcess(); }, "GetAvailableGPUProcess's result code.");
    m.def("gpu_setup", &Setup, nb::arg("width"), nb::arg("height"), "SetupGPUDecode: (result code, CUDA error).");
    m.def("gpu_teardown", &Teardown, "TeardownGPUDecode: (result code, CUDA error).");
    m.def("gpu_is_setup", &IsSetup, "IsSetupGPUDecode's flag.");
    m.def("gpu_decode_to_host", &DecodeToHost, nb::arg("frame"), nb::arg("out"),
          "DecodeGPU with a host copy into out (lines x pitch): (result code, CUDA error).");
    m.def("gpu_decode_to_device", &DecodeOnDevice, nb::arg("frame"), nb::arg("pitch"),
          "DecodeGPU without a copy: (result code, device address, CUDA error).");
    m.def("gpu_device_image", &DeviceImage, nb::arg("address"), nb::arg("height"), nb::arg("pitch"), nb::arg("owner").none(),
          nb::sig("def gpu_device_image(address: int, height: int, pitch: int, owner: object | None) -> typing.Any"),
          "The decoded image at a device address as an array exporting DLPack.");
    m.def("gpu_dlpack_device", [] { return nb::make_tuple(kImageDeviceType, ImageDeviceId()); },
          "The DLPack device (type, id) of the current set-up's device buffers.");
    m.def("gpu_wait_for_device", &WaitForDevice, "Waits for all queued device work: the CUDA error, or 0.");
}

}  // namespace framedec::python
