// The device code of every kernel, for every supported architecture, as one fatbin embedded in the
// library; the cuda backend loads it as its kernel library.
#pragma once

#include <cstddef>

namespace framedec::gpu {

const void* EmbeddedFatbin();
std::size_t EmbeddedFatbinSize();

}  // namespace framedec::gpu
