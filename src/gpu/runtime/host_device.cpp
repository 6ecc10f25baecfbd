// The host device: a simulated GPU in host memory (see host_device.h).
#include "gpu/runtime/host_device.h"

#include <array>
#include <atomic>
#include <cstring>
#include <deque>
#include <iterator>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <string_view>
#include <vector>

#include "gpu/runtime/host_fault_injection.h"
#include "gpu/runtime/host_thread_index.h"

namespace framedec::gpu::host {

struct Context {
    int device;
};

namespace {

thread_local uint3 threadIndex;
thread_local uint3 blockIndex;
thread_local uint3 blockDimensions;

}  // namespace

const uint3& ThreadIndex() { return threadIndex; }
const uint3& BlockIndex() { return blockIndex; }
const uint3& BlockDimensions() { return blockDimensions; }

namespace {

using host_testing::Operation;

inline constexpr std::size_t kDeviceMemoryBytes = std::size_t{1} << 30;  // 1 GiB, like a small GPU
inline constexpr std::align_val_t kAllocationAlignment{256};            // as cudaMalloc aligns
inline constexpr std::size_t kOperationCount = static_cast<std::size_t>(Operation::PopContext) + 1;

// CUDA's launch limits.
inline constexpr unsigned kMaxThreadsPerBlock = 1024;
inline constexpr unsigned kMaxBlockX = 1024, kMaxBlockY = 1024, kMaxBlockZ = 64;
inline constexpr unsigned kMaxGridX = 0x7FFFFFFFu, kMaxGridY = 65535, kMaxGridZ = 65535;

struct InjectedFault {
    Error error;
    unsigned skipCalls;  // calls of the operation that still run normally first
};

struct Allocation {
    std::size_t bytes;
    const Context* context;  // the context that allocated it, the only one that finds it
};

struct Device {
    std::mutex lock;  // held for every operation's whole work: one operation at a time, in order
    std::map<const std::byte*, Allocation> allocations;  // by start
    std::size_t allocatedBytes = 0;
    int deviceCount = 1;
    std::deque<Context> contexts;          // every context made, never destroyed (stable addresses)
    std::map<int, Context*> primaries;     // device -> its primary context, made on first use
    std::array<std::optional<InjectedFault>, kOperationCount> injected{};
    bool noDevice = false;
    // An execution fault, raised by a kernel or injected: once set, every operation reports it and
    // reading the last error does not clear it, on every thread, as in a CUDA context after a fault.
    std::atomic<Error> stickyFault{kSuccess};
    std::size_t kernelRuns = 0;
    std::size_t libraryLoads = 0;
};

// Never destroyed: device memory outlives the library's static objects, as on a GPU.
Device& TheDevice() {
    static Device& device = *new Device;
    return device;
}

thread_local Error lastError = kSuccess;
thread_local std::vector<Context*> contextStack;  // the driver's context stack of the thread
thread_local int threadDevice = 0;                // the runtime's current device of the thread

// Called with the device lock held.
Context* PrimaryContextOf(Device& device, int ordinal) {
    Context*& primary = device.primaries[ordinal];
    if (primary == nullptr) primary = &device.contexts.emplace_back(Context{ordinal});
    return primary;
}

// The context that a device operation of the calling thread works in: the top of its stack, or,
// on an empty stack, the primary context of its current device, which becomes current as the
// runtime makes it. Called with the device lock held.
const Context* BoundContext(Device& device) {
    if (contextStack.empty()) contextStack.push_back(PrimaryContextOf(device, threadDevice));
    return contextStack.back();
}

// Records a failure as the calling thread's last error; an execution fault also faults the device.
Error Fail(Device& device, Error error) {
    lastError = error;
    if (IsStickyError(error)) device.stickyFault = error;
    return error;
}

// The failure that an operation meets before doing anything: an earlier execution fault, no
// device, or an injected fault. Called with the device lock held.
std::optional<Error> PresetFailure(Device& device, Operation operation) {
    if (const Error fault = device.stickyFault) return fault;
    if (device.noDevice) return kErrorNoDevice;
    auto& injected = device.injected[static_cast<std::size_t>(operation)];
    if (!injected) return std::nullopt;
    if (injected->skipCalls > 0) {
        --injected->skipCalls;
        return std::nullopt;
    }
    const Error error = injected->error;
    injected.reset();
    return error;
}

// Whether [address, address + bytes) lies inside one live allocation of context.
bool InsideAllocation(const Device& device, const void* address, std::size_t bytes, const Context* context) {
    if (address == nullptr) return false;
    const auto* p = static_cast<const std::byte*>(address);
    auto after = device.allocations.upper_bound(p);
    if (after == device.allocations.begin()) return false;
    const auto& [start, allocation] = *std::prev(after);
    const auto offset = static_cast<std::size_t>(p - start);
    return allocation.context == context && offset < allocation.bytes && bytes <= allocation.bytes - offset;
}

bool ValidLaunch(Dim3 grid, Dim3 block) {
    if (grid.x == 0 || grid.y == 0 || grid.z == 0 || block.x == 0 || block.y == 0 || block.z == 0) return false;
    if (grid.x > kMaxGridX || grid.y > kMaxGridY || grid.z > kMaxGridZ) return false;
    if (block.x > kMaxBlockX || block.y > kMaxBlockY || block.z > kMaxBlockZ) return false;
    return std::size_t{block.x} * block.y * block.z <= kMaxThreadsPerBlock;
}

}  // namespace

namespace detail {

bool InDeviceMemory(const void* address) {
    return InsideAllocation(TheDevice(), address, 1, contextStack.empty() ? nullptr : contextStack.back());
}

}  // namespace detail

Error DeviceCount(int* count) {
    Device& device = TheDevice();
    std::lock_guard hold(device.lock);
    if (const auto failure = PresetFailure(device, Operation::DeviceCount)) {
        *count = 0;
        return Fail(device, *failure);
    }
    *count = device.deviceCount;
    return kSuccess;
}

Error CurrentDevice(int* device) {
    *device = 0;
    Device& hostDevice = TheDevice();
    std::lock_guard hold(hostDevice.lock);
    // The runtime reads the thread's setting: no context is touched, so an execution fault does
    // not show here.
    if (hostDevice.noDevice) return Fail(hostDevice, kErrorNoDevice);
    *device = contextStack.empty() ? threadDevice : contextStack.back()->device;
    return kSuccess;
}

Error SetDevice(int device) {
    Device& hostDevice = TheDevice();
    std::lock_guard hold(hostDevice.lock);
    if (const auto failure = PresetFailure(hostDevice, Operation::SetDevice)) return Fail(hostDevice, *failure);
    if (device < 0 || device >= hostDevice.deviceCount) return Fail(hostDevice, kErrorInvalidDevice);
    threadDevice = device;
    Context* primary = PrimaryContextOf(hostDevice, device);
    if (contextStack.empty()) {
        contextStack.push_back(primary);
    } else {
        contextStack.back() = primary;
    }
    return kSuccess;
}

Error CurrentContext(Context** context) {
    *context = contextStack.empty() ? nullptr : contextStack.back();
    return kSuccess;
}

// The driver's failures: injected ones only (no execution fault shows in the context stack), never
// recorded as the last error.
Error PushContext(Context* context) {
    Device& device = TheDevice();
    std::lock_guard hold(device.lock);
    if (const auto failure = PresetFailure(device, Operation::PushContext); failure && !IsStickyError(*failure))
        return *failure;
    if (context == nullptr) return kErrorInvalidContext;
    contextStack.push_back(context);
    return kSuccess;
}

Error PopContext(Context** context) {
    Device& device = TheDevice();
    std::lock_guard hold(device.lock);
    if (const auto failure = PresetFailure(device, Operation::PopContext); failure && !IsStickyError(*failure))
        return *failure;
    if (contextStack.empty()) return kErrorInvalidContext;
    *context = contextStack.back();
    contextStack.pop_back();
    return kSuccess;
}

Error LoadKernelLibrary(const KernelLibrary** library) {
    Device& device = TheDevice();
    std::lock_guard hold(device.lock);
    if (const auto failure = PresetFailure(device, Operation::LoadLibrary)) return Fail(device, *failure);
    static const KernelLibrary kernels = HostKernels();
    ++device.libraryLoads;
    *library = &kernels;
    return kSuccess;
}

Error GetKernel(const Kernel** kernel, const KernelLibrary* library, const char* name) {
    Device& device = TheDevice();
    std::lock_guard hold(device.lock);
    if (const auto failure = PresetFailure(device, Operation::GetKernel)) return Fail(device, *failure);
    if (library == nullptr || name == nullptr) return Fail(device, kErrorInvalidValue);
    for (std::size_t i = 0; i < library->count; ++i) {
        if (std::string_view(library->kernels[i].name) == name) {
            *kernel = &library->kernels[i].kernel;
            return kSuccess;
        }
    }
    return Fail(device, kErrorSymbolNotFound);
}

Error KernelAttributes(const Kernel&) {
    Device& device = TheDevice();
    std::lock_guard hold(device.lock);
    if (const auto failure = PresetFailure(device, Operation::KernelAttributes)) return Fail(device, *failure);
    BoundContext(device);
    return kSuccess;  // the host runs every kernel
}

Error Allocate(void** address, std::size_t bytes) {
    *address = nullptr;
    Device& device = TheDevice();
    std::lock_guard hold(device.lock);
    if (const auto failure = PresetFailure(device, Operation::Allocate)) return Fail(device, *failure);
    const Context* context = BoundContext(device);
    if (bytes == 0) return kSuccess;  // as cudaMalloc: success, null address
    if (bytes > kDeviceMemoryBytes - device.allocatedBytes) return Fail(device, kErrorMemoryAllocation);
    void* memory = ::operator new(bytes, kAllocationAlignment, std::nothrow);
    if (memory == nullptr) return Fail(device, kErrorMemoryAllocation);
    try {
        device.allocations.emplace(static_cast<const std::byte*>(memory), Allocation{bytes, context});
    } catch (const std::bad_alloc&) {
        ::operator delete(memory, kAllocationAlignment);
        return Fail(device, kErrorMemoryAllocation);
    }
    device.allocatedBytes += bytes;
    *address = memory;
    return kSuccess;
}

Error ZeroFill(void* address, std::size_t bytes) {
    Device& device = TheDevice();
    std::lock_guard hold(device.lock);
    if (const auto failure = PresetFailure(device, Operation::ZeroFill)) return Fail(device, *failure);
    const Context* context = BoundContext(device);
    if (bytes == 0) return kSuccess;
    if (!InsideAllocation(device, address, bytes, context)) return Fail(device, kErrorInvalidValue);
    std::memset(address, 0, bytes);
    return kSuccess;
}

Error Copy(void* destination, const void* source, std::size_t bytes, CopyKind kind) {
    Device& device = TheDevice();
    std::lock_guard hold(device.lock);
    if (const auto failure = PresetFailure(device, Operation::Copy)) return Fail(device, *failure);
    const Context* context = BoundContext(device);
    if (bytes == 0) return kSuccess;
    const void* deviceSide = kind == CopyKind::HostToDevice ? destination : source;
    const void* hostSide = kind == CopyKind::HostToDevice ? source : destination;
    if (hostSide == nullptr || !InsideAllocation(device, deviceSide, bytes, context))
        return Fail(device, kErrorInvalidValue);
    std::memcpy(destination, source, bytes);
    return kSuccess;
}

Error LaunchKernel(const Kernel& kernel, Dim3 grid, Dim3 block, void** arguments) {
    Device& device = TheDevice();
    std::lock_guard hold(device.lock);
    if (const auto failure = PresetFailure(device, Operation::Launch)) return Fail(device, *failure);
    BoundContext(device);
    if (kernel.function == nullptr) return Fail(device, kErrorInvalidDeviceFunction);
    if (!ValidLaunch(grid, block)) return Fail(device, kErrorInvalidConfiguration);
    ++device.kernelRuns;
    if (!kernel.pointersOnDevice(arguments)) {
        // On a GPU the launch is accepted and the kernel faults while it runs, for good.
        device.stickyFault = kErrorIllegalAddress;
        return kSuccess;
    }
    blockDimensions = {block.x, block.y, block.z};
    for (unsigned bz = 0; bz < grid.z; ++bz)
        for (unsigned by = 0; by < grid.y; ++by)
            for (unsigned bx = 0; bx < grid.x; ++bx) {
                blockIndex = {bx, by, bz};
                for (unsigned tz = 0; tz < block.z; ++tz)
                    for (unsigned ty = 0; ty < block.y; ++ty)
                        for (unsigned tx = 0; tx < block.x; ++tx) {
                            threadIndex = {tx, ty, tz};
                            kernel.runThread(kernel.function, arguments);
                        }
            }
    return kSuccess;
}

Error LastError() {
    if (const Error fault = TheDevice().stickyFault) return fault;
    const Error error = lastError;
    lastError = kSuccess;
    return error;
}

Error Synchronize() {
    Device& device = TheDevice();
    std::lock_guard hold(device.lock);
    if (const auto failure = PresetFailure(device, Operation::Synchronize)) return Fail(device, *failure);
    BoundContext(device);
    return kSuccess;
}

Error Free(void* address) {
    Device& device = TheDevice();
    std::lock_guard hold(device.lock);
    if (const auto failure = PresetFailure(device, Operation::Free)) return Fail(device, *failure);
    const Context* context = BoundContext(device);
    if (address == nullptr) return kSuccess;
    const auto found = device.allocations.find(static_cast<const std::byte*>(address));
    if (found == device.allocations.end() || found->second.context != context) return Fail(device, kErrorInvalidValue);
    device.allocatedBytes -= found->second.bytes;
    device.allocations.erase(found);
    ::operator delete(address, kAllocationAlignment);
    return kSuccess;
}

}  // namespace framedec::gpu::host

