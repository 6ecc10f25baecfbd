// The shipped shared library, loaded at run time as applications load it, decodes byte for byte
// like the decoders linked into this test (which run the variant chosen on the command line, the
// library its own): the project's photograph and frames of random bytes (hostile slots), random
// rectangles and tables, DecodeDataMultiThread with every thread count from 1 to 32. Outputs start
// as canaries, so a byte written outside the rectangle differs too.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <vector>

#include "codec/quant_table_q.h"
#include "framedec.h"
#include "process_support.h"
#include "test_support.h"

namespace framedec::testing {
namespace {

TEST(SharedLibraryDecodes, EveryCpuExportMatchesTheLinkedDecoders) {
    SharedLibrary library(FRAMEDEC_SHARED_LIBRARY);
    ASSERT_TRUE(library.Loaded()) << library.Error();
    auto* decodeData = library.Lookup<decltype(DecodeData)>("DecodeData");
    auto* decodeMultiThread = library.Lookup<decltype(DecodeDataMultiThread)>("DecodeDataMultiThread");
    auto* decodeDct = library.Lookup<decltype(DecodeDCTData)>("DecodeDCTData");
    auto* decodeDc = library.Lookup<decltype(DecodeDCData)>("DecodeDCData");
    auto* extractSequenceNo = library.Lookup<decltype(ExtractSequenceNo)>("ExtractSequenceNo");
    ASSERT_TRUE(decodeData && decodeMultiThread && decodeDct && decodeDc && extractSequenceNo);

    std::mt19937_64 random(20240612);
    const std::vector<uint8_t> randomFrame = RandomFrame(kMaxImageHeight, 7);
    const std::array<const std::vector<uint8_t>*, 2> frames = {&AstronautFrame(), &randomFrame};
    std::array<uint16_t, 64> randomTable;
    for (uint16_t& entry : randomTable) entry = static_cast<uint16_t>(random() % 256);
    const std::array<const uint16_t*, 2> tables = {kTableQ, randomTable.data()};

    for (int i = 0; i < Iterations(96); ++i) {
        const uint8_t* frame = frames[i % 2]->data();
        const uint16_t* table = tables[i / 2 % 2];
        const uint32_t x = 8 * static_cast<uint32_t>(random() % 155), y = 8 * static_cast<uint32_t>(random() % 127);
        const uint32_t width = 1 + static_cast<uint32_t>(random() % (kMaxImageWidth - x));
        const uint32_t height = 1 + static_cast<uint32_t>(random() % (kMaxImageHeight - y));
        const uint32_t pitch = width + static_cast<uint32_t>(random() % 9);
        const uint32_t threads = 1 + static_cast<uint32_t>(i % 32);
        SCOPED_TRACE(::testing::Message() << "rectangle " << x << "," << y << " " << width << "x" << height
                                          << ", pitch " << pitch << ", " << threads << " threads");

        CanaryBuffer linked(std::size_t{pitch} * height), loaded = linked, parallel = linked;
        ASSERT_EQ(DecodeData(linked.bytes.data(), x, y, width, height, pitch, frame, table), FRAMEDEC_OK);
        ASSERT_EQ(decodeData(loaded.bytes.data(), x, y, width, height, pitch, frame, table), FRAMEDEC_OK);
        ASSERT_EQ(decodeMultiThread(parallel.bytes.data(), x, y, width, height, pitch, frame, table, threads),
                  FRAMEDEC_OK);
        EXPECT_EQ(loaded.bytes, linked.bytes);
        EXPECT_EQ(parallel.bytes, linked.bytes);

        const uint32_t dctWidth = std::max<uint32_t>(width, 8), dctHeight = std::max<uint32_t>(height, 8);
        std::vector<int16_t> linkedDct(std::size_t{dctWidth} * dctHeight, 0x5A5A), loadedDct = linkedDct;
        ASSERT_EQ(DecodeDCTData(linkedDct.data(), x, y, dctWidth, dctHeight, 2 * dctWidth, frame, table), FRAMEDEC_OK);
        ASSERT_EQ(decodeDct(loadedDct.data(), x, y, dctWidth, dctHeight, 2 * dctWidth, frame, table), FRAMEDEC_OK);
        EXPECT_EQ(loadedDct, linkedDct);

        const uint32_t blockX = x / 8, blockY = y / 8;
        const uint32_t blocksAcross = 1 + static_cast<uint32_t>(random() % (kGridPositionsPerRow - blockX));
        const uint32_t blocksDown = 1 + static_cast<uint32_t>(random() % (kMaxBlockRows - blockY));
        CanaryBuffer linkedDc(std::size_t{blocksAcross} * blocksDown), loadedDc = linkedDc;
        ASSERT_EQ(DecodeDCData(linkedDc.bytes.data(), blockX, blockY, blocksAcross, blocksDown, frame), FRAMEDEC_OK);
        ASSERT_EQ(decodeDc(loadedDc.bytes.data(), blockX, blockY, blocksAcross, blocksDown, frame), FRAMEDEC_OK);
        EXPECT_EQ(loadedDc.bytes, linkedDc.bytes);

        uint16_t linkedSequenceNo = 0, loadedSequenceNo = 1;
        const uint32_t frameHeight = 8 * (1 + static_cast<uint32_t>(random() % kMaxBlockRows));
        ASSERT_EQ(ExtractSequenceNo(frame, 0, frameHeight, &linkedSequenceNo), FRAMEDEC_OK);
        ASSERT_EQ(extractSequenceNo(frame, 0, frameHeight, &loadedSequenceNo), FRAMEDEC_OK);
        EXPECT_EQ(loadedSequenceNo, linkedSequenceNo);
    }
}

}  // namespace
}  // namespace framedec::testing
