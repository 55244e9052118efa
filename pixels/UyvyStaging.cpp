// SPDX-License-Identifier: BSD-2-Clause
#include <cstring>

#include "pixels/Staging.h"

void UnpackUYVYLine(const uint8_t* uyvy, MacroblockBuffer* buffer, int row)
{
    int16_t* const yLeft = buffer->block[BLOCK_Y_LEFT].v + 8 * row;
    int16_t* const yRight = buffer->block[BLOCK_Y_RIGHT].v + 8 * row;
    int16_t* const cb = buffer->block[BLOCK_CB].v + 8 * row;
    int16_t* const cr = buffer->block[BLOCK_CR].v + 8 * row;
    for (int j = 0; j < 8; ++j) {
        yLeft[j] = uyvy[2 * j + 1];
        yRight[j] = uyvy[17 + 2 * j];
        cb[j] = uyvy[4 * j];
        cr[j] = uyvy[4 * j + 2];
    }
}

void PackUYVYLine(const MacroblockBuffer* buffer, int row, uint8_t* uyvy)
{
    const int16_t* const yLeft = buffer->block[BLOCK_Y_LEFT].v + 8 * row;
    const int16_t* const yRight = buffer->block[BLOCK_Y_RIGHT].v + 8 * row;
    const int16_t* const cb = buffer->block[BLOCK_CB].v + 8 * row;
    const int16_t* const cr = buffer->block[BLOCK_CR].v + 8 * row;
    for (int j = 0; j < 8; ++j) {
        uyvy[2 * j + 1] = SaturateToByte(yLeft[j]);
        uyvy[17 + 2 * j] = SaturateToByte(yRight[j]);
        uyvy[4 * j] = SaturateToByte(cb[j]);
        uyvy[4 * j + 2] = SaturateToByte(cr[j]);
    }
}

void CompleteRows(MacroblockBuffer* buffer, int lines)
{
    if (lines == 0) {
        std::memset(buffer, 0, sizeof *buffer);
        return;
    }
    for (Block& block : buffer->block) {
        for (int row = lines; row < MACROBLOCK_LINES; ++row)
            std::memcpy(block.v + 8 * row, block.v + 8 * (lines - 1), 8 * sizeof block.v[0]);
    }
}

void LoadRowsPlain(const uint8_t* source, ptrdiff_t stride, MacroblockBuffer* buffer, int lines,
                   LineToUyvyFn toUyvy)
{
    for (int row = 0; row < lines; ++row) {
        uint8_t uyvy[UYVY_LINE_BYTES];
        toUyvy(source + row * stride, uyvy);
        UnpackUYVYLine(uyvy, buffer, row);
    }
    CompleteRows(buffer, lines);
}

void StoreRowsPlain(const MacroblockBuffer* buffer, uint8_t* destination, ptrdiff_t stride,
                    int lines, UyvyToLineFn fromUyvy)
{
    for (int row = 0; row < lines; ++row) {
        uint8_t uyvy[UYVY_LINE_BYTES];
        PackUYVYLine(buffer, row, uyvy);
        fromUyvy(uyvy, destination + row * stride);
    }
}

namespace {
void CopyLine(const uint8_t* from, uint8_t* to)
{
    std::memcpy(to, from, UYVY_LINE_BYTES);
}
}  // namespace

void LoadUYVYMacroblock(const StagingMasks*, const uint8_t* source, ptrdiff_t stride,
                        MacroblockBuffer* buffer)
{
    LoadRowsPlain(source, stride, buffer, MACROBLOCK_LINES, CopyLine);
}

void LoadUYVYMacroblockPartial(const StagingMasks*, const uint8_t* source, ptrdiff_t stride,
                               MacroblockBuffer* buffer, int lines)
{
    LoadRowsPlain(source, stride, buffer, lines, CopyLine);
}

void StoreUYVYMacroblock(const MacroblockBuffer* buffer, uint8_t* destination, ptrdiff_t stride)
{
    StoreRowsPlain(buffer, destination, stride, MACROBLOCK_LINES, CopyLine);
}

void StoreUYVYMacroblockPartial(const MacroblockBuffer* buffer, uint8_t* destination,
                                ptrdiff_t stride, int lines)
{
    StoreRowsPlain(buffer, destination, stride, lines, CopyLine);
}
