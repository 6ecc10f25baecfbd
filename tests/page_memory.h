// Whole pages of address space for the guard-page tests: reserved inaccessible, then made readable
// and writable (and inaccessible again) a range at a time, their content kept. mmap and mprotect on
// POSIX (page_memory_posix.cpp), VirtualAlloc and VirtualProtect on Windows (page_memory_windows.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

namespace framedec::testing {

std::size_t PageSize();

// bytes (a multiple of the page size) of inaccessible memory. Throws std::runtime_error.
uint8_t* ReserveInaccessiblePages(std::size_t bytes);

// Makes whole pages readable and writable, or inaccessible. Throws std::runtime_error.
void SetPagesAccessible(uint8_t* start, std::size_t bytes, bool accessible);

void ReleasePages(uint8_t* start, std::size_t bytes);

}  // namespace framedec::testing
