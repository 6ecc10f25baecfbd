// A control for the output path: the region loop of an earlier design, in which block rows are
// decoded into a small stage that stays in cache and then copied out line by line (outputs of 1 MiB
// and more with streaming stores that do not read the output first). The library now writes
// straight into the output and fetches the lines of the next block row ahead; on the Intel Xeon of
// docs/performance.md the stage is slower than that, while on an AMD Zen 4 a stage measured faster than the
// straight writes did before they fetched ahead. Timed beside DecodeData, the control tells which
// design wins on the machine at hand.
#pragma once

#include <cstdint>

namespace framedec::bench {

// DecodeData of the rectangle (0, 0, width, height) through the stage, with the active variant.
void StagedDecodeData(uint8_t* output, uint32_t width, uint32_t height, uint32_t pitch, const uint8_t* frame,
                      const uint16_t* table);

}  // namespace framedec::bench
