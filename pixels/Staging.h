// SPDX-License-Identifier: BSD-2-Clause
// The load and store kernels behind PixelKernels, and the line helpers the
// plain twins share. Every format goes through the same UYVY line layout: a
// macroblock line is 8 macropixels Cb Y Cr Y, unpacked into row r of the
// four blocks (luma of pixels 0-7, luma of pixels 8-15, Cb, Cr).
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "pixels/PixelKernels.h"
#include "platform/Block.h"

constexpr int MACROBLOCK_LINES = 8;
constexpr int UYVY_LINE_BYTES = 32;
constexpr int BGR24_LINE_BYTES = 48;
constexpr int BGR32_LINE_BYTES = 64;

inline uint8_t SaturateToByte(int value)
{
    return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

// One UYVY macroblock line <-> row `row` of the buffer. Packing saturates
// luma and chroma alike to 0..255.
void UnpackUYVYLine(const uint8_t* uyvy, MacroblockBuffer* buffer, int row);
void PackUYVYLine(const MacroblockBuffer* buffer, int row, uint8_t* uyvy);

// After rows 0..lines-1 are loaded, repeats row lines-1 down to row 7 in all
// four blocks; with no line loaded, zeroes the whole buffer.
void CompleteRows(MacroblockBuffer* buffer, int lines);

// Plain row loops over a picture: convert each line to UYVY and unpack it,
// or pack each row to UYVY and convert it back.
using LineToUyvyFn = void (*)(const uint8_t* line, uint8_t* uyvy);
using UyvyToLineFn = void (*)(const uint8_t* uyvy, uint8_t* line);
void LoadRowsPlain(const uint8_t* source, ptrdiff_t stride, MacroblockBuffer* buffer, int lines,
                   LineToUyvyFn toUyvy);
void StoreRowsPlain(const MacroblockBuffer* buffer, uint8_t* destination, ptrdiff_t stride,
                    int lines, UyvyToLineFn fromUyvy);

// The kernels, declared through the function types of PixelKernels.h.
using LoadKernel = std::remove_pointer_t<LoadMacroblockFn>;
using LoadPartialKernel = std::remove_pointer_t<LoadMacroblockPartialFn>;
using StoreKernel = std::remove_pointer_t<StoreMacroblockFn>;
using StorePartialKernel = std::remove_pointer_t<StoreMacroblockPartialFn>;

LoadKernel LoadUYVYMacroblock, LoadBGR24Macroblock, LoadBGR32Macroblock;
LoadPartialKernel LoadUYVYMacroblockPartial, LoadBGR24MacroblockPartial, LoadBGR32MacroblockPartial;
StoreKernel StoreUYVYMacroblock, StoreBGR24Macroblock, StoreBGR32Macroblock;
StorePartialKernel StoreUYVYMacroblockPartial, StoreBGR24MacroblockPartial,
    StoreBGR32MacroblockPartial;

#if defined(__SSE2__)
LoadKernel LoadUYVYMacroblockSse2, LoadBGR24MacroblockSse2, LoadBGR32MacroblockSse2;
LoadPartialKernel LoadUYVYMacroblockPartialSse2, LoadBGR24MacroblockPartialSse2,
    LoadBGR32MacroblockPartialSse2;
StoreKernel StoreUYVYMacroblockSse2, StoreBGR24MacroblockSse2, StoreBGR32MacroblockSse2;
StorePartialKernel StoreUYVYMacroblockPartialSse2, StoreBGR24MacroblockPartialSse2,
    StoreBGR32MacroblockPartialSse2;
// Source or destination and stride multiples of 16; the store streams past the cache.
LoadKernel LoadUYVYMacroblockAlignedSse2;
StoreKernel StoreUYVYMacroblockAlignedSse2;
#endif

#if defined(QF25_HAVE_AVX2_KERNELS)
LoadKernel LoadUYVYMacroblockAvx2, LoadBGR24MacroblockAvx2, LoadBGR32MacroblockAvx2;
StoreKernel StoreUYVYMacroblockAvx2, StoreBGR24MacroblockAvx2, StoreBGR32MacroblockAvx2;
StoreKernel StoreUYVYMacroblockAlignedAvx2;  // destination and stride multiples of 16
#endif
