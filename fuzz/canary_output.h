// An output buffer of exactly the bytes a call may write, filled with a canary pattern first. Its
// allocation is exactly that size (also when it is 0), so AddressSanitizer reports any write past it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace framedec::fuzz {

class CanaryOutput {
public:
    explicit CanaryOutput(std::size_t bytes) : size_(bytes), bytes_(new uint8_t[bytes]) {
        for (std::size_t i = 0; i < size_; ++i) bytes_[i] = Canary(i);
    }

    static uint8_t Canary(std::size_t i) { return static_cast<uint8_t>(i * 167u + 13u); }

    uint8_t* data() { return bytes_.get(); }
    std::size_t size() const { return size_; }
    bool Untouched() const {
        for (std::size_t i = 0; i < size_; ++i) {
            if (bytes_[i] != Canary(i)) return false;
        }
        return true;
    }
    bool Equals(const CanaryOutput& other) const {
        return size_ == other.size_ && std::memcmp(bytes_.get(), other.bytes_.get(), size_) == 0;
    }

private:
    std::size_t size_;
    std::unique_ptr<uint8_t[]> bytes_;
};

}  // namespace framedec::fuzz
