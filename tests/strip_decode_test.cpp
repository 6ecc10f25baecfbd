// DecodeDataMultiThread: the strip partition, byte-for-byte equality with DecodeData, the argument
// refusals, concurrent callers, and the strip decode on private pools that are blocked, short of
// workers or have none.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "framedec.h"
#include "parallel/strip_decode.h"
#include "parallel/strip_partition.h"
#include "pool_test_support.h"
#include "test_support.h"

namespace framedec::testing {
namespace {

using namespace std::chrono_literals;

const auto kTable = tools::DefaultTable();

struct Rect {
    uint32_t x, y, width, height;
};

std::vector<uint32_t> StripWidths(uint32_t width, uint32_t threads) {
    const StripPartition partition = PartitionIntoStrips(width, threads);
    std::vector<uint32_t> widths;
    for (uint32_t i = 0; i < partition.count; ++i) widths.push_back(partition.strips[i].width);
    return widths;
}

std::vector<uint32_t> Repeated(uint32_t value, std::size_t times) { return std::vector<uint32_t>(times, value); }

TEST(StripPartition, WorkedExamples) {
    std::vector<uint32_t> full = Repeated(40, 28);
    full.insert(full.end(), {32, 32, 32, 30});  // the last, 30 wide, on the calling thread
    EXPECT_EQ(StripWidths(1246, 32), full);
    EXPECT_EQ(StripWidths(100, 4), (std::vector<uint32_t>{32, 24, 24, 20}));
    EXPECT_EQ(StripWidths(20, 8), (std::vector<uint32_t>{8, 8, 4}));
    EXPECT_EQ(StripWidths(640, 1), (std::vector<uint32_t>{640}));
    EXPECT_EQ(StripWidths(0, 5), (std::vector<uint32_t>{}));
    EXPECT_EQ(StripWidths(6, 32), (std::vector<uint32_t>{6}));
}

// Every width and thread count: strips in order, touching, covering the rectangle, all but the
// last whole block columns, the left-most ones at most one column wider.
TEST(StripPartition, StripsTileTheRectangleInWholeBlockColumns) {
    for (uint32_t width = 1; width <= kMaxImageWidth; ++width) {
        const uint32_t blockColumns = (width + 7) / 8;
        for (uint32_t threads = 1; threads <= kMaxDecodeThreads; ++threads) {
            const StripPartition p = PartitionIntoStrips(width, threads);
            ASSERT_EQ(p.count, std::min(threads, blockColumns));
            const uint32_t base = blockColumns / p.count;
            uint32_t end = 0;
            for (uint32_t i = 0; i < p.count; ++i) {
                const Strip s = p.strips[i];
                ASSERT_EQ(s.offset, end) << width << " " << threads << " strip " << i;
                const bool last = i + 1 == p.count;
                if (!last) ASSERT_TRUE(s.width == 8 * base || s.width == 8 * (base + 1));
                if (i > 0 && !last) ASSERT_LE(s.width, p.strips[i - 1].width);
                end += s.width;
            }
            ASSERT_EQ(end, width);
            ASSERT_GT(p.strips[p.count - 1].width, 8 * (base - 1));
            ASSERT_LE(p.strips[p.count - 1].width, 8 * base);
        }
    }
}

// The whole output buffer, canary included, after DecodeDataMultiThread equals the buffer after
// DecodeData: the same pixels and nothing outside the rectangle.
void ExpectSameAsDecodeData(const std::vector<uint8_t>& frame, Rect r, uint32_t pitch, uint32_t threads) {
    const std::size_t bytes = std::size_t{pitch} * r.height + 29;
    CanaryBuffer expected(bytes), actual(bytes);
    ASSERT_EQ(DecodeData(expected.bytes.data(), r.x, r.y, r.width, r.height, pitch, frame.data(), kTable.data()),
              FRAMEDEC_OK);
    ASSERT_EQ(DecodeDataMultiThread(actual.bytes.data(), r.x, r.y, r.width, r.height, pitch, frame.data(),
                                    kTable.data(), threads),
              FRAMEDEC_OK);
    ASSERT_TRUE(actual.bytes == expected.bytes)
        << r.x << "," << r.y << " " << r.width << "x" << r.height << " pitch " << pitch << " threads " << threads;
}

Rect RandomRect(std::mt19937_64& random, uint32_t maxHeight) {
    const uint32_t x = 8 * static_cast<uint32_t>(random() % kSlotsPerRow);
    const uint32_t y = 8 * static_cast<uint32_t>(random() % kMaxBlockRows);
    const uint32_t width = 1 + static_cast<uint32_t>(random() % (kMaxImageWidth - x));
    const uint32_t height = 1 + static_cast<uint32_t>(random() % std::min(kMaxImageHeight - y, maxHeight));
    return {x, y, width, height};
}

TEST(DecodeDataMultiThread, EqualsDecodeDataForRandomRectanglesPitchesAndThreadCounts) {
    std::mt19937_64 random(51);
    const std::vector<uint8_t> frames[] = {AstronautFrame(), RandomFrame(kMaxImageHeight, 52)};
    for (const auto& frame : frames) {
        for (int i = 0; i < 200; ++i) {
            const Rect r = RandomRect(random, 96);
            const uint32_t pitch = r.width + static_cast<uint32_t>(random() % 23);  // odd pitches too
            const uint32_t threads = 1 + static_cast<uint32_t>(random() % kMaxDecodeThreads);
            ExpectSameAsDecodeData(frame, r, pitch, threads);
        }
    }
}

TEST(DecodeDataMultiThread, EqualsDecodeDataOnTheWholeFrameForEveryThreadCount) {
    for (uint32_t threads = 1; threads <= kMaxDecodeThreads; ++threads) {
        ExpectSameAsDecodeData(AstronautFrame(), {0, 0, kMaxImageWidth, kMaxImageHeight}, kMaxImageWidth, threads);
    }
}

TEST(DecodeDataMultiThread, AcceptsWhatDecodeDataAcceptsAndThreadCountsOf1To32) {
    const auto& frame = AstronautFrame();
    struct Case {
        Rect r;
        uint32_t threads;
        int32_t expected;
    };
    const Case cases[] = {
        {{0, 0, 64, 16}, 0, FRAMEDEC_INVALID_ARGUMENT},
        {{0, 0, 64, 16}, 33, FRAMEDEC_INVALID_ARGUMENT},
        {{0, 0, 64, 16}, 0xFFFFFFFFu, FRAMEDEC_INVALID_ARGUMENT},
        {{0, 0, 64, 16}, 1, FRAMEDEC_OK},
        {{0, 0, 64, 16}, 32, FRAMEDEC_OK},
        {{0, 0, 64, 16}, 20, FRAMEDEC_OK},  // more threads than block columns: one strip each
        {{8, 0, 0, 8}, 4, FRAMEDEC_OK},      // no block column: nothing written
        {{0, 0, 0, 8}, 4, FRAMEDEC_INVALID_ARGUMENT},
        {{0, 8, 8, 0}, 4, FRAMEDEC_OK},
        {{0, 0, 8, 0}, 4, FRAMEDEC_INVALID_ARGUMENT},
        {{1240, 0, 6, 8}, 4, FRAMEDEC_OK},
        {{1240, 0, 7, 8}, 4, FRAMEDEC_INVALID_ARGUMENT},
        {{0, 1016, 8, 8}, 4, FRAMEDEC_OK},
        {{0, 1016, 8, 9}, 4, FRAMEDEC_INVALID_ARGUMENT},
        {{4, 0, 8, 8}, 4, FRAMEDEC_INVALID_ARGUMENT},
        {{0, 4, 8, 8}, 4, FRAMEDEC_INVALID_ARGUMENT},
        {{0, 0, 1248, 8}, 4, FRAMEDEC_INVALID_ARGUMENT},
        {{0xFFFFFFF8u, 0, 16, 8}, 4, FRAMEDEC_INVALID_ARGUMENT},  // x + width wraps to 8 in 32 bits
        {{0, 0xFFFFFFF8u, 8, 16}, 4, FRAMEDEC_INVALID_ARGUMENT},
        {{8, 0, 0xFFFFFFFFu, 8}, 4, FRAMEDEC_INVALID_ARGUMENT},
    };
    for (const Case& c : cases) {
        const Rect r = c.r;
        CanaryBuffer out(std::size_t{1248} * 32);
        EXPECT_EQ(DecodeDataMultiThread(out.bytes.data(), r.x, r.y, r.width, r.height, 1248, frame.data(),
                                        kTable.data(), c.threads),
                  c.expected)
            << r.x << "," << r.y << " " << r.width << "x" << r.height << " threads " << c.threads;
        if (c.expected != FRAMEDEC_OK || r.width == 0 || r.height == 0) {
            EXPECT_TRUE(out.Untouched()) << r.x << "," << r.y << " " << r.width << "x" << r.height;
        } else {
            ExpectSameAsDecodeData(frame, r, 1248, c.threads);
        }
    }
}

TEST(DecodeDataMultiThread, NullPointersAreRefusedBeforeAnythingIsWritten) {
    const auto& frame = AstronautFrame();
    CanaryBuffer out(64);
    EXPECT_EQ(DecodeDataMultiThread(nullptr, 0, 0, 8, 8, 8, frame.data(), kTable.data(), 2), FRAMEDEC_INVALID_ARGUMENT);
    EXPECT_EQ(DecodeDataMultiThread(out.bytes.data(), 0, 0, 8, 8, 8, nullptr, kTable.data(), 2),
              FRAMEDEC_INVALID_ARGUMENT);
    EXPECT_EQ(DecodeDataMultiThread(out.bytes.data(), 0, 0, 8, 8, 8, frame.data(), nullptr, 2),
              FRAMEDEC_INVALID_ARGUMENT);
    EXPECT_TRUE(out.Untouched());
}

// Host threads decoding at once, on one shared frame and on frames of their own, with random
// rectangles and thread counts: every call gets exactly DecodeData's bytes.
TEST(DecodeDataMultiThread, ConcurrentCallersStress) {
    constexpr int kCallers = 6;
    constexpr int kCallsEach = 25;
    const std::vector<uint8_t>& shared = AstronautFrame();
    std::vector<std::vector<uint8_t>> own;
    for (int t = 0; t < kCallers; ++t) own.push_back(RandomFrame(kMaxImageHeight, 60 + t));
    std::atomic<int> mismatches{0};
    std::vector<std::thread> callers;
    for (int t = 0; t < kCallers; ++t) {
        callers.emplace_back([&, t] {
            std::mt19937_64 random(70 + t);
            for (int i = 0; i < kCallsEach; ++i) {
                const auto& frame = i % 2 == 0 ? shared : own[t];
                const Rect r = RandomRect(random, 256);
                const uint32_t pitch = r.width + static_cast<uint32_t>(random() % 9);
                const uint32_t threads = 1 + static_cast<uint32_t>(random() % kMaxDecodeThreads);
                std::vector<uint8_t> expected(std::size_t{pitch} * r.height, 0xA5), actual = expected;
                DecodeData(expected.data(), r.x, r.y, r.width, r.height, pitch, frame.data(), kTable.data());
                const int32_t result = DecodeDataMultiThread(actual.data(), r.x, r.y, r.width, r.height, pitch,
                                                             frame.data(), kTable.data(), threads);
                if (result != FRAMEDEC_OK || actual != expected) ++mismatches;
            }
        });
    }
    for (auto& caller : callers) caller.join();
    EXPECT_EQ(mismatches.load(), 0);
}

// --- The strip decode on private pools ---

struct WholeFrameDecode {
    explicit WholeFrameDecode(const std::vector<uint8_t>& f) : frame(f), out(std::size_t{kMaxImageWidth} * kMaxImageHeight) {}
    PixelRegion Region() {
        return {out.bytes.data(), 0, 0, kMaxImageWidth, kMaxImageHeight, kMaxImageWidth, frame.data(), kTable.data()};
    }
    bool MatchesDecodeData() const {
        CanaryBuffer expected(out.bytes.size());
        DecodeData(expected.bytes.data(), 0, 0, kMaxImageWidth, kMaxImageHeight, kMaxImageWidth, frame.data(),
                   kTable.data());
        return out.bytes == expected.bytes;
    }
    const std::vector<uint8_t>& frame;
    CanaryBuffer out;
};

TEST(StripDecode, APoolWithoutWorkersLeavesEveryStripToTheCallingThread) {
    WorkerPool pool(WorkerPool::kWorkerCount, StarterThatFailsAfter(0));
    ASSERT_EQ(pool.WorkerCount(), 0u);
    WholeFrameDecode decode(AstronautFrame());
    DecodeInStrips(pool, decode.Region(), kMaxDecodeThreads);
    EXPECT_TRUE(decode.MatchesDecodeData());
}

TEST(StripDecode, APoolShortOfWorkersStillDecodesEveryStrip) {
    WorkerPool pool(WorkerPool::kWorkerCount, StarterThatFailsAfter(2));
    ASSERT_EQ(pool.WorkerCount(), 2u);
    WholeFrameDecode decode(AstronautFrame());
    DecodeInStrips(pool, decode.Region(), kMaxDecodeThreads);
    EXPECT_TRUE(decode.MatchesDecodeData());
}

// The pool's one worker is held at a gate: a single strip never goes to the pool, and strips that
// no worker has started are taken back and decoded by the caller, so every call returns.
TEST(StripDecode, DecodesItsOwnStripsThatNoWorkerHasStarted) {
    std::vector<Gate> gates(1);
    WholeFrameDecode single(AstronautFrame()), split(AstronautFrame());
    WorkerPool pool(1);
    OpenGatesOnExit guard{gates};
    const std::string blocker = pool.Submit([&] { gates[0].Wait(); });

    DecodeInStrips(pool, single.Region(), 1);
    PixelRegion oneColumn = single.Region();
    oneColumn.width = 8;
    DecodeInStrips(pool, oneColumn, kMaxDecodeThreads);
    EXPECT_TRUE(single.MatchesDecodeData());

    DecodeInStrips(pool, split.Region(), kMaxDecodeThreads);
    EXPECT_TRUE(split.MatchesDecodeData());
    EXPECT_TRUE(pool.AnyPending({&blocker, 1}));
}

// Workers whose threads exist but never start running, as under the Windows loader lock (a new
// thread waits for it before it runs): the call must not wait for them.
TEST(StripDecode, NeverWaitsForAWorkerToStart) {
    std::vector<Gate> gates(1);
    const WorkerPool::ThreadStarter heldAtStart = [&gates](std::function<void()> loop) {
        return std::thread([&gates, loop = std::move(loop)] {
            gates[0].Wait();
            loop();
        });
    };
    WorkerPool pool(WorkerPool::kWorkerCount, heldAtStart);
    OpenGatesOnExit guard{gates};
    WholeFrameDecode decode(AstronautFrame());
    DecodeInStrips(pool, decode.Region(), kMaxDecodeThreads);
    EXPECT_TRUE(decode.MatchesDecodeData());
}

}  // namespace
}  // namespace framedec::testing
