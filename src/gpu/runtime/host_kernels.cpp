// The host device's kernel library: the host compiler's build of each kernel under its name in the
// device code. Each entry pairs a name with the function of the same parameters, so a name cannot be
// listed with another kernel's signature.
#include <iterator>

#include "gpu/kernels/kernels.h"
#include "gpu/runtime/host_device.h"

namespace framedec::gpu::host {
namespace {

template <class... Params>
NamedKernel Entry(KernelName<Params...> name, void (*function)(Params...)) {
    return {name.mangled, KernelOf(function)};
}

}  // namespace

KernelLibrary HostKernels() {
    static const NamedKernel kernels[] = {
        Entry(kHuffman, &huffman),
        Entry(kInverseDctLlm, &inverseDCT_2DLLM),
        Entry(kInverseDctXyConv, &inverseDCT_2DXYCONV),
        Entry(kInverseDctConv, &inverseDCT_2DCONV),
    };
    return {kernels, std::size(kernels)};
}

}  // namespace framedec::gpu::host
