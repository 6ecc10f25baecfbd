#include "page_memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <stdexcept>

namespace framedec::testing {

std::size_t PageSize() { return static_cast<std::size_t>(sysconf(_SC_PAGESIZE)); }

uint8_t* ReserveInaccessiblePages(std::size_t bytes) {
    void* p = mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) throw std::runtime_error("mmap failed");
    return static_cast<uint8_t*>(p);
}

void SetPagesAccessible(uint8_t* start, std::size_t bytes, bool accessible) {
    if (bytes > 0 && mprotect(start, bytes, accessible ? PROT_READ | PROT_WRITE : PROT_NONE) != 0)
        throw std::runtime_error("mprotect failed");
}

void ReleasePages(uint8_t* start, std::size_t bytes) { munmap(start, bytes); }

}  // namespace framedec::testing
