/* Decodes one hand-made block, then a whole pseudo-random frame through every CPU export, through
 * the installed library, from plain C99. */
#define FRAMEDEC_DECLARE_NV_OPTIMUS_ENABLEMENT /* read below; declared on Windows only on request */
#include <framedec.h>
#include <stdio.h>
#include <string.h>

#include "decode_checks.h"

int main(void) {
    static uint8_t frame[8 * 320];
    uint16_t table[64];
    uint8_t pixels[8 * 8];
    uint16_t sequenceNo = 0;
    static const uint8_t ramp[8] = {130, 130, 131, 132, 133, 134, 135, 135};
    int i;

    for (i = 0; i < 64; ++i) table[i] = 1;
    table[0] = 8;
    table[1] = 5;
    frame[4] = 0xAF; /* DC level 5, then -3 at the first horizontal frequency */
    frame[5] = 0x03;
    frame[2546] = 0x34;
    frame[2547] = 0x12;

    if (DecodeData(pixels, 0, 0, 8, 8, 8, frame, table) != FRAMEDEC_OK) return 1;
    for (i = 0; i < 64; ++i) {
        if (pixels[i] != ramp[i % 8]) {
            printf("pixel %d is %d, expected %d\n", i, pixels[i], ramp[i % 8]);
            return 1;
        }
    }
    if (DecodeData(pixels, 4, 0, 8, 8, 8, frame, table) != FRAMEDEC_INVALID_ARGUMENT) return 1;
    memset(pixels, 0, sizeof pixels);
    if (DecodeDataMultiThread(pixels, 0, 0, 8, 8, 8, frame, table, 2) != FRAMEDEC_OK) return 1;
    if (memcmp(pixels, ramp, 8) != 0 || memcmp(pixels + 56, ramp, 8) != 0) return 1;
    if (DecodeDataMultiThread(pixels, 0, 0, 8, 8, 8, frame, table, 33) != FRAMEDEC_INVALID_ARGUMENT) return 1;
    if (ExtractSequenceNo(frame, 0, 8, &sequenceNo) != FRAMEDEC_OK || sequenceNo != 0x1234) return 1;
    if (NvOptimusEnablementCuda != 1) return 1;
    {
        /* The GPU interface from C: not set up before a set-up; a bad size sets nothing up. */
        FrameSize empty = {0, 0};
        bool isSetup = true;
        if (IsSetupGPUDecode(&isSetup) != FRAMEDEC_OK || isSetup) return 1;
        if (SetupGPUDecode(empty) != FRAMEDEC_GPU_ALLOC_FAILED) return 1;
    }
    {
        const int failed = RunDecodeChecks();
        if (failed != 0) {
            printf("decode check %d failed\n", failed);
            return 1;
        }
    }
    printf("consumer: ok\n");
    return 0;
}
