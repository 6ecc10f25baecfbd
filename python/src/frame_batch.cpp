#include "frame_batch.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

namespace framedec::python {

int32_t ForEachFrame(std::size_t count, uint32_t threads, const std::function<int32_t(std::size_t)>& decode) {
    std::atomic<std::size_t> next{0};
    std::atomic<int32_t> failure{0};
    auto work = [&] {
        for (std::size_t i = next++; i < count; i = next++) {
            if (const int32_t result = decode(i); result != 0) {
                int32_t none = 0;
                failure.compare_exchange_strong(none, result);
            }
        }
    };
    std::vector<std::thread> helpers;
    const std::size_t wanted = std::min<std::size_t>(threads, count);
    for (std::size_t t = 1; t < wanted; ++t) {
        try {
            helpers.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // the threads started so far, and this one, share the frames
        }
    }
    work();
    for (std::thread& helper : helpers) helper.join();
    return failure.load();
}

}  // namespace framedec::python
