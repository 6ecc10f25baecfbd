/*
 * A fixed frame of pseudo-random bytes (hostile slots everywhere) decoded through every CPU export,
 * each output folded into a 32-bit FNV-1a hash. The expected hashes are the Linux build's, so every
 * build, compiler and linker that passes gives byte-identical results. Plain C without the C
 * library: the MSVC-convention consumer links none.
 */
#ifndef FRAMEDEC_DECODE_CHECKS_H
#define FRAMEDEC_DECODE_CHECKS_H

#include <framedec.h>
#include <stddef.h>

#define CHECK_LINES 64u
#define CHECK_WIDTH 1246u
#define CHECK_DCT_WIDTH 1248u

static uint8_t checkFrame[CHECK_LINES * 320u];
static uint16_t checkTable[64];
static uint8_t checkPixels[CHECK_WIDTH * CHECK_LINES];
static int16_t checkCoefficients[CHECK_DCT_WIDTH * CHECK_LINES];
static uint8_t checkPreview[160u * (CHECK_LINES / 8u)];

static uint32_t Fnv1a(const void *data, size_t bytes) {
    const uint8_t *p = (const uint8_t *)data;
    uint32_t hash = 2166136261u;
    size_t i;
    for (i = 0; i < bytes; ++i) hash = (hash ^ p[i]) * 16777619u;
    return hash;
}

/* 0 when every export gives the expected bytes, else the number of the first check that failed. */
static int RunDecodeChecks(void) {
    const uint32_t threadCounts[3] = {1u, 7u, 32u};
    uint32_t state = 12345u;
    uint16_t sequenceNo = 0;
    size_t i;

    for (i = 0; i < sizeof checkFrame; ++i) {
        state = state * 1103515245u + 12345u;
        checkFrame[i] = (uint8_t)(state >> 16);
    }
    for (i = 0; i < 64; ++i) checkTable[i] = (uint16_t)(1u + i % 7u);

    if (DecodeData(checkPixels, 0, 0, CHECK_WIDTH, CHECK_LINES, CHECK_WIDTH, checkFrame, checkTable) != FRAMEDEC_OK)
        return 1;
    if (Fnv1a(checkPixels, sizeof checkPixels) != 0x90f00277u) return 2;
    for (i = 0; i < 3; ++i) {
        checkPixels[0] ^= 0xFFu; /* a decode that wrote nothing cannot pass */
        if (DecodeDataMultiThread(checkPixels, 0, 0, CHECK_WIDTH, CHECK_LINES, CHECK_WIDTH, checkFrame, checkTable,
                                  threadCounts[i]) != FRAMEDEC_OK)
            return 3;
        if (Fnv1a(checkPixels, sizeof checkPixels) != 0x90f00277u) return 4;
    }
    if (DecodeDCTData(checkCoefficients, 0, 0, CHECK_DCT_WIDTH, CHECK_LINES, 2u * CHECK_DCT_WIDTH, checkFrame,
                      checkTable) != FRAMEDEC_OK)
        return 5;
    if (Fnv1a(checkCoefficients, sizeof checkCoefficients) != 0xc2f69074u) return 6;
    if (DecodeDCData(checkPreview, 0, 0, 160, CHECK_LINES / 8u, checkFrame) != FRAMEDEC_OK) return 7;
    if (Fnv1a(checkPreview, sizeof checkPreview) != 0x5df23addu) return 8;
    if (ExtractSequenceNo(checkFrame, 0, CHECK_LINES, &sequenceNo) != FRAMEDEC_OK || sequenceNo != 0x3b4fu) return 9;
    if (DecodeDataMultiThread(checkPixels, 0, 0, 8, 8, 8, checkFrame, checkTable, 33) != FRAMEDEC_INVALID_ARGUMENT)
        return 10;
    if (NvOptimusEnablementCuda != 1) return 11;
    return 0;
}

#endif
