#include "decoding/frame_pipeline.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

namespace framedec::cli {
namespace {

// Calls step, turning an exception (out of memory, ...) into a failure.
bool Call(const FrameStep& step, uint64_t i, ConvertedFrame& frame, std::string& error) {
    try {
        return step(i, frame, error);
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
}

class Pipeline {
public:
    Pipeline(uint64_t count, uint32_t threads) : count_(count), window_(2 * uint64_t{threads}), ready_(window_) {}

    // A producing thread: claims the next frame while the window has room for it.
    void Produce(const FrameStep& produce) {
        for (;;) {
            uint64_t i = 0;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return failed_ || claimed_ == count_ || claimed_ < consumed_ + window_; });
                if (failed_ || claimed_ == count_) return;
                i = claimed_++;
            }
            ConvertedFrame frame;
            std::string error;
            const bool produced = Call(produce, i, frame, error);
            {
                const std::lock_guard lock(mutex_);
                if (produced)
                    ready_[i % window_] = std::move(frame);
                else
                    FailLocked(std::move(error));
            }
            changed_.notify_all();
        }
    }

    // The calling thread: takes the frames in order.
    void Consume(const FrameStep& consume) {
        for (uint64_t i = 0; i < count_; ++i) {
            ConvertedFrame frame;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return failed_ || ready_[i % window_].has_value(); });
                if (failed_) return;
                frame = std::move(*ready_[i % window_]);
                ready_[i % window_].reset();
                ++consumed_;
            }
            changed_.notify_all();
            std::string error;
            if (!Call(consume, i, frame, error)) return Fail(std::move(error));
        }
    }

    void Fail(std::string error) {
        {
            const std::lock_guard lock(mutex_);
            FailLocked(std::move(error));
        }
        changed_.notify_all();
    }

    bool Failed(std::string& error) const {
        if (failed_) error = failure_;
        return failed_;
    }

private:
    void FailLocked(std::string error) {
        if (failed_) return;
        failed_ = true;
        failure_ = std::move(error);
    }

    const uint64_t count_, window_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::optional<ConvertedFrame>> ready_;  // frame i waits in ready_[i % window_]
    uint64_t claimed_ = 0, consumed_ = 0;
    bool failed_ = false;
    std::string failure_;
};

}  // namespace

bool RunInOrder(uint64_t count, uint32_t threads, const FrameStep& produce, const FrameStep& consume,
                std::string& error) {
    threads = static_cast<uint32_t>(std::clamp<uint64_t>(count, 1, std::max(threads, 1u)));
    Pipeline pipeline(count, threads);
    std::vector<std::thread> workers;
    for (uint32_t t = 0; t < threads; ++t) {
        try {
            workers.emplace_back([&] { pipeline.Produce(produce); });
        } catch (const std::system_error& e) {  // fewer threads than asked for still do the work
            if (workers.empty()) pipeline.Fail(std::string("cannot start a decoding thread: ") + e.what());
            break;
        }
    }
    pipeline.Consume(consume);
    for (std::thread& worker : workers) worker.join();
    return !pipeline.Failed(error);
}

}  // namespace framedec::cli
