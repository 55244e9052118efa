// SPDX-License-Identifier: BSD-2-Clause
// Photograph-like blocks of 8-bit samples, made with integer arithmetic so
// that every platform gets the same ones: a gradient, a ripple and noise.
#pragma once

#include <cstdint>

#include "platform/Block.h"

struct SampleRandom {
    uint32_t state;
};

inline uint32_t NextSample(SampleRandom* r, uint32_t n)
{
    r->state = r->state * 1664525u + 1013904223u;
    return (r->state >> 8) % n;
}

inline void FillTexturedBlock(Block* b, SampleRandom* r)
{
    const int base = int(NextSample(r, 256));
    const int slopeX = int(NextSample(r, 17)) - 8;
    const int slopeY = int(NextSample(r, 17)) - 8;
    const int rippleX = int(NextSample(r, 5)), rippleY = int(NextSample(r, 5));
    const int rippleDepth = int(NextSample(r, 8));
    const int noise = int(NextSample(r, 12)) + 1;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const int phase = (rippleX * x + rippleY * y) & 15;
            const int ripple = (phase < 8 ? phase : 16 - phase) - 4;
            const int v = base + slopeX * x + slopeY * y + rippleDepth * ripple + int(NextSample(r, noise)) - noise / 2;
            b->v[8 * y + x] = int16_t(v < 0 ? 0 : v > 255 ? 255 : v);
        }
    }
}

inline void FillTexturedMacroblock(MacroblockBuffer* buffer, SampleRandom* r)
{
    for (Block& b : buffer->block)
        FillTexturedBlock(&b, r);
}
