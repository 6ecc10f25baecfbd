// POSIX: a library's destructors run at dlclose or exit while its threads still exist, so the
// shutdown always joins the workers and nothing needs pinning. Random bytes come from the kernel
// (getrandom: no library beyond the C library), or from the standard library's source where the
// kernel has no getrandom.
#include "parallel/pool_platform.h"

#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>

namespace framedec {

bool KeepModuleWhileWorkersRun() noexcept { return true; }

bool WorkersStillExist() noexcept { return true; }

bool FillFromSystemRandomSource(std::span<uint8_t> bytes) noexcept {
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = getrandom(bytes.data() + filled, bytes.size() - filled, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        filled += static_cast<std::size_t>(got);
    }
    if (filled == bytes.size()) return true;
    try {
        std::random_device source;
        for (std::size_t i = 0; i < bytes.size(); i += sizeof(uint32_t)) {
            const uint32_t word = source();
            std::memcpy(bytes.data() + i, &word, std::min(sizeof word, bytes.size() - i));
        }
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace framedec
