#include "guarded_memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <stdexcept>

namespace framedec::testing {
namespace {

std::size_t RoundUp(std::size_t n, std::size_t page) { return (n + page - 1) / page * page; }

void Protect(uint8_t* start, std::size_t bytes, int protection) {
    if (bytes > 0 && mprotect(start, bytes, protection) != 0) throw std::runtime_error("mprotect failed");
}

}  // namespace

// Layout: [guard page][capacity][capacity][guard page]. Objects guarded Before start their accessible
// bytes in the middle, objects guarded After end them at the last page. An object's byte 0 lies at
// most capacity bytes before its first accessible byte, so it always falls inside the reservation.
GuardedRegion::GuardedRegion(std::size_t capacity)
    : page_(static_cast<std::size_t>(sysconf(_SC_PAGESIZE))),
      capacity_(RoundUp(capacity, page_)),
      reserved_(2 * capacity_ + 2 * page_) {
    void* p = mmap(nullptr, reserved_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) throw std::runtime_error("mmap failed");
    base_ = static_cast<uint8_t*>(p);
}

GuardedRegion::~GuardedRegion() { munmap(base_, reserved_); }

uint8_t* GuardedRegion::Place(std::size_t first, std::size_t end, GuardSide side) {
    if (first > end || end > capacity_) throw std::invalid_argument("object larger than the region");
    Protect(open_, openBytes_, PROT_NONE);

    const std::size_t accessible = end - first;
    uint8_t* firstByte = nullptr;
    if (side == GuardSide::Before) {
        firstByte = base_ + page_ + capacity_;
        open_ = firstByte;
    } else {
        uint8_t* const guard = base_ + page_ + 2 * capacity_;
        firstByte = guard - accessible;
        open_ = guard - RoundUp(accessible, page_);
    }
    openBytes_ = RoundUp(accessible, page_);
    Protect(open_, openBytes_, PROT_READ | PROT_WRITE);
    return firstByte - first;
}

}  // namespace framedec::testing
