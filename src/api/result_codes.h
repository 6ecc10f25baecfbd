// Result codes as the library's own code uses them; the values are those of framedec.h.
#pragma once

#include <cstdint>

#include "framedec.h"

namespace framedec {

inline constexpr int32_t kOk = FRAMEDEC_OK;
inline constexpr int32_t kInvalidArgument = FRAMEDEC_INVALID_ARGUMENT;
inline constexpr int32_t kGpuUnavailable = FRAMEDEC_GPU_UNAVAILABLE;
inline constexpr int32_t kGpuDecodeFailed = FRAMEDEC_GPU_DECODE_FAILED;
inline constexpr int32_t kGpuAllocFailed = FRAMEDEC_GPU_ALLOC_FAILED;
inline constexpr int32_t kGpuFreeFailed = FRAMEDEC_GPU_FREE_FAILED;
inline constexpr int32_t kGpuSyncFailed = FRAMEDEC_GPU_SYNC_FAILED;
inline constexpr int32_t kGpuCopyBackFailed = FRAMEDEC_GPU_COPY_BACK_FAILED;

}  // namespace framedec
