#include "page_memory.h"

#include <windows.h>

#include <stdexcept>

namespace framedec::testing {

std::size_t PageSize() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
}

// Committed at once (VirtualProtect works only on committed pages) but never accessible until opened.
uint8_t* ReserveInaccessiblePages(std::size_t bytes) {
    void* p = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS);
    if (p == nullptr) throw std::runtime_error("VirtualAlloc failed");
    return static_cast<uint8_t*>(p);
}

void SetPagesAccessible(uint8_t* start, std::size_t bytes, bool accessible) {
    DWORD previous = 0;
    if (bytes > 0 && !VirtualProtect(start, bytes, accessible ? PAGE_READWRITE : PAGE_NOACCESS, &previous))
        throw std::runtime_error("VirtualProtect failed");
}

void ReleasePages(uint8_t* start, std::size_t /*bytes*/) { VirtualFree(start, 0, MEM_RELEASE); }

}  // namespace framedec::testing