namespace framedec::gpu::host_testing {

using host::TheDevice;

void FailNextCall(Operation operation, Error error, unsigned skipCalls) {
    auto& device = TheDevice();
    std::lock_guard hold(device.lock);
    device.injected[static_cast<std::size_t>(operation)] = host::InjectedFault{error, skipCalls};
}

void SetNoDevice(bool noDevice) {
    auto& device = TheDevice();
    std::lock_guard hold(device.lock);
    device.noDevice = noDevice;
}

void SetDeviceCount(int count) {
    auto& device = TheDevice();
    std::lock_guard hold(device.lock);
    device.deviceCount = count;
}

host::Context* CreateContext(int device) {
    auto& hostDevice = TheDevice();
    std::lock_guard hold(hostDevice.lock);
    return &hostDevice.contexts.emplace_back(host::Context{device});
}

host::Context* PrimaryContext(int device) {
    auto& hostDevice = TheDevice();
    std::lock_guard hold(hostDevice.lock);
    return host::PrimaryContextOf(hostDevice, device);
}

void ResetFaults() {
    auto& device = TheDevice();
    std::lock_guard hold(device.lock);
    device.injected = {};
    device.noDevice = false;
    device.stickyFault = kSuccess;
    host::lastError = kSuccess;
}

std::size_t KernelRuns() {
    auto& device = TheDevice();
    std::lock_guard hold(device.lock);
    return device.kernelRuns;
}

std::size_t KernelLibraryLoads() {
    auto& device = TheDevice();
    std::lock_guard hold(device.lock);
    return device.libraryLoads;
}

std::size_t LiveAllocations() {
    auto& device = TheDevice();
    std::lock_guard hold(device.lock);
    return device.allocations.size();
}

std::size_t MemoryInUse() {
    auto& device = TheDevice();
    std::lock_guard hold(device.lock);
    return device.allocatedBytes;
}

std::size_t AllocationBytes(const void* address) {
    auto& device = TheDevice();
    std::lock_guard hold(device.lock);
    const auto found = device.allocations.find(static_cast<const std::byte*>(address));
    return found == device.allocations.end() ? 0 : found->second.bytes;
}

}  // namespace framedec::gpu::host_testing
