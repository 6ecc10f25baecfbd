#include "guarded_memory.h"

#include <stdexcept>

#include "page_memory.h"

namespace framedec::testing {
namespace {

std::size_t RoundUp(std::size_t n, std::size_t page) { return (n + page - 1) / page * page; }

}  // namespace

// Layout: [guard page][capacity][capacity][guard page]. Objects guarded Before start their accessible
// bytes in the middle, objects guarded After end them at the last page. An object's byte 0 lies at
// most capacity bytes before its first accessible byte, so it always falls inside the reservation.
GuardedRegion::GuardedRegion(std::size_t capacity)
    : page_(PageSize()),
      capacity_(RoundUp(capacity, page_)),
      reserved_(2 * capacity_ + 2 * page_),
      base_(ReserveInaccessiblePages(reserved_)) {}

GuardedRegion::~GuardedRegion() { ReleasePages(base_, reserved_); }

uint8_t* GuardedRegion::Place(std::size_t first, std::size_t end, GuardSide side) {
    if (first > end || end > capacity_) throw std::invalid_argument("object larger than the region");
    SetPagesAccessible(open_, openBytes_, false);

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
    SetPagesAccessible(open_, openBytes_, true);
    return firstByte - first;
}

}  // namespace framedec::testing
