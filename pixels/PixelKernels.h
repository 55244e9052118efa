// SPDX-License-Identifier: BSD-2-Clause
// Moving one macroblock between a picture and a MacroblockBuffer, per pixel
// layout. Loads feed the encoder (8-bit samples widened to 16 bits); stores
// take what the inverse transform left and saturate every sample to a byte.
// Addresses are the macroblock's top-left pixel; `stride` is the signed byte
// distance from one line to the next (negative for bottom-up pictures).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Block.h"

// 0x00FF in every 16-bit lane: the SSE2 loads split luma from chroma with
// them. Built once per instance.
struct StagingMasks {
    uint16_t byteMask[8];      // eight lanes, for the UYVY staging
    uint16_t byteMaskHalf[4];  // four lanes, for the RGB loads
};

void InitStagingMasks(StagingMasks* masks);

using LoadMacroblockFn = void (*)(const StagingMasks* masks, const uint8_t* source,
                                  ptrdiff_t stride, MacroblockBuffer* buffer);
// Loads `lines` lines (0..7) and repeats the last one into the missing rows;
// with no line at all, every sample of the macroblock is 0.
using LoadMacroblockPartialFn = void (*)(const StagingMasks* masks, const uint8_t* source,
                                         ptrdiff_t stride, MacroblockBuffer* buffer, int lines);
using StoreMacroblockFn = void (*)(const MacroblockBuffer* buffer, uint8_t* destination,
                                   ptrdiff_t stride);
// Writes only lines 0..lines-1.
using StoreMacroblockPartialFn = void (*)(const MacroblockBuffer* buffer, uint8_t* destination,
                                          ptrdiff_t stride, int lines);

struct PixelFormatKernels {
    LoadMacroblockFn load;
    LoadMacroblockFn loadAligned;  // source and stride multiples of 16
    LoadMacroblockPartialFn loadPartial;
    StoreMacroblockFn store;
    StoreMacroblockFn storeAligned;  // streaming stores; destination and stride multiples of 16
    StoreMacroblockPartialFn storePartial;
    int bytesPerMacroblockLine;  // 32, 48 or 64
};

struct PixelKernels {
    PixelFormatKernels uyvy;
    PixelFormatKernels bgr24;
    PixelFormatKernels bgr32;
};

void InitPixelKernels(PixelKernels* kernels, uint32_t cpuFlags);
