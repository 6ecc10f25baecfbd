#include "gpu/runtime/embedded_fatbin.h"

// Defined by the generated embedded_fatbin_data.cpp.
extern "C" const unsigned char framedec_embedded_fatbin[];
extern "C" const unsigned char framedec_embedded_fatbin_end[];

namespace framedec::gpu {

const void* EmbeddedFatbin() { return framedec_embedded_fatbin; }

std::size_t EmbeddedFatbinSize() {
    return static_cast<std::size_t>(framedec_embedded_fatbin_end - framedec_embedded_fatbin);
}

}  // namespace framedec::gpu
