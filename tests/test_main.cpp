// Runs the suites with one block-decoder variant made active: --variant=NAME (default: the one the
// library would choose). Exits with 77 (skipped) when this processor cannot run the variant.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "codec/block_decoder.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        const char* prefix = "--variant=";
        if (std::strncmp(argv[i], prefix, std::strlen(prefix)) != 0) continue;
        const char* name = argv[i] + std::strlen(prefix);
        if (!framedec::SelectBlockDecoder(name)) {
            std::printf("block decoder variant '%s' is not available on this processor: skipped\n", name);
            return 77;
        }
    }
    std::printf("block decoder variant: %s\n", framedec::ActiveBlockDecoder().name);
    return RUN_ALL_TESTS();
}
