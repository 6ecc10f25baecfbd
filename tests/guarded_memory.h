// Memory laid directly against an inaccessible page, so that an access one byte past what a call
// may use (or one byte before it) faults at once, in every build, with or without a sanitizer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace framedec::testing {

enum class GuardSide {
    After,   // the guard page starts right after the object's last accessible byte
    Before,  // the guard page ends right before the object's first accessible byte
};

// One reservation of address space in which objects of up to `capacity` bytes are placed, one at a
// time. Everything in the reservation except the placed object's accessible bytes (rounded out to
// whole pages on the side away from the guard) is inaccessible.
class GuardedRegion {
public:
    explicit GuardedRegion(std::size_t capacity);
    ~GuardedRegion();
    GuardedRegion(const GuardedRegion&) = delete;
    GuardedRegion& operator=(const GuardedRegion&) = delete;

    // Places an object of which bytes [first, end) are accessible (readable and writable; their
    // content is left as it was), guarded on `side`. Returns the address of the object's byte 0,
    // which lies inside the reservation even when byte 0 itself is not accessible. end <= capacity;
    // first == end places an object with no accessible byte at all.
    uint8_t* Place(std::size_t first, std::size_t end, GuardSide side);

private:
    std::size_t page_;
    std::size_t capacity_;   // rounded up to whole pages
    std::size_t reserved_;
    uint8_t* base_;
    uint8_t* open_ = nullptr;  // the pages made accessible by the last Place
    std::size_t openBytes_ = 0;
};

}  // namespace framedec::testing
